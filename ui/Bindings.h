#pragma once
// Which key and which gamepad button give which of the game's commands: the
// one place where that is said. The main window reads both tables, and the
// README's table of keys is checked against them.
#include <QtCore/qnamespace.h>
#include <optional>
#include <span>

#include "control/Command.h"

namespace quadix {

// The pad's buttons as the game reads them: the D-pad and the left stick
// both give the three directions.
enum class PadButton { Left, Right, Down, A, B, Start, Back };

// What the pad's presses go to: the main window (its playfield and its
// menu), the name box while a name is asked, or a small window in front
// (the records or the instructions).
enum class PadContext { MainWindow, NameBox, SmallWindow };

// The main window's keys: the playfield's keys and the menu's shortcuts.
// (The name box and the small windows answer Enter and Esc by themselves.)
struct KeyBinding {
    Qt::Key key;
    Command command;
};

struct PadBinding {
    PadContext context;
    PadButton button;
    Command command;
};

std::span<const KeyBinding> KeyBindings();
std::span<const PadBinding> PadBindings();

std::optional<Command> KeyCommand(int qtKey);
// The key of a menu command's shortcut; none for a command of no key.
std::optional<Qt::Key> ShortcutKey(Command command);
std::optional<Command> PadCommand(PadContext context, PadButton button);

} // namespace quadix
