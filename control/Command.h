#pragma once
// What the player can ask of the game, whichever key or gamepad button asked
// it. The keyboard, the gamepad and the recorded games all speak in these.
namespace quadix {

enum class Command {
    ShiftLeft,
    ShiftRight,
    TurnClockwise,
    TurnCounterClockwise,
    StepDown,
    Pause,         // the playfield's own pause: it never resumes a game
    PauseResume,   // the pause menu item
    StartStop,     // the start menu item: a new game, or the end of the running one
    ShowRecords,   // the records menu item
    ShowHelp,      // the instructions menu item
    Confirm,       // the name box's answer, or the Chiudi button of a small window
    Close,         // a small window dismissed
};

} // namespace quadix
