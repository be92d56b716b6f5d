#pragma once
// Starting and stopping games, the timing loop, pause, the end of a game and
// the playfield's commands. The game runs inside the handler that starts it: the loop
// hands control to the window's event pump on every pass, so keys, menu
// commands and painting are handled between gravity steps.
#include <cstdint>
#include <string>

#include "control/Command.h"
#include "game/Game.h"

namespace quadix {

enum class MenuItem { Start, Pause, HighScores, Help };
enum class Message { GameOver, NewGame, Pause, PressF4 };

// What the game flow needs of the main window.
class GameWindow {
public:
    virtual ~GameWindow() = default;
    virtual void SetMenuCaption(MenuItem item, const std::string& caption) = 0;
    virtual void SetMenuEnabled(MenuItem item, bool enabled) = 0;
    virtual void ShowMessage(Message message, bool visible) = 0;
    virtual void FocusPlayfield() = 0;
    // Offers the name entry when the score earns a place in the records.
    virtual void EnterName() = 0;
    // Handles the pending events; with nothing pending, waits for the next
    // event, but at most waitMs milliseconds (waitMs < 0: no limit; 0: no wait).
    virtual void ProcessEvents(int waitMs) = 0;
};

constexpr int kSpawnPauseSteps = 5;

// Moves, turns or steps down the piece as a playfield command asks: the
// position is kept, changed, tested and then accepted or undone. Whether the
// command counts now (a pause, between games, the spawn pause) is for the
// game flow to decide; any other command does nothing here.
void MovePiece(Game& game, Command command);

class GameFlow {
public:
    GameFlow(Game& game, Clock& clock, Sound& sound, GameWindow& window);

    void mnuStart_Click();
    void StartStop();
    void GameLoop();
    void Dead();
    void mnuPause_Click();
    void picQuadixField_LostFocus();
    // A command that reaches the playfield, from a key or a gamepad button.
    // Only the moves, the turns and the pause act here; any other does nothing.
    void picQuadixField_KeyDown(Command command);

    // The window is closing: a running loop returns at once, and the game
    // neither ends nor offers the records.
    void Abandon() { abandoned_ = true; }
    bool abandoned() const { return abandoned_; }

    // How long the loop may wait for events before the next step is due.
    int MillisecondsUntilDue();

private:
    void StartGame();
    void GravityPass();

    Game& game_;
    GameState& s_;
    Clock& clock_;
    Sound& sound_;
    GameWindow& window_;
    bool abandoned_ = false;
};

} // namespace quadix
