#include "game/Game.h"

#include <algorithm>
#include <cmath>

#include "game/Catalogue.h"

namespace quadix {

namespace {

constexpr int kFieldTarget = 1;
constexpr int kPreviewTarget = 2;
constexpr int kSpawnColumn = 12;
constexpr int kSoundNewPiece = 1;
constexpr int kSoundRowsDone = 2;

} // namespace

int FallIntervalChange(int level)
{
    switch (level) {
    case 1: case 2:
        return -2;
    case 3: case 4: case 5: case 6: case 7: case 8:
    case 10: case 12: case 14: case 16: case 18: case 20: case 24: case 28:
    case 32: case 34: case 38: case 43: case 48: case 53:
        return -1;
    default:
        return 0;
    }
}

Game::Game(Screen& screen, Scoreboard& scoreboard, Sound& sound, Clock& clock, Random& random)
    : screen_(screen), scoreboard_(scoreboard), sound_(sound), clock_(clock), random_(random)
{
}

void Game::NewGame()
{
    GameState& s = state;
    s.clearedRows.clear();
    s.rowCleared.clear();
    s.rowFill.clear();
    s.board.clear();
    scoreboard_.ShowScore(0);
    scoreboard_.ShowLines(0);
    scoreboard_.ShowLevel(0);
    random_.SeedFromTimeOfDay();
    s.pieceTypeCount = 7;
    s.score = 0;
    s.lines = 0;
    s.level = 0;
    s.stopState = 0;
    s.fallInterval = 25;
    s.previewCount = 4;
    screen_.ClearField();
    BuildTables(s);
    BuildWalls(s);
    BuildShapes(s);
    FillQueue();
    PickRandom();
    PlaceNewPiece();
    DrawPiece();
}

// ---- Queue and preview ----------------------------------------------------

int16_t Game::DrawType()
{
    double r = random_.Next();
    int16_t type = static_cast<int16_t>(std::floor(r * state.pieceTypeCount)) + 1;
    // A generator that ever returned 1.0 must not deal a type past the range.
    if (type > state.pieceTypeCount)
        type = state.pieceTypeCount;
    if (type < 1)
        type = 1;
    return type;
}

void Game::FillQueue()
{
    for (int slot = 1; slot <= 4; ++slot)
        state.nextPieces[slot] = DrawType();
}

void Game::PickRandom()
{
    GameState& s = state;
    s.pieceType = s.nextPieces[4];
    for (int slot = 3; slot >= 1; --slot)
        s.nextPieces[slot + 1] = s.nextPieces[slot];
    s.nextPieces[1] = DrawType();
    for (int j = 1; j <= lastBlockOfPiece(); ++j) {
        s.pieceDX[j] = s.shapeDX(s.pieceType, j);
        s.pieceDY[j] = s.shapeDY(s.pieceType, j);
    }

    screen_.ClearPreview();
    // Slot 4 (dealt next) at the top, row 1; slot 1 at row 10. All five block
    // slots are drawn: for a four-block type slot 4 is (0, 0) and repaints block 0.
    for (int slot = 5 - s.previewCount; slot <= 4; ++slot) {
        int16_t type = s.nextPieces[slot];
        for (int j = 0; j < kBlockSlots; ++j) {
            screen_.DrawBlock(s.spawnOffset[type] + s.shapeDX(type, j),
                              (4 - slot) * 3 + s.shapeDY(type, j) + 1, type, kPreviewTarget, 0);
        }
    }
}

void Game::PlaceNewPiece()
{
    state.pieceX = static_cast<int16_t>(kSpawnColumn + state.spawnOffset[state.pieceType]);
    state.pieceY = kTopRow;
}

// ---- Gravity, movement and locking ----------------------------------------

void Game::Checking()
{
    GameState& s = state;
    s.blocked = 0;
    // Every block is examined, with no early exit: a pull-down made by one
    // block stays even when a later block refuses the position.
    for (int i = 0; i <= lastBlockOfPiece(); ++i) {
        int x = s.pieceX + s.pieceDX[i];
        int y = s.pieceY + s.pieceDY[i];
        if (s.board(x, y) != 0)
            s.blocked = 1;
        // While fallPixel is below 14 the block also covers the cell above.
        // Reaching 7 pixels or less into a taken cell, the piece is set down
        // exactly into its row; reaching 8 or more, the position is refused.
        if (s.board(x, y - 1) != 0 && s.blocked == 0) {
            if (s.fallPixel >= 7)
                s.fallPixel = 14;
            else
                s.blocked = 1;
        }
    }
}

void Game::CanMove()
{
    if (state.blocked == 1) {
        state.pieceX = state.prevX;
        state.pieceY = state.prevY;
        return;
    }
    PutCommand();
    DrawPiece();
}

void Game::CanMoveDown()
{
    if (state.blocked != 1) {
        CanMove();
        return;
    }
    LockPiece();
}

void Game::LockPiece()
{
    GameState& s = state;
    s.pieceX = s.prevX;
    s.pieceY = s.prevY;
    int last = s.pieceType <= 7 ? 3 : 4;
    for (int i = 0; i <= last; ++i) {
        int x = s.pieceX + s.pieceDX[i];
        int y = s.pieceY + s.pieceDY[i];
        s.board(x, y) = s.pieceType;
        s.rowFill[y] = static_cast<int16_t>(s.rowFill[y] + 1);
    }
    PutCommand();
    s.fallPixel = 14;
    DrawPiece();
    CheckLines();
}

void Game::PutCommand()
{
    for (int i = 0; i <= lastBlockOfPiece(); ++i)
        screen_.DrawBlock(state.drawnX[i], state.drawnY[i], 0, kFieldTarget, 1);
}

void Game::Falling()
{
    GameState& s = state;
    s.prevX = s.pieceX;
    s.prevY = s.pieceY;
    // The grace count runs only while the piece rests at the bottom of its row.
    if (s.fallPixel != 14)
        s.lockCounter = 0;
    ++s.fallPixel;
    if (s.fallPixel <= 14) {
        PutCommand();
        DrawPiece();
        return;
    }
    // The piece is about to enter the next row: only now is the board tested.
    s.fallPixel = 1;
    ++s.pieceY;
    Checking();
    if (s.blocked == 1) {
        s.fallPixel = 14;
        s.pieceY = s.prevY;
        ++s.lockCounter;
        if (s.lockCounter == kLockSteps) {
            s.lockCounter = 0;
            CanMoveDown();
        }
        return;
    }
    PutCommand();
    DrawPiece();
}

// ---- Rotation ---------------------------------------------------------------

void Game::RotateCW()
{
    GameState& s = state;
    for (int i = 1; i <= lastBlockOfPiece(); ++i) {
        s.rotDX[i] = s.pieceDX[i];
        s.rotDY[i] = s.pieceDY[i];
        s.pieceDX[i] = static_cast<int16_t>(-s.rotDY[i]);
        s.pieceDY[i] = s.rotDX[i];
    }
    SquareCorrection(true);
    Checking();
}

void Game::RotateCCW()
{
    GameState& s = state;
    for (int i = 1; i <= lastBlockOfPiece(); ++i) {
        s.rotDX[i] = s.pieceDX[i];
        s.rotDY[i] = s.pieceDY[i];
        s.pieceDX[i] = s.rotDY[i];
        s.pieceDY[i] = static_cast<int16_t>(-s.rotDX[i]);
    }
    SquareCorrection(false);
    Checking();
}

// The square turns about a corner block, which would move it off its cells;
// block 1's new offset tells which one-cell shift puts it back on them.
void Game::SquareCorrection(bool clockwise)
{
    GameState& s = state;
    if (s.pieceType != 6)
        return;
    int dx = s.pieceDX[1];
    int dy = s.pieceDY[1];
    if (dx == -1 && dy == 0) {
        if (clockwise) ++s.pieceX; else --s.pieceY;
    } else if (dx == 0 && dy == -1) {
        if (clockwise) ++s.pieceY; else ++s.pieceX;
    } else if (dx == 1 && dy == 0) {
        if (clockwise) --s.pieceX; else ++s.pieceY;
    } else if (dx == 0 && dy == 1) {
        if (clockwise) --s.pieceY; else --s.pieceX;
    }
}

void Game::CanMoveRot()
{
    GameState& s = state;
    if (s.blocked == 0) {
        PutCommand();
        DrawPiece();
        return;
    }
    // Kicks: one and two columns right, then left. A refused attempt puts the
    // piece back at (prevX, prevY), where the next attempt starts.
    for (int shift : {1, 2, -1, -2}) {
        s.pieceX = static_cast<int16_t>(s.pieceX + shift);
        Checking();
        CanMove();
        if (s.blocked == 0)
            return;
    }
    for (int i = 1; i <= lastBlockOfPiece(); ++i) {
        s.pieceDX[i] = s.rotDX[i];
        s.pieceDY[i] = s.rotDY[i];
    }
}

// ---- Line clearing, scoring and levels --------------------------------------

void Game::CheckLines()
{
    GameState& s = state;
    for (int r = kTopRow; r <= kBottomRow; ++r) {
        if (s.rowFill[r] != 10)
            continue;
        s.rowFill[r] = 0;
        s.rowCleared[r] = 1;
        ++s.linesThisLock;
        s.clearedRows[s.linesThisLock] = static_cast<int16_t>(r);
        if (s.lines < kMaxLines)
            ++s.lines;
        for (int c = kFirstColumn; c <= kLastColumn; ++c)
            s.board(c, r) = 0;
    }
    if (s.linesThisLock == 0) {
        SpawnNext();
        return;
    }
    sound_.PlaySoundEffect(kSoundRowsDone);
    FlashClearedRows();
    ScoreLock();
    MoveLinesDown();
}

void Game::FlashClearedRows()
{
    GameState& s = state;
    // Each frame is on the screen before the thread sleeps, so the first
    // colour shows at once and the last, grey, stays as long as the others.
    // A frame that reached the screen late still gets its full time. Nothing
    // else runs during the flash: keys wait for the next piece.
    for (int pass = 0; pass < kFlashPasses; ++pass) {
        for (int colour = 1; colour <= kFlashColours; ++colour) {
            for (int k = 1; k <= s.linesThisLock; ++k) {
                int r = s.clearedRows[k];
                for (int c = 0; c <= kLastColumn - kFirstColumn; ++c)
                    screen_.DrawBlock(kCellPixels * c, kCellPixels * (r - kTopRow), colour, kFieldTarget, 1);
            }
            screen_.RefreshField();
            clock_.SleepUntil(clock_.TickCount() + kFlashFrameMs);
        }
    }
}

void Game::ScoreLock()
{
    GameState& s = state;
    // Four rows at level 27 already give 33,600; a score near the top of its
    // 32 bits stops there rather than wrapping into a negative number.
    const int64_t award = int64_t{s.lineScore[s.linesThisLock]} * (int64_t{s.level} + 1);
    s.score = static_cast<int32_t>(std::min<int64_t>(int64_t{s.score} + award, kMaxScore));
    scoreboard_.ShowScore(s.score);
    scoreboard_.ShowLines(s.lines);
    if (s.lines < (s.level + 1) * 10)
        return;
    ++s.level;
    scoreboard_.ShowLevel(s.level);
    s.fallInterval += FallIntervalChange(s.level);
    if (s.fallInterval < 2)
        s.fallInterval = 2;
    if (s.level == 10)
        s.previewCount = 3;
    else if (s.level == 20)
        s.previewCount = 2;
    else if (s.level == 30)
        s.previewCount = 1;
}

void Game::MoveLinesDown()
{
    GameState& s = state;
    for (int r = kTopRow; r <= kBottomRow; ++r) {
        if (s.rowCleared[r] != 1)
            continue;
        s.rowCleared[r] = 0;
        // Everything above the removed row comes down one row, the hidden rows
        // above the well included, so a block locked above the well moves with
        // the stack instead of being copied; the top row becomes empty.
        for (int y = r; y >= 1; --y) {
            for (int c = kFirstColumn; c <= kLastColumn; ++c)
                s.board(c, y) = s.board(c, y - 1);
            s.rowFill[y] = s.rowFill[y - 1];
        }
        for (int c = kFirstColumn; c <= kLastColumn; ++c)
            s.board(c, 0) = 0;
        s.rowFill[0] = 0;
        --s.linesThisLock;
    }
    screen_.ClearField();
    DrawAllBlocks();
    SpawnNext();
}

void Game::SpawnNext()
{
    PickRandom();
    PlaceNewPiece();
    DrawPiece();
    CheckIfDead();
    sound_.PlaySoundEffect(kSoundNewPiece);
    state.dropHeld = 1;
}

void Game::CheckIfDead()
{
    GameState& s = state;
    for (int i = 0; i <= lastBlockOfPiece(); ++i) {
        int x = s.pieceX + s.pieceDX[i];
        int y = s.pieceY + s.pieceDY[i];
        if (s.board(x, y) > 0 && s.stopState == 0)
            s.stopState = 1;
    }
}

// ---- Drawing ------------------------------------------------------------------

void Game::DrawPiece()
{
    GameState& s = state;
    const int last = lastBlockOfPiece();
    for (int i = 0; i <= last; ++i) {
        int x = (s.pieceX + s.pieceDX[i] - kFirstColumn) * kCellPixels;
        int y = (s.pieceY + s.pieceDY[i] - kTopRow - 1) * kCellPixels + s.fallPixel;
        s.drawnX[i] = static_cast<int16_t>(x);
        s.drawnY[i] = static_cast<int16_t>(y);
        screen_.DrawBlock(x, y, s.pieceType, kFieldTarget, 1);
    }
    screen_.RefreshField();
    // A lost game ends once its overlapping piece has been drawn again.
    if (s.stopState == 1)
        s.stopState = 2;
}

void Game::DrawAllBlocks()
{
    GameState& s = state;
    for (int row = kBottomRow; row >= kTopRow; --row) {
        for (int column = kFirstColumn; column <= kLastColumn; ++column) {
            s.cellColour = s.board(column, row);
            if (s.cellColour != 0)
                screen_.DrawBlock((column - kFirstColumn) * kCellPixels, (row - kTopRow) * kCellPixels,
                                  s.cellColour, kFieldTarget, 1);
        }
    }
    screen_.RefreshField();
}

} // namespace quadix
