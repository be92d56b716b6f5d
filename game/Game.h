#pragma once
// The game model: the state record and every rule of play. It draws, plays
// sounds, shows the counters and reads the clock only through the interfaces
// of Ports.h, so a whole game can run without a window.
#include "game/GameState.h"
#include "game/Ports.h"

namespace quadix {

// The line-clear flash: 5 passes through the 8 block colours, each colour
// on the screen for one refresh of a common 60 Hz display, rounded up to the
// millisecond so that no colour can fall between two refreshes. The whole
// flash lasts about two thirds of a second, whatever the screen.
constexpr int kFlashPasses = 5;
constexpr int kFlashColours = 8;
constexpr uint32_t kFlashFrameMs = (1000 + 59) / 60;
// A score and a line count that stop here instead of wrapping.
constexpr int32_t kMaxScore = 2147483647;
constexpr int16_t kMaxLines = 32767;
// A resting piece locks on this many refused row steps in a row.
constexpr int kLockSteps = 12;

// How much reaching a level changes the fall interval (0 for most levels).
int FallIntervalChange(int level);

class Game {
public:
    Game(Screen& screen, Scoreboard& scoreboard, Sound& sound, Clock& clock, Random& random);

    GameState state;

    // A new game's model: clears and rebuilds the board and tables, resets the
    // counters and labels, seeds the generator, fills the queue and places
    // and draws the first piece (which is not tested for overlap).
    void NewGame();

    // The queue and the preview.
    void FillQueue();
    void PickRandom();
    void PlaceNewPiece();

    // Gravity, movement and locking. Each works on the state alone; results
    // come back through state.blocked and state.stopState.
    void Falling();
    void Checking();
    void CanMove();
    void CanMoveDown();
    void PutCommand();

    // Rotation: turn, then CanMoveRot accepts, shifts or undoes the turn.
    void RotateCW();
    void RotateCCW();
    void CanMoveRot();

    // Line clearing, scoring, levels and the next piece.
    void CheckLines();
    void MoveLinesDown();
    void CheckIfDead();

    // Drawing the game state.
    void DrawPiece();
    void DrawAllBlocks();

    Screen& screen() { return screen_; }

private:
    int16_t DrawType();
    void SquareCorrection(bool clockwise);
    void LockPiece();
    void FlashClearedRows();
    void ScoreLock();
    void SpawnNext();
    int lastBlockOfPiece() const { return state.lastBlock[state.pieceType]; }

    Screen& screen_;
    Scoreboard& scoreboard_;
    Sound& sound_;
    Clock& clock_;
    Random& random_;
};

} // namespace quadix
