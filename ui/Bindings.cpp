#include "ui/Bindings.h"

namespace quadix {

namespace {

constexpr KeyBinding kKeys[] = {
    {Qt::Key_Left, Command::ShiftLeft},
    {Qt::Key_Right, Command::ShiftRight},
    {Qt::Key_Up, Command::TurnClockwise},
    {Qt::Key_Control, Command::TurnClockwise},
    {Qt::Key_Insert, Command::TurnCounterClockwise},
    {Qt::Key_Down, Command::StepDown},
    {Qt::Key_Escape, Command::Pause},
    {Qt::Key_F4, Command::PauseResume},
    {Qt::Key_F2, Command::StartStop},
    {Qt::Key_F3, Command::ShowRecords},
    {Qt::Key_F1, Command::ShowHelp},
};

} // namespace

std::span<const KeyBinding> KeyBindings()
{
    return kKeys;
}

std::optional<Command> KeyCommand(int qtKey)
{
    for (const KeyBinding& binding : kKeys)
        if (binding.key == qtKey)
            return binding.command;
    return std::nullopt;
}

std::optional<Qt::Key> ShortcutKey(Command command)
{
    for (const KeyBinding& binding : kKeys)
        if (binding.command == command)
            return binding.key;
    return std::nullopt;
}

} // namespace quadix
