// Thousands of pieces under random keys, with the board's invariants checked
// after every loop pass and every key. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer in the suite's sanitizer run.
#include <QtTest>
#include <random>

#include "support/BoardText.h"
#include "support/FlowFakes.h"

using namespace quadix;
using namespace quadix::test;

namespace {

QString checkInvariants(const GameState& s, int32_t lastScore)
{
    for (int r = 0; r <= kFloorRow; ++r)
        if (s.board(9, r) != kWall || s.board(20, r) != kWall)
            return QString("wall broken in row %1").arg(r);
    for (int c = kFirstColumn; c <= kLastColumn; ++c)
        if (s.board(c, kFloorRow) != kWall)
            return QString("floor broken in column %1").arg(c);
    for (int c = 0; c < kBoardColumns; ++c) {
        for (int r = 0; r < kBoardRows; ++r) {
            bool inWell = c >= kFirstColumn && c <= kLastColumn && r <= kBottomRow;
            bool wall = ((c == 9 || c == 20) && r <= kFloorRow)
                || (r == kFloorRow && c >= kFirstColumn && c <= kLastColumn);
            if (!inWell && !wall && s.board(c, r) != 0)
                return QString("cell (%1, %2) outside the well holds %3").arg(c).arg(r).arg(s.board(c, r));
            if (inWell && (s.board(c, r) < 0 || s.board(c, r) > 7))
                return QString("cell (%1, %2) holds %3").arg(c).arg(r).arg(s.board(c, r));
        }
    }
    // A lost game's last piece may be locked over the stack; the game is over then.
    if (s.stopState != 2) {
        for (int r = 0; r <= kBottomRow; ++r) {
            int cells = 0;
            for (int c = kFirstColumn; c <= kLastColumn; ++c)
                cells += s.board(c, r) != 0;
            if (s.rowFill[r] != cells)
                return QString("row %1: rowFill %2, cells %3\n%4").arg(r).arg(s.rowFill[r]).arg(cells).arg(rowsText(s, 0));
        }
    }
    if (s.score < lastScore)
        return QString("score fell from %1 to %2").arg(lastScore).arg(s.score);
    if (s.pieceType < 1 || s.pieceType > 7)
        return QString("piece type %1").arg(s.pieceType);
    if (s.fallPixel < 0 || s.fallPixel > 14 || s.dropHeld < 0 || s.dropHeld > 5)
        return QString("fallPixel %1, dropHeld %2").arg(s.fallPixel).arg(s.dropHeld);
    if (s.level > s.lines / 10 || s.linesThisLock != 0)
        return QString("level %1 for %2 lines").arg(s.level).arg(s.lines);
    return {};
}

} // namespace

class SoakTest : public QObject {
    Q_OBJECT

private slots:
    void randomKeysKeepTheBoardSound();
};

void SoakTest::randomKeysKeepTheBoardSound()
{
    std::mt19937 keys(20261208);
    const int wantedPieces = qEnvironmentVariableIntValue("QUADIX_SOAK_PIECES") > 0
        ? qEnvironmentVariableIntValue("QUADIX_SOAK_PIECES") : 3000;
    int pieces = 0;
    int games = 0;
    int stoppedGames = 0;
    QString failure;

    for (uint32_t seed = 1; pieces < wantedPieces && failure.isEmpty(); ++seed) {
        FlowRig rig(seed);
        int32_t lastScore = 0;
        int lastY = -1;
        auto check = [&] {
            if (!failure.isEmpty())
                return;
            failure = checkInvariants(rig.s, lastScore);
            lastScore = rig.s.score;
            if (rig.s.pieceY == 10 && lastY != 10 && rig.s.dropHeld == 1)
                ++pieces;
            lastY = rig.s.pieceY;
        };
        // Paused with no key coming: F4.
        rig.window.onDeadlock = [&] { rig.flow.mnuPause_Click(); };
        std::function<void()> press = [&] {
            int roll = static_cast<int>(keys() % 10000);
            if (roll < 3)
                rig.flow.mnuStart_Click(); // F2: stop
            else if (roll < 40)
                rig.flow.picQuadixField_KeyDown(KeyEsc);
            else if (rig.s.paused)
                rig.flow.mnuPause_Click(); // F4: resume
            else {
                const int moves[] = {KeyLeft, KeyRight, KeyUp, KeyCtrl, KeyInsert, KeyDown, KeyDown, 70};
                rig.flow.picQuadixField_KeyDown(moves[keys() % 8]);
            }
            check();
            if (rig.s.gameRunning)
                rig.window.at(keys() % 60, press);
        };
        rig.window.at(0, press);
        rig.window.onPump = check;
        rig.flow.mnuStart_Click();
        check();
        ++games;
        stoppedGames += rig.s.stoppedByPlayer;
    }
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(pieces >= wantedPieces);
    qInfo("%d games, %d pieces, %d stopped by the player", games, pieces, stoppedGames);
}

QTEST_APPLESS_MAIN(SoakTest)
#include "tst_soak.moc"
