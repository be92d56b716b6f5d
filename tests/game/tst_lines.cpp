// Completed rows: the flash, the points, the levels and the rows above coming down.
#include <QtTest>

#include "support/BoardText.h"
#include "support/ModelFakes.h"

using namespace quadix;
using namespace quadix::test;

namespace {

void startGame(ModelRig& rig)
{
    rig.random.types = {2, 2, 2, 2, 2};
    rig.game.NewGame();
}

void clearWell(GameState& s)
{
    for (int r = 0; r <= kBottomRow; ++r) {
        for (int c = kFirstColumn; c <= kLastColumn; ++c)
            s.board(c, r) = 0;
        s.rowFill[r] = 0;
    }
}

// Locks an upright bar (type 1: four blocks, type 8: five) in column 19,
// block 0 at `row`, as the down key does when the cell below is taken.
void lockUprightInColumn19(ModelRig& rig, int type, int row)
{
    GameState& s = rig.s;
    s.pieceType = static_cast<int16_t>(type);
    const int dy[] = {0, -2, -1, 1, 2};
    for (int j = 0; j < kBlockSlots; ++j) {
        s.pieceDX[j] = 0;
        s.pieceDY[j] = static_cast<int16_t>(dy[j]);
    }
    s.pieceX = s.prevX = 19;
    s.pieceY = s.prevY = static_cast<int16_t>(row);
    s.blocked = 1;
    rig.game.CanMoveDown();
}

// Locks an upright five-block bar in column 19, rows 31..35, over a stack
// whose bottom `fullRows` rows lack only that column.
void lockBarCompleting(ModelRig& rig, int fullRows)
{
    clearWell(rig.s);
    QStringList rows;
    for (int r = 31; r <= 35; ++r)
        rows << (r > 35 - fullRows ? "999999999." : "9.........");
    putRows(rig.s, rows, 35);
    lockUprightInColumn19(rig, 8, 33); // rows 31..35
}

} // namespace

class LinesTest : public QObject {
    Q_OBJECT

private slots:
    void lockWithoutFullRowOnlyDealsNextPiece();
    void pointsGrowWithRowsAndLevel_data();
    void pointsGrowWithRowsAndLevel();
    void levelRisesOnceWhenLinesPassTheThreshold_data();
    void levelRisesOnceWhenLinesPassTheThreshold();
    void fallIntervalAndPreviewFollowTheLevelTable();
    void flashShowsFortyFramesEndingGrey();
    void countersStopAtTheTopOfTheirRange_data();
    void countersStopAtTheTopOfTheirRange();
    void rowsAboveComeDownPastNonAdjacentGaps();
};

void LinesTest::lockWithoutFullRowOnlyDealsNextPiece()
{
    ModelRig rig;
    startGame(rig);
    const int updates = rig.scoreboard.updates;
    lockBarCompleting(rig, 0);
    QCOMPARE(rig.sound.played, std::vector<int>{1});
    QCOMPARE(rig.scoreboard.updates, updates);
    QCOMPARE(rig.s.score, 0);
    QCOMPARE(rig.s.dropHeld, 1);
    QCOMPARE(rig.s.pieceY, 10);
}

void LinesTest::pointsGrowWithRowsAndLevel_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("award");
    QTest::newRow("1 row, level 0") << 1 << 0 << 40;
    QTest::newRow("2 rows, level 0") << 2 << 0 << 100;
    QTest::newRow("3 rows, level 0") << 3 << 0 << 300;
    QTest::newRow("4 rows, level 0") << 4 << 0 << 1200;
    QTest::newRow("4 rows, level 3") << 4 << 3 << 4800;
    QTest::newRow("4 rows, level 27: past 16 bits") << 4 << 27 << 33600;
    QTest::newRow("5 rows, level 0") << 5 << 0 << 2400;
    QTest::newRow("5 rows, level 13: past 16 bits") << 5 << 13 << 33600;
    QTest::newRow("5 rows, level 60") << 5 << 60 << 146400;
}

void LinesTest::pointsGrowWithRowsAndLevel()
{
    QFETCH(int, rows);
    QFETCH(int, level);
    QFETCH(int, award);
    ModelRig rig;
    startGame(rig);
    rig.s.level = static_cast<int16_t>(level);
    rig.s.lines = static_cast<int16_t>(level * 10); // no level-up from this lock
    rig.s.score = 1000;
    lockBarCompleting(rig, rows);
    QCOMPARE(rig.s.score, 1000 + award);
    QCOMPARE(rig.s.lines, level * 10 + rows);
    QCOMPARE(rig.s.level, level);
    QCOMPARE(rig.scoreboard.score, 1000 + award);
    QCOMPARE(rig.scoreboard.lines, level * 10 + rows);
    QCOMPARE(rig.sound.played, (std::vector<int>{2, 1}));
    QCOMPARE(rig.s.linesThisLock, 0);
}

void LinesTest::levelRisesOnceWhenLinesPassTheThreshold_data()
{
    QTest::addColumn<int>("linesBefore");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("score");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("fallInterval");
    QTest::newRow("8 -> 10 scores at level 0, then level 1") << 8 << 2 << 100 << 1 << 23;
    QTest::newRow("9 -> 13 rises once") << 9 << 4 << 1200 << 1 << 23;
    QTest::newRow("5 -> 9 stays") << 5 << 4 << 1200 << 0 << 25;
}

void LinesTest::levelRisesOnceWhenLinesPassTheThreshold()
{
    QFETCH(int, linesBefore);
    QFETCH(int, rows);
    QFETCH(int, score);
    QFETCH(int, level);
    QFETCH(int, fallInterval);
    ModelRig rig;
    startGame(rig);
    rig.s.lines = static_cast<int16_t>(linesBefore);
    lockBarCompleting(rig, rows);
    QCOMPARE(rig.s.score, score);
    QCOMPARE(rig.s.level, level);
    QCOMPARE(rig.s.fallInterval, fallInterval);
    QCOMPARE(rig.scoreboard.level, level); // 0 from the new game, or the new level
}

void LinesTest::fallIntervalAndPreviewFollowTheLevelTable()
{
    // Level reached -> fall interval afterwards; unlisted levels change nothing.
    const QMap<int, int> table = {
        {1, 23}, {2, 21}, {3, 20}, {4, 19}, {5, 18}, {6, 17}, {7, 16}, {8, 15},
        {10, 14}, {12, 13}, {14, 12}, {16, 11}, {18, 10}, {20, 9}, {24, 8}, {28, 7},
        {30, 7}, {32, 6}, {34, 5}, {38, 4}, {43, 3}, {48, 2}, {53, 2}};
    ModelRig rig;
    startGame(rig);
    int expected = 25;
    for (int level = 1; level <= 55; ++level) {
        rig.s.level = static_cast<int16_t>(level - 1);
        rig.s.lines = static_cast<int16_t>(level * 10 - 1);
        lockBarCompleting(rig, 1);
        expected = table.value(level, expected);
        QCOMPARE(rig.s.level, level);
        QVERIFY2(rig.s.fallInterval == expected,
                 qPrintable(QString("level %1: %2 ms, expected %3").arg(level).arg(rig.s.fallInterval).arg(expected)));
        int preview = level >= 30 ? 1 : level >= 20 ? 2 : level >= 10 ? 3 : 4;
        QCOMPARE(rig.s.previewCount, preview);
    }
    QCOMPARE(rig.s.fallInterval, 2); // the floor: level 53 would have made it 1
}

void LinesTest::flashShowsFortyFramesEndingGrey()
{
    ModelRig rig;
    startGame(rig);
    rig.screen.forget();
    const uint32_t start = rig.clock.now;
    lockBarCompleting(rig, 2);

    // Frames run from the lock's own drawing up to the clearing of the playfield.
    const auto& order = rig.screen.order;
    auto clear = std::find(order.begin(), order.end(), 'c');
    QVERIFY(clear != order.end());
    // Refreshes before the clear: the lock's DrawPiece, then the 40 frames.
    QCOMPARE(std::count(order.begin(), clear, 'r'), 41);
    // The flash's tiles are the last 800 draws before the clear: 40 frames of
    // 2 rows x 10 columns, in colours 1..8 five times over.
    const auto drawsBeforeClear = std::count(order.begin(), clear, 'd');
    QVERIFY(drawsBeforeClear >= 800);
    std::vector<DrawCall> frames(rig.screen.calls.begin() + (drawsBeforeClear - 800),
                                 rig.screen.calls.begin() + drawsBeforeClear);
    for (int f = 0; f < 40; ++f) {
        for (int i = 0; i < 20; ++i) {
            const DrawCall& c = frames[f * 20 + i];
            QCOMPARE(c.colour, f % 8 + 1);
            QCOMPARE(c.x, (i % 10) * 14);
            QCOMPARE(c.y, (i < 10 ? 34 - 10 : 35 - 10) * 14);
        }
    }
    QCOMPARE(frames.back().colour, 8);

    // Each frame is shown, then held for a sixtieth of a second (17 ms): the
    // first colour at once, the grey one as long as the others, 0.68 s in all
    // before the well is redrawn.
    const auto& times = rig.screen.refreshTimes;
    QCOMPARE(times.size(), size_t(41 + 1 + 1)); // lock, 40 frames, redrawn well, next piece
    const uint32_t flashStart = times[1];
    QCOMPARE(flashStart, start);
    for (int f = 0; f < 40; ++f) {
        const uint32_t shown = times[f + 1] - flashStart;
        const uint32_t held = (f < 39 ? times[f + 2] : times[41]) - times[f + 1];
        QVERIFY2(shown == uint32_t(f) * 17 && held == 17,
                 qPrintable(QString("frame %1 shown at +%2 ms for %3 ms").arg(f).arg(shown).arg(held)));
    }
    QCOMPARE(times[41] - flashStart, 680u);
    QCOMPARE(rig.clock.sleeps, 40);
}

// A score or a line count at the top of its range stops there: it never
// wraps negative, which would also lose the game its record.
void LinesTest::countersStopAtTheTopOfTheirRange_data()
{
    QTest::addColumn<int>("scoreBefore");
    QTest::addColumn<int>("linesBefore");
    QTest::addColumn<int>("scoreAfter");
    QTest::addColumn<int>("linesAfter");
    QTest::newRow("score stops at 2^31 - 1") << 2147483000 << 0 << 2147483647 << 4;
    QTest::newRow("score just fits") << 2147482447 << 0 << 2147483647 << 4;
    QTest::newRow("lines stop at 32767") << 0 << 32766 << 1200 << 32767;
    QTest::newRow("both at the top stay") << 2147483647 << 32767 << 2147483647 << 32767;
}

void LinesTest::countersStopAtTheTopOfTheirRange()
{
    QFETCH(int, scoreBefore);
    QFETCH(int, linesBefore);
    QFETCH(int, scoreAfter);
    QFETCH(int, linesAfter);
    ModelRig rig;
    startGame(rig);
    rig.s.score = scoreBefore;
    rig.s.lines = static_cast<int16_t>(linesBefore); // poked: the level stays 0, the award 1200
    lockBarCompleting(rig, 4);
    QCOMPARE(rig.s.score, scoreAfter);
    QCOMPARE(rig.s.lines, linesAfter);
    QCOMPARE(rig.scoreboard.score, scoreAfter);
    QCOMPARE(rig.scoreboard.lines, linesAfter);
}

// Rows 20 and 22 complete with row 21 between them; blocks above the well
// (rows 8 and 9) come down with the stack instead of being copied.
void LinesTest::rowsAboveComeDownPastNonAdjacentGaps()
{
    ModelRig rig;
    startGame(rig);
    clearWell(rig.s);
    putRows(rig.s, {
        "1.........", // 8, above the well
        "..2.......", // 9, above the well
        "..........", "..........", "..........", "..........", "..........",
        "..........", "..........", "..........", "..........", // 10..18
        "5.........", // 19
        "333333333.", // 20
        "4.4.4.4.4.", // 21
        "333333333.", // 22
        "..........", "..........", "..........", "..........", "..........", "..........",
        "..........", "..........", "..........", "..........", "..........", "..........", // 23..34
        "7........7", // 35
    }, 35);
    GameState& s = rig.s;
    lockUprightInColumn19(rig, 1, 21); // an upright I, rows 19..22

    QCOMPARE(rowsText(s, 7, 23), QString(
        "..........\n" // 7
        "..........\n" // 8
        "..........\n" // 9
        "1.........\n" // 10: was row 8
        "..2.......\n" // 11: was row 9
        "..........\n..........\n..........\n..........\n..........\n"
        "..........\n..........\n..........\n..........\n" // 12..20
        "5........1\n" // 21: was row 19
        "4.4.4.4.41\n" // 22: was row 21
        "..........")); // 23
    QCOMPARE(rowsText(s, 35, 35), QString("7........7"));
    for (int r = 0; r <= kBottomRow; ++r) {
        int cells = 0;
        for (int c = kFirstColumn; c <= kLastColumn; ++c)
            cells += s.board(c, r) != 0;
        QVERIFY2(s.rowFill[r] == cells, qPrintable(QString("row %1").arg(r)));
    }
    QCOMPARE(s.score, 100);
    QCOMPARE(s.lines, 2);
    // The well was redrawn from the board: the rows now where they belong.
    QCOMPARE(rig.screen.cellColour(19, 21), 1);
    QCOMPARE(rig.screen.cellColour(10, 21), 5);
    QCOMPARE(rig.screen.cellColour(10, 10), 1);
    QCOMPARE(rig.screen.cellColour(12, 11), 2);
    QCOMPARE(rig.screen.cellColour(12, 20), 0);
}

QTEST_APPLESS_MAIN(LinesTest)
#include "tst_lines.moc"
