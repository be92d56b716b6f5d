// Gravity, the collision test with its pull-down, locking, rotation and the
// spawn test, on boards drawn as text.
#include <QtTest>

#include "control/GameFlow.h"
#include "support/BoardText.h"
#include "support/ModelFakes.h"

using namespace quadix;
using namespace quadix::test;

namespace {

// A fresh game whose queue deals type `next` after the first piece.
void startGame(ModelRig& rig, int first = 1, int next = 1)
{
    rig.random.types = {next, next, next, first, next, next, next, next};
    rig.game.NewGame();
}

void setPiece(GameState& s, int type, int x, int y, int fallPixel)
{
    s.pieceType = static_cast<int16_t>(type);
    for (int j = 0; j < kBlockSlots; ++j) {
        s.pieceDX[j] = s.shapeDX(type, j);
        s.pieceDY[j] = s.shapeDY(type, j);
    }
    s.pieceX = static_cast<int16_t>(x);
    s.pieceY = static_cast<int16_t>(y);
    s.fallPixel = static_cast<int16_t>(fallPixel);
}

void setOffsets(GameState& s, std::initializer_list<QPoint> blocks)
{
    int j = 1;
    for (QPoint p : blocks) {
        s.pieceDX[j] = static_cast<int16_t>(p.x());
        s.pieceDY[j] = static_cast<int16_t>(p.y());
        ++j;
    }
}

// A shift of several columns in one move, which no command makes (they move
// one column at a time, through MovePiece): the same protocol over a longer way.
void jump(Game& g, int dx)
{
    g.state.prevX = g.state.pieceX;
    g.state.prevY = g.state.pieceY;
    g.state.pieceX = static_cast<int16_t>(g.state.pieceX + dx);
    g.Checking();
    g.CanMove();
}

Command turning(bool clockwise)
{
    return clockwise ? Command::TurnClockwise : Command::TurnCounterClockwise;
}

int fieldDraws(const RecordingScreen& screen)
{
    int n = 0;
    for (const DrawCall& c : screen.calls)
        n += c.target == 1;
    return n;
}

} // namespace

class MovementTest : public QObject {
    Q_OBJECT

private slots:
    void sideMoveUnderLockedCellDependsOnFallPixel_data();
    void sideMoveUnderLockedCellDependsOnFallPixel();
    void pullDownStaysWhenLaterBlockRefuses();
    void refusedMoveDrawsNothing();
    void pixelStepRedrawsErasingFirst();
    void lockAfterTwelveRefusedSteps();
    void slidingAlongLedgeKeepsCountingAndFallingOffRestartsIt();
    void downKeyIntoTakenCellLocksAtOnce();
    void downKeyMovesOneWholeRowKeepingPixelStep();
    void lockWritesTypeAndRowFill();
    void fourTurnsRestoreEveryPiece_data();
    void fourTurnsRestoreEveryPiece();
    void turnAgainstLeftWallShiftsRight();
    void squareTurnsOnItsOwnCells();
    void kicksPreferRightThenLeft_data();
    void kicksPreferRightThenLeft();
    void turnThatFitsNowhereLeavesPieceAsItWas();
    void turnUnderLockedCellsFollowsPullDownRule_data();
    void turnUnderLockedCellsFollowsPullDownRule();
    void spawnOverlapSetsStopStateOnce();
    void overlappingPieceIsNeverMovedByGravity();
    void overlappingPieceEndsGameWhenMovedIntoFreeCells();
    void lockCounterCarriesIntoNextPiece();
    void spawnTestIgnoresCellsAbove();
};

void MovementTest::sideMoveUnderLockedCellDependsOnFallPixel_data()
{
    QTest::addColumn<int>("fallPixel");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("fallPixelAfter");
    for (int fp = 1; fp <= 14; ++fp)
        QTest::addRow("fallPixel %d", fp) << fp << (fp >= 7) << (fp >= 7 ? 14 : fp);
}

// The worked example: a T at (15, 20) moves left under a locked cell at (14, 19).
void MovementTest::sideMoveUnderLockedCellDependsOnFallPixel()
{
    QFETCH(int, fallPixel);
    QFETCH(bool, accepted);
    QFETCH(int, fallPixelAfter);
    ModelRig rig;
    startGame(rig);
    putRows(rig.s, {"....1....."}, 19);
    setPiece(rig.s, 7, 15, 20, fallPixel);
    rig.game.DrawPiece();
    rig.screen.forget();

    MovePiece(rig.game, Command::ShiftLeft);
    QCOMPARE(rig.s.pieceX, accepted ? 14 : 15);
    QCOMPARE(rig.s.fallPixel, fallPixelAfter);
    QCOMPARE(fieldDraws(rig.screen), accepted ? 8 : 0);
    if (accepted) // drawn exactly in its cells: block 0 at row 20
        QCOMPARE(rig.s.drawnY[0], (20 - 10) * 14);
}

void MovementTest::pullDownStaysWhenLaterBlockRefuses()
{
    ModelRig rig;
    startGame(rig);
    // Above the T's new block 0 a locked cell (pull-down); under its new block 3 another (refusal).
    putRows(rig.s, {"....1.....", "..........", "....1....."}, 21);
    setPiece(rig.s, 7, 15, 20, 9);
    rig.game.DrawPiece();
    rig.screen.forget();
    MovePiece(rig.game, Command::ShiftLeft);
    QCOMPARE(rig.s.blocked, 1);
    QCOMPARE(rig.s.pieceX, 15);
    QCOMPARE(rig.s.fallPixel, 14);
    QCOMPARE(fieldDraws(rig.screen), 0);
    QCOMPARE(rig.s.drawnY[0], (20 - 11) * 14 + 9); // the screen still shows it where it was
}

void MovementTest::refusedMoveDrawsNothing()
{
    ModelRig rig;
    startGame(rig, 1);
    setPiece(rig.s, 1, 12, 20, 14); // I lying against the left wall: columns 10..13
    rig.game.DrawPiece();
    rig.screen.forget();
    MovePiece(rig.game, Command::ShiftLeft);
    QCOMPARE(rig.s.pieceX, 12);
    QVERIFY(rig.screen.calls.empty());
    QCOMPARE(rig.screen.refreshes, 0);
}

void MovementTest::pixelStepRedrawsErasingFirst()
{
    ModelRig rig;
    startGame(rig, 6);
    setPiece(rig.s, 6, 15, 20, 5);
    rig.game.DrawPiece();
    rig.screen.forget();
    rig.game.Falling();
    QCOMPARE(rig.s.fallPixel, 6);
    QCOMPARE(rig.screen.calls.size(), size_t(8));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(rig.screen.calls[i].colour, 0);              // erase where it was drawn
        QCOMPARE(rig.screen.calls[i].y, rig.s.drawnY[i] - 1);
        QCOMPARE(rig.screen.calls[4 + i].colour, 6);          // then draw one pixel lower
    }
    QCOMPARE(rig.screen.refreshes, 1);
}

void MovementTest::lockAfterTwelveRefusedSteps()
{
    ModelRig rig;
    startGame(rig, 1, 2);
    setPiece(rig.s, 1, 15, 35, 14); // resting on the floor
    rig.s.lockCounter = 0;
    for (int step = 1; step <= 11; ++step) {
        rig.game.Falling();
        QCOMPARE(rig.s.lockCounter, step);
        QCOMPARE(rig.s.pieceType, 1);
        QCOMPARE(rig.s.fallPixel, 14);
    }
    QVERIFY(rig.sound.played.empty());
    rig.game.Falling();
    QCOMPARE(rowsText(rig.s, 35), QString("...1111..."));
    QCOMPARE(rig.s.lockCounter, 0);
    QCOMPARE(rig.s.pieceType, 2); // the next piece is in
    QCOMPARE(rig.s.dropHeld, 1);
    QCOMPARE(rig.sound.played, std::vector<int>{1});
}

void MovementTest::slidingAlongLedgeKeepsCountingAndFallingOffRestartsIt()
{
    ModelRig rig;
    startGame(rig, 1, 2);
    putRows(rig.s, {"111111....", "111111...."}, 31);
    setPiece(rig.s, 1, 13, 29, 14); // I resting on the ledge, columns 11..14 of row 29
    rig.s.lockCounter = 0;
    for (int i = 0; i < 5; ++i)
        rig.game.Falling();
    jump(rig.game, 2); // columns 13..16: still resting on the ledge
    for (int i = 0; i < 5; ++i)
        rig.game.Falling();
    QCOMPARE(rig.s.lockCounter, 10); // sliding along the ledge did not restart the count
    jump(rig.game, 3); // columns 16..19: off the ledge
    rig.game.Falling();
    QCOMPARE(rig.s.pieceY, 30);
    QCOMPARE(rig.s.fallPixel, 1);
    rig.game.Falling();
    QCOMPARE(rig.s.lockCounter, 0); // fallen into a new row: the count starts again
    // 82 more pixel steps bring it to the bottom of row 35, then 11 refusals.
    for (int i = 0; i < 82 + 11; ++i)
        rig.game.Falling();
    QCOMPARE(rig.s.pieceType, 1);
    QCOMPARE(rig.s.lockCounter, 11);
    rig.game.Falling();
    QCOMPARE(rig.s.pieceType, 2);
    QCOMPARE(rowsText(rig.s, 29, 35), QString(
        "..........\n"
        "111111....\n"
        "111111....\n"
        "..........\n"
        "..........\n"
        "..........\n"
        "......1111"));
}

void MovementTest::downKeyIntoTakenCellLocksAtOnce()
{
    ModelRig rig;
    startGame(rig, 1, 3);
    setPiece(rig.s, 7, 15, 34, 14);
    rig.s.lockCounter = 5;
    MovePiece(rig.game, Command::StepDown);
    QCOMPARE(rowsText(rig.s, 34), QString("....777...\n.....7...."));
    QCOMPARE(rig.s.pieceType, 3);
    QCOMPARE(rig.s.lockCounter, 5); // the key leaves the grace count where it stood
}

void MovementTest::downKeyMovesOneWholeRowKeepingPixelStep()
{
    ModelRig rig;
    startGame(rig);
    setPiece(rig.s, 7, 15, 20, 4);
    MovePiece(rig.game, Command::StepDown);
    QCOMPARE(rig.s.pieceY, 21);
    QCOMPARE(rig.s.fallPixel, 4);
    QCOMPARE(rig.s.drawnY[0], (21 - 11) * 14 + 4);
}

void MovementTest::lockWritesTypeAndRowFill()
{
    ModelRig rig;
    startGame(rig, 1, 4);
    putRows(rig.s, {"1.........", "11........"}, 35);
    setPiece(rig.s, 3, 14, 34, 14); // S: (14,34) (15,34) (14,35) (13,35)
    MovePiece(rig.game, Command::StepDown);
    QCOMPARE(rowsText(rig.s, 33), QString("..........\n1...33....\n11.33....."));
    QCOMPARE(rig.s.rowFill[34], 3);
    QCOMPARE(rig.s.rowFill[35], 4);
    QCOMPARE(rig.screen.cellColour(14, 34), 3); // drawn exactly in its cells
    QCOMPARE(rig.screen.cellColour(13, 35), 3);
}

void MovementTest::fourTurnsRestoreEveryPiece_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("clockwise");
    for (int type = 1; type <= 22; ++type) {
        QTest::addRow("type %d cw", type) << type << true;
        QTest::addRow("type %d ccw", type) << type << false;
    }
}

void MovementTest::fourTurnsRestoreEveryPiece()
{
    QFETCH(int, type);
    QFETCH(bool, clockwise);
    ModelRig rig;
    startGame(rig);
    setPiece(rig.s, type, 15, 20, 14);
    for (int i = 0; i < 4; ++i) {
        MovePiece(rig.game, turning(clockwise));
        QCOMPARE(rig.s.blocked, 0);
    }
    QCOMPARE(rig.s.pieceX, 15);
    QCOMPARE(rig.s.pieceY, 20);
    for (int j = 0; j < kBlockSlots; ++j) {
        QCOMPARE(rig.s.pieceDX[j], rig.s.shapeDX(type, j));
        QCOMPARE(rig.s.pieceDY[j], rig.s.shapeDY(type, j));
    }
}

// The worked example: the T pointing right at column 10 turns into the wall
// and is shifted one column right.
void MovementTest::turnAgainstLeftWallShiftsRight()
{
    ModelRig rig;
    startGame(rig);
    setPiece(rig.s, 7, 10, 20, 14);
    setOffsets(rig.s, {{0, 1}, {0, -1}, {1, 0}});
    MovePiece(rig.game, Command::TurnClockwise);
    QCOMPARE(rig.s.pieceX, 11);
    QCOMPARE(rig.s.pieceY, 20);
    QCOMPARE(pieceText(rig.s, 20, 21), QString("@@@.......\n.@........"));
}

void MovementTest::squareTurnsOnItsOwnCells()
{
    for (bool clockwise : {true, false}) {
        ModelRig rig;
        startGame(rig);
        setPiece(rig.s, 6, 15, 20, 14);
        const QString cells = pieceText(rig.s, 19, 22);
        QCOMPARE(cells, QString("..........\n....@@....\n....@@....\n.........."));
        for (int i = 0; i < 4; ++i) {
            MovePiece(rig.game, turning(clockwise));
            QCOMPARE(pieceText(rig.s, 19, 22), cells);
        }
    }
    ModelRig rig;
    startGame(rig);
    setPiece(rig.s, 6, 15, 20, 14);
    MovePiece(rig.game, Command::TurnClockwise);
    QCOMPARE(rig.s.pieceY, 21); // the example: block 1 now (0, -1), so one row down
    QCOMPARE(rig.s.pieceX, 15);
}

void MovementTest::kicksPreferRightThenLeft_data()
{
    // An upright I at column 15 (rows 28..31) turns clockwise into a row
    // covering columns 14..17 of row 30; locked cells in row 30 decide where.
    QTest::addColumn<QString>("row30");
    QTest::addColumn<int>("expectedX");
    QTest::newRow("in place") << "1........1" << 15;
    QTest::newRow("+1 before +2 and -2") << "....1....." << 16;
    // (a cell under the bar itself: only the turned cells are tested)
    QTest::newRow("+2 when +1 is taken") << ".....1...." << 17;
    QTest::newRow("-1 before -2") << ".......1.." << 14;
    QTest::newRow("-2 last") << "......1..." << 13;
    QTest::newRow("nowhere") << "..1...1..." << 15;
}

void MovementTest::kicksPreferRightThenLeft()
{
    QFETCH(QString, row30);
    QFETCH(int, expectedX);
    ModelRig rig;
    startGame(rig);
    putRows(rig.s, {row30}, 30);
    setPiece(rig.s, 1, 15, 30, 14);
    setOffsets(rig.s, {{0, -2}, {0, -1}, {0, 1}});
    MovePiece(rig.game, Command::TurnClockwise);
    QCOMPARE(rig.s.pieceX, expectedX);
    QCOMPARE(rig.s.pieceY, 30);
}

void MovementTest::turnThatFitsNowhereLeavesPieceAsItWas()
{
    ModelRig rig;
    startGame(rig);
    putRows(rig.s, {"..1...1..."}, 30);
    setPiece(rig.s, 1, 15, 30, 14);
    setOffsets(rig.s, {{0, -2}, {0, -1}, {0, 1}});
    rig.game.DrawPiece();
    const QString before = pieceText(rig.s, 27, 32);
    rig.screen.forget();
    MovePiece(rig.game, Command::TurnClockwise);
    QCOMPARE(pieceText(rig.s, 27, 32), before);
    QCOMPARE(rig.s.pieceDY[1], -2);
    QCOMPARE(rig.s.pieceDX[1], 0);
    QCOMPARE(fieldDraws(rig.screen), 0);
}

void MovementTest::turnUnderLockedCellsFollowsPullDownRule_data()
{
    QTest::addColumn<int>("fallPixel");
    QTest::addColumn<int>("expectedX");
    QTest::addColumn<int>("fallPixelAfter");
    QTest::newRow("fallPixel 7: in place, set down") << 7 << 15 << 14;
    QTest::newRow("fallPixel 13: in place, set down") << 13 << 15 << 14;
    QTest::newRow("fallPixel 6: refused, kicked right") << 6 << 16 << 6;
    QTest::newRow("fallPixel 1: refused, kicked right") << 1 << 16 << 1;
}

void MovementTest::turnUnderLockedCellsFollowsPullDownRule()
{
    QFETCH(int, fallPixel);
    QFETCH(int, expectedX);
    QFETCH(int, fallPixelAfter);
    ModelRig rig;
    startGame(rig);
    // An upright I at column 15, rows 28..31; turned, it lies in row 30 over
    // columns 14..17; the cell above column 14 of row 30 is taken.
    putRows(rig.s, {"....1....."}, 29);
    setPiece(rig.s, 1, 15, 30, fallPixel);
    setOffsets(rig.s, {{0, -2}, {0, -1}, {0, 1}});
    MovePiece(rig.game, Command::TurnClockwise);
    QCOMPARE(rig.s.pieceX, expectedX);
    QCOMPARE(rig.s.fallPixel, fallPixelAfter);
    QCOMPARE(rig.s.pieceDY[1], 0); // turned in both cases
}

void MovementTest::spawnOverlapSetsStopStateOnce()
{
    ModelRig rig;
    startGame(rig, 1, 7);
    putRows(rig.s, {"....5....."}, 10);
    rig.s.nextPieces[4] = 7;
    rig.game.CheckLines(); // no full row: the next piece comes in at once
    QCOMPARE(rig.s.pieceType, 7);
    QCOMPARE(rig.s.stopState, 1);
    QCOMPARE(rig.s.dropHeld, 1);
    QCOMPARE(rig.sound.played, std::vector<int>{1}); // the spawn still finishes
    rig.game.CheckIfDead();
    QCOMPARE(rig.s.stopState, 1);
    rig.s.stopState = 2;
    rig.game.CheckIfDead();
    QCOMPARE(rig.s.stopState, 2);
}

void MovementTest::overlappingPieceIsNeverMovedByGravity()
{
    ModelRig rig;
    startGame(rig, 1, 7);
    putRows(rig.s, {"....5....."}, 10);
    rig.s.nextPieces[4] = 7;
    rig.s.fallPixel = 14;
    rig.s.lockCounter = 0;
    rig.game.CheckLines();
    QCOMPARE(rig.s.stopState, 1);
    rig.screen.forget();
    for (int step = 1; step <= 11; ++step) {
        rig.game.Falling();
        QCOMPARE(rig.s.pieceY, 10);
        QCOMPARE(rig.s.stopState, 1);
    }
    QCOMPARE(fieldDraws(rig.screen), 0); // the free cells below never tempted it
    rig.game.Falling();
    QCOMPARE(rig.s.stopState, 2); // the lock drew it once more: the game ends
    QCOMPARE(rowsText(rig.s, 10, 11), QString("...777....\n....7....."));
}

void MovementTest::overlappingPieceEndsGameWhenMovedIntoFreeCells()
{
    ModelRig rig;
    startGame(rig, 1, 7);
    putRows(rig.s, {"....5....."}, 10);
    rig.s.nextPieces[4] = 7;
    rig.game.CheckLines();
    MovePiece(rig.game, Command::ShiftRight); // refused: the T would still cover (14, 10)
    QCOMPARE(rig.s.pieceX, 14);
    QCOMPARE(rig.s.stopState, 1);
    jump(rig.game, -3); // into free cells: drawn again, so the game ends
    QCOMPARE(rig.s.pieceX, 11);
    QCOMPARE(rig.s.stopState, 2);
}

void MovementTest::lockCounterCarriesIntoNextPiece()
{
    ModelRig rig;
    startGame(rig, 1, 7);
    putRows(rig.s, {"....5....."}, 10);
    setPiece(rig.s, 1, 15, 35, 14);
    rig.s.lockCounter = 5;
    rig.s.nextPieces[4] = 7; // will overlap at its spawn
    MovePiece(rig.game, Command::StepDown);      // locked by the key
    QCOMPARE(rig.s.pieceType, 7);
    QCOMPARE(rig.s.lockCounter, 5);
    for (int i = 0; i < 6; ++i)
        rig.game.Falling();
    QCOMPARE(rig.s.stopState, 1);
    rig.game.Falling(); // seventh step is the twelfth refusal
    QCOMPARE(rig.s.stopState, 2);
}

void MovementTest::spawnTestIgnoresCellsAbove()
{
    ModelRig rig;
    startGame(rig, 1, 7);
    putRows(rig.s, {"...555...."}, 9); // hidden row right above the spawn
    rig.s.nextPieces[4] = 7;
    rig.game.CheckLines();
    QCOMPARE(rig.s.stopState, 0);
}

QTEST_APPLESS_MAIN(MovementTest)
#include "tst_movement.moc"
