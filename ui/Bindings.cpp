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

// A and B turn the piece, and in a small window they are its Enter and Esc.
// Start and Back are F4 and F2; in the name box Start is its Enter.
constexpr PadBinding kPad[] = {
    {PadContext::MainWindow, PadButton::Left, Command::ShiftLeft},
    {PadContext::MainWindow, PadButton::Right, Command::ShiftRight},
    {PadContext::MainWindow, PadButton::A, Command::TurnClockwise},
    {PadContext::MainWindow, PadButton::B, Command::TurnCounterClockwise},
    {PadContext::MainWindow, PadButton::Down, Command::StepDown},
    {PadContext::MainWindow, PadButton::Start, Command::PauseResume},
    {PadContext::MainWindow, PadButton::Back, Command::StartStop},
    {PadContext::NameBox, PadButton::Start, Command::Confirm},
    {PadContext::SmallWindow, PadButton::A, Command::Confirm},
    {PadContext::SmallWindow, PadButton::B, Command::Close},
};

} // namespace

std::span<const KeyBinding> KeyBindings()
{
    return kKeys;
}

std::span<const PadBinding> PadBindings()
{
    return kPad;
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

std::optional<Command> PadCommand(PadContext context, PadButton button)
{
    for (const PadBinding& binding : kPad)
        if (binding.context == context && binding.button == button)
            return binding.command;
    return std::nullopt;
}

} // namespace quadix
