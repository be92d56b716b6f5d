#include "control/GameFlow.h"

namespace quadix {

namespace {

constexpr int16_t kSoundGameOver = 3;
constexpr int16_t kSoundPause = 4;
constexpr int16_t kSoundStart = 6;

// Elapsed milliseconds between two readings of the 32-bit tick count. The
// unsigned difference stays right when the count passes 2^31 or wraps at 2^32.
uint32_t Elapsed(int32_t from, uint32_t to)
{
    return to - static_cast<uint32_t>(from);
}

} // namespace

GameFlow::GameFlow(Game& game, Clock& clock, Sound& sound, GameWindow& window)
    : game_(game), s_(game.state), clock_(clock), sound_(sound), window_(window)
{
}

void GameFlow::mnuStart_Click()
{
    StartStop();
}

void GameFlow::StartStop()
{
    if (s_.gameRunning) {
        // The loop of the running game ends at the end of its current pass.
        s_.stopState = 2;
        s_.stoppedByPlayer = true;
        return;
    }
    StartGame();
    s_.looping = true;
    GameLoop();
    if (abandoned_)
        return;
    Dead();
    if (!s_.enteringName) {
        window_.SetMenuEnabled(MenuItem::Start, true);
        window_.SetMenuEnabled(MenuItem::HighScores, true);
        window_.SetMenuEnabled(MenuItem::Help, true);
    }
}

void GameFlow::StartGame()
{
    sound_.PlaySoundEffect(kSoundStart);
    window_.SetMenuCaption(MenuItem::Start, "Stop");
    window_.SetMenuEnabled(MenuItem::Pause, true);
    window_.SetMenuEnabled(MenuItem::HighScores, false);
    window_.SetMenuEnabled(MenuItem::Help, false);
    s_.gameRunning = true;
    s_.stoppedByPlayer = false;
    s_.paused = false;
    window_.ShowMessage(Message::GameOver, false);
    window_.ShowMessage(Message::NewGame, false);
    window_.ShowMessage(Message::Pause, false);
    window_.ShowMessage(Message::PressF4, false);
    window_.SetMenuCaption(MenuItem::Pause, "Pausa");
    game_.NewGame();
    window_.FocusPlayfield();
}

void GameFlow::GameLoop()
{
    do {
        GravityPass();
        window_.ProcessEvents(MillisecondsUntilDue());
        if (abandoned_)
            return;
        if (s_.stopState == 2)
            s_.looping = false;
    } while (s_.looping);
}

void GameFlow::GravityPass()
{
    s_.nowTick = static_cast<int32_t>(clock_.TickCount());
    if (s_.paused || Elapsed(s_.lastTick, static_cast<uint32_t>(s_.nowTick)) <= static_cast<uint32_t>(s_.fallInterval))
        return;
    if (s_.dropHeld > 0) {
        // The spawn pause: five due steps pass without gravity.
        ++s_.dropHeld;
        if (s_.dropHeld > kSpawnPauseSteps)
            s_.dropHeld = 0;
    } else {
        game_.Falling();
    }
    s_.lastTick = static_cast<int32_t>(clock_.TickCount());
}

int GameFlow::MillisecondsUntilDue()
{
    if (s_.stopState == 2)
        return 0; // this is the last pass: only handle what is pending
    if (s_.paused)
        return -1; // nothing is due until the player resumes
    uint32_t elapsed = Elapsed(s_.lastTick, clock_.TickCount());
    uint32_t interval = static_cast<uint32_t>(s_.fallInterval);
    if (elapsed > interval)
        return 0;
    return static_cast<int>(interval + 1 - elapsed);
}

void GameFlow::Dead()
{
    sound_.PlaySoundEffect(kSoundGameOver);
    window_.SetMenuCaption(MenuItem::Start, "Via");
    window_.SetMenuEnabled(MenuItem::Pause, false);
    window_.ShowMessage(Message::Pause, false);
    window_.ShowMessage(Message::PressF4, false);
    window_.ShowMessage(Message::GameOver, true);
    window_.ShowMessage(Message::NewGame, true);
    s_.gameRunning = false;
    if (s_.score > 0 && !s_.stoppedByPlayer)
        window_.EnterName();
}

void GameFlow::mnuPause_Click()
{
    if (s_.stoppedByPlayer)
        return;
    if (s_.paused) {
        window_.SetMenuCaption(MenuItem::Pause, "Pausa");
        window_.ShowMessage(Message::Pause, false);
        window_.ShowMessage(Message::PressF4, false);
        game_.DrawAllBlocks();
        sound_.PlaySoundEffect(kSoundStart);
        s_.paused = false;
    } else {
        window_.SetMenuCaption(MenuItem::Pause, "Riprendi");
        window_.ShowMessage(Message::Pause, true);
        window_.ShowMessage(Message::PressF4, true);
        // The stack is hidden while paused.
        game_.screen().ClearField();
        game_.screen().RefreshField();
        sound_.PlaySoundEffect(kSoundPause);
        s_.paused = true;
    }
}

void GameFlow::picQuadixField_LostFocus()
{
    if (s_.gameRunning)
        window_.FocusPlayfield();
}

void GameFlow::picQuadixField_KeyDown(Command command)
{
    if (s_.paused)
        return;
    if (!s_.gameRunning && command != Command::Pause)
        return;
    s_.prevX = s_.pieceX;
    s_.prevY = s_.pieceY;
    if (command == Command::Pause)
        mnuPause_Click();
    else if (command != Command::StepDown || s_.dropHeld == 0) // no step down during the spawn pause
        MovePiece(game_, command);
}

void MovePiece(Game& game, Command command)
{
    GameState& s = game.state;
    s.prevX = s.pieceX;
    s.prevY = s.pieceY;
    switch (command) {
    case Command::ShiftLeft:
    case Command::ShiftRight:
        s.pieceX = static_cast<int16_t>(s.pieceX + (command == Command::ShiftLeft ? -1 : 1));
        game.Checking();
        game.CanMove();
        break;
    case Command::TurnClockwise:
    case Command::TurnCounterClockwise:
        if (command == Command::TurnClockwise)
            game.RotateCW();
        else
            game.RotateCCW();
        game.CanMoveRot();
        break;
    case Command::StepDown:
        ++s.pieceY;
        game.Checking();
        game.CanMoveDown();
        break;
    default:
        break;
    }
}

} // namespace quadix
