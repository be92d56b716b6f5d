#pragma once
// How the game presents itself to the desktop it runs on.
namespace quadix {

// The name of the desktop entry (io.github.quadix.Quadix.desktop): the
// desktop finds the running game's icon and name under it, and on Wayland it
// is the window's app id.
inline constexpr char kDesktopFileName[] = "io.github.quadix.Quadix";

// Names the program once the application object exists and before its first
// window: the folder of its data, and the desktop entry it belongs to.
void NameApplication();

} // namespace quadix
