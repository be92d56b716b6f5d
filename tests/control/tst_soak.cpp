// Thousands of pieces under random keys, with the counters checked after
// every loop pass and every key, and the whole board after every lock. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer in the suite's sanitizer run.
#include <QtTest>
#include <random>

#include "support/FlowFakes.h"
#include "support/Invariants.h"

using namespace quadix;
using namespace quadix::test;


class SoakTest : public QObject {
    Q_OBJECT

private slots:
    void randomKeysKeepTheBoardSound();
};

void SoakTest::randomKeysKeepTheBoardSound()
{
    std::mt19937 keys(20261208);
    const int wantedPieces = qEnvironmentVariableIntValue("QUADIX_SOAK_PIECES") > 0
        ? qEnvironmentVariableIntValue("QUADIX_SOAK_PIECES") : 10000;
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
            failure = checkCounters(rig.s, lastScore);
            if (failure.isEmpty() && (rig.s.dropHeld == 1 || rig.s.stopState == 2))
                failure = checkBoard(rig.s); // just after a lock
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
                rig.flow.picQuadixField_KeyDown(Command::Pause);
            else if (rig.s.paused)
                rig.flow.mnuPause_Click(); // F4: resume
            else {
                const Command moves[] = {Command::ShiftLeft, Command::ShiftRight, Command::TurnClockwise,
                                         Command::TurnClockwise, Command::TurnCounterClockwise, Command::StepDown,
                                         Command::StepDown, Command::Confirm};
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
