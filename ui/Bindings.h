#pragma once
// Which key gives which of the game's commands: the one place where that is
// said. The main window reads it for its playfield and its menu.
#include <QtCore/qnamespace.h>
#include <optional>
#include <span>

#include "control/Command.h"

namespace quadix {

// The main window's keys: the playfield's keys and the menu's shortcuts.
struct KeyBinding {
    Qt::Key key;
    Command command;
};

std::span<const KeyBinding> KeyBindings();

std::optional<Command> KeyCommand(int qtKey);
// The key of a menu command's shortcut; none for a command of no key.
std::optional<Qt::Key> ShortcutKey(Command command);

} // namespace quadix
