#pragma once
// How the game presents itself to the desktop it runs on.
namespace quadix {

// The name of the desktop entry (io.github.quadix.Quadix.desktop): the
// desktop finds the running game's icon and name under it, and on Wayland it
// is the window's app id.
inline constexpr char kDesktopFileName[] = "io.github.quadix.Quadix";

// Settings of the window system that must be made before the application
// object exists: main() and the benchmark call this first.
void PrepareWindowSystem();

// Names the program once the application object exists and before its first
// window: the folder of its data, and the desktop entry it belongs to.
void NameApplication();

// True where the compositor alone decides where a window goes and which one
// has the keyboard (Wayland): a window that tries to centre itself or to take
// the keyboard is ignored, and Qt warns about it.
bool CompositorPlacesWindows();

} // namespace quadix
