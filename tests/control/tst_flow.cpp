// Whole games through the game flow, on a fake clock: start, gravity cadence,
// the spawn pause, stopping, losing, pausing, the keys and the tick count's wrap.
#include <QtTest>

#include "support/BoardText.h"
#include "support/FlowFakes.h"

using namespace quadix;
using namespace quadix::test;

namespace {

// Plays a game to its end with the given events scheduled; fails on a hang.
void play(FlowRig& rig)
{
    rig.window.onDeadlock = [&] { rig.flow.Abandon(); };
    rig.flow.mnuStart_Click();
}

// What the playfield's keys stand for.
constexpr Command kPlayfieldCommands[] = {Command::ShiftLeft, Command::ShiftRight, Command::TurnClockwise,
                                          Command::TurnCounterClockwise, Command::StepDown, Command::Pause};

int countOf(const std::vector<int>& v, int x)
{
    return static_cast<int>(std::count(v.begin(), v.end(), x));
}

} // namespace

Q_DECLARE_METATYPE(quadix::Command)

class FlowTest : public QObject {
    Q_OBJECT

private slots:
    void startSetsMenusLabelsAndSound();
    void firstGravityStepOfFirstGameIsDueAtOnce();
    void gravityStepsComeEveryIntervalPlusOne();
    void newPieceWaitsFiveDueSteps();
    void stopByPlayerEndsPassWithoutNameEntry();
    void lostGameEndsWhenOverlappingPieceIsDrawnAgain();
    void lostGameWithPointsOffersName();
    void pauseHidesStackAndOnlyResumeEndsIt();
    void stoppingPausedGameKeepsPausedUntilNextGame();
    void escBetweenGamesPausesUnlessStoppedByPlayer();
    void keysOutsideGameDoNothing_data();
    void keysOutsideGameDoNothing();
    void downKeyWaitsForSpawnPause();
    void loopKeepsCadenceAcrossTickWrap_data();
    void loopKeepsCadenceAcrossTickWrap();
    void closingDuringGameEndsLoopWithoutDead();
    void focusReturnsToPlayfieldOnlyDuringGame();
    void loopWaitsInsteadOfSpinning();
};

void FlowTest::startSetsMenusLabelsAndSound()
{
    FlowRig rig;
    rig.window.at(0, [&] {
        QCOMPARE(rig.sound.played.front(), 6);
        QCOMPARE(rig.window.captions[MenuItem::Start], std::string("Stop"));
        QCOMPARE(rig.window.captions[MenuItem::Pause], std::string("Pausa"));
        QVERIFY(rig.window.isEnabled(MenuItem::Pause));
        QVERIFY(!rig.window.isEnabled(MenuItem::HighScores));
        QVERIFY(!rig.window.isEnabled(MenuItem::Help));
        for (Message m : {Message::GameOver, Message::NewGame, Message::Pause, Message::PressF4})
            QVERIFY(!rig.window.isShown(m));
        QCOMPARE(rig.scoreboard.score, 0);
        QCOMPARE(rig.scoreboard.lines, 0);
        QCOMPARE(rig.scoreboard.level, 0);
        QVERIFY(rig.window.focusRequests >= 1);
        QVERIFY(rig.s.gameRunning);
        rig.flow.mnuStart_Click(); // F2 again: only asks the loop to end
        QCOMPARE(rig.s.stopState, 2);
        QVERIFY(rig.s.gameRunning);
    });
    play(rig);
    QVERIFY(!rig.s.gameRunning);
    QCOMPARE(rig.window.captions[MenuItem::Start], std::string("Via"));
    QVERIFY(!rig.window.isEnabled(MenuItem::Pause));
    QVERIFY(rig.window.isEnabled(MenuItem::Start));
    QVERIFY(rig.window.isEnabled(MenuItem::HighScores));
    QVERIFY(rig.window.isEnabled(MenuItem::Help));
    QVERIFY(rig.window.isShown(Message::GameOver));
    QVERIFY(rig.window.isShown(Message::NewGame));
    QCOMPARE(rig.sound.played.back(), 3);
}

void FlowTest::firstGravityStepOfFirstGameIsDueAtOnce()
{
    FlowRig rig;
    rig.clock.now = 5000;
    rig.window.at(0, [&] { rig.flow.mnuStart_Click(); });
    play(rig);
    QCOMPARE(rig.clock.now, 5000u); // no time passed, yet one step was made
    QCOMPARE(rig.s.fallPixel, 1);
    QCOMPARE(rig.s.lastTick, 5000);
}

void FlowTest::gravityStepsComeEveryIntervalPlusOne()
{
    FlowRig rig;
    std::vector<uint32_t> stepTimes;
    int lastPixel = -1;
    // Sample after every pass: a changed fallPixel or row marks a gravity step.
    for (int t = 0; t < 2000; ++t) {
        rig.window.at(t, [&] {
            int pos = rig.s.pieceY * 100 + rig.s.fallPixel;
            if (pos != lastPixel && lastPixel != -1)
                stepTimes.push_back(rig.clock.now);
            lastPixel = pos;
        });
    }
    rig.window.at(2000, [&] { rig.flow.mnuStart_Click(); });
    play(rig);
    QVERIFY(stepTimes.size() > 40);
    for (size_t i = 1; i < stepTimes.size(); ++i)
        QCOMPARE(stepTimes[i] - stepTimes[i - 1], 26u);
}

void FlowTest::newPieceWaitsFiveDueSteps()
{
    FlowRig rig;
    int lockedAtPass = -1;
    std::vector<int> dropHeldSeen;
    std::vector<int> positions;
    std::function<void()> watch = [&] {
        dropHeldSeen.push_back(rig.s.dropHeld);
        positions.push_back(rig.s.pieceY * 100 + rig.s.fallPixel);
        if (dropHeldSeen.size() < 8 && rig.s.gameRunning)
            rig.window.at(26, watch);
        else
            rig.flow.mnuStart_Click();
        Q_UNUSED(lockedAtPass);
    };
    rig.window.at(0, [&] {
        // Drop the first piece to the floor and lock it with the down key.
        for (int i = 0; i < 30; ++i)
            rig.flow.picQuadixField_KeyDown(Command::StepDown);
        QCOMPARE(rig.s.dropHeld, 1);
        QCOMPARE(rig.s.pieceY, 10);
        rig.window.at(26, watch);
    });
    play(rig);
    // Seen between due steps (26 ms apart): five steps only count the pause
    // (2, 3, 4, 5, then back to 0); the sixth is the new piece's first fall.
    QCOMPARE(dropHeldSeen, (std::vector<int>{1, 2, 3, 4, 5, 0, 0, 0}));
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(positions[i], positions[0]);
    QVERIFY(positions[6] != positions[5]);
    QVERIFY(positions[7] != positions[6]);
}

void FlowTest::stopByPlayerEndsPassWithoutNameEntry()
{
    FlowRig rig;
    const uint32_t start = rig.clock.now;
    rig.window.at(500, [&] {
        rig.s.score = 5000; // whatever the score
        rig.flow.mnuStart_Click();
    });
    play(rig);
    QVERIFY(rig.s.stoppedByPlayer);
    QCOMPARE(rig.window.nameEntries, 0);
    QCOMPARE(rig.sound.played.back(), 3);
    QCOMPARE(rig.clock.now, start + 500); // ended in the pass of the request
}

void FlowTest::lostGameEndsWhenOverlappingPieceIsDrawnAgain()
{
    FlowRig rig;
    uint32_t overlapAt = 0;
    std::function<void()> watch;
    watch = [&] {
        if (rig.s.stopState == 1 && overlapAt == 0)
            overlapAt = static_cast<uint32_t>(rig.s.lastTick); // the step that spawned it
        rig.window.at(1, watch);
    };
    rig.window.at(0, watch);
    play(rig); // nobody touches the keys: the stack grows until a piece overlaps
    QVERIFY(overlapAt > 0);
    QVERIFY(!rig.s.stoppedByPlayer);
    QCOMPARE(rig.s.stopState, 2);
    // The overlapping piece waited out the spawn pause and the grace period:
    // 5 + 12 due steps of 26 ms after the spawn.
    QCOMPARE(rig.clock.now - overlapAt, uint32_t((5 + 12) * 26));
    QCOMPARE(rig.window.nameEntries, 0); // no rows, no points
    QCOMPARE(rig.s.score, 0);
}

void FlowTest::lostGameWithPointsOffersName()
{
    FlowRig rig;
    rig.window.at(300, [&] { rig.s.score = 40; });
    play(rig);
    QCOMPARE(rig.window.nameEntries, 1);
    QCOMPARE(countOf(rig.sound.played, 3), 1);
}

void FlowTest::pauseHidesStackAndOnlyResumeEndsIt()
{
    FlowRig rig;
    int clearsBefore = 0;
    GameState snapshot;
    rig.window.at(100, [&] {
        clearsBefore = rig.screen.fieldClears;
        rig.flow.picQuadixField_KeyDown(Command::Pause); // Esc pauses
        QVERIFY(rig.s.paused);
        QCOMPARE(rig.screen.fieldClears, clearsBefore + 1);
        QCOMPARE(rig.sound.played.back(), 4);
        QCOMPARE(rig.window.captions[MenuItem::Pause], std::string("Riprendi"));
        QVERIFY(rig.window.isShown(Message::Pause));
        QVERIFY(rig.window.isShown(Message::PressF4));
        snapshot = rig.s;
    });
    rig.window.at(5000, [&] {
        // Gravity stood still, and every key is ignored, Esc included.
        QCOMPARE(rig.s.pieceY, snapshot.pieceY);
        QCOMPARE(rig.s.fallPixel, snapshot.fallPixel);
        for (Command command : kPlayfieldCommands)
            rig.flow.picQuadixField_KeyDown(command);
        QVERIFY(rig.s.paused);
        QCOMPARE(rig.s.pieceX, snapshot.pieceX);
        QCOMPARE(rig.s.pieceDX[1], snapshot.pieceDX[1]);
        rig.flow.mnuPause_Click(); // F4 resumes
        QVERIFY(!rig.s.paused);
        QCOMPARE(rig.sound.played.back(), 6);
        QCOMPARE(rig.window.captions[MenuItem::Pause], std::string("Pausa"));
        QVERIFY(!rig.window.isShown(Message::Pause));
    });
    rig.window.at(5001, [&] {
        // lastTick was not moved while paused: the first step came at once.
        QVERIFY(rig.s.fallPixel != snapshot.fallPixel || rig.s.pieceY != snapshot.pieceY);
        rig.flow.mnuStart_Click();
    });
    play(rig);
    // While paused the loop slept until the next event instead of counting time.
    QVERIFY(std::count(rig.window.waits.begin(), rig.window.waits.end(), -1) >= 1);
}

void FlowTest::stoppingPausedGameKeepsPausedUntilNextGame()
{
    FlowRig rig;
    rig.window.at(100, [&] { rig.flow.mnuPause_Click(); });
    rig.window.at(200, [&] { rig.flow.mnuStart_Click(); });
    play(rig);
    QVERIFY(rig.s.paused);
    QVERIFY(!rig.window.isShown(Message::Pause));
    QVERIFY(!rig.window.isShown(Message::PressF4));
    rig.window.at(100, [&] {
        QVERIFY(!rig.s.paused);
        QCOMPARE(rig.window.captions[MenuItem::Pause], std::string("Pausa"));
        rig.flow.mnuStart_Click();
    });
    play(rig);
}

void FlowTest::escBetweenGamesPausesUnlessStoppedByPlayer()
{
    FlowRig rig;
    rig.flow.picQuadixField_KeyDown(Command::Pause); // before the first game
    QVERIFY(rig.s.paused);
    QVERIFY(rig.window.isShown(Message::Pause));
    rig.window.at(50, [&] { rig.flow.mnuStart_Click(); });
    play(rig); // starts unpaused, stopped by the player
    rig.window.shown.clear();
    rig.flow.picQuadixField_KeyDown(Command::Pause);
    QVERIFY(!rig.s.paused);
    QVERIFY(!rig.window.isShown(Message::Pause));
}

void FlowTest::keysOutsideGameDoNothing_data()
{
    QTest::addColumn<Command>("command");
    // Every command but the pause, and one that is not the playfield's at all.
    for (Command command : kPlayfieldCommands)
        if (command != Command::Pause)
            QTest::addRow("command %d", int(command)) << command;
    QTest::newRow("confirm") << Command::Confirm;
}

void FlowTest::keysOutsideGameDoNothing()
{
    QFETCH(Command, command);
    FlowRig rig;
    rig.window.at(10, [&] { rig.flow.mnuStart_Click(); });
    play(rig);
    const GameState before = rig.s;
    rig.screen.forget();
    rig.flow.picQuadixField_KeyDown(command);
    QCOMPARE(rig.s.pieceX, before.pieceX);
    QCOMPARE(rig.s.pieceY, before.pieceY);
    QCOMPARE(rig.s.pieceDX[1], before.pieceDX[1]);
    QVERIFY(rig.screen.calls.empty());
}

void FlowTest::downKeyWaitsForSpawnPause()
{
    FlowRig rig;
    rig.window.at(0, [&] {
        for (int i = 0; i < 30; ++i)
            rig.flow.picQuadixField_KeyDown(Command::StepDown);
        QCOMPARE(rig.s.dropHeld, 1);
        const int y = rig.s.pieceY;
        rig.flow.picQuadixField_KeyDown(Command::StepDown);
        QCOMPARE(rig.s.pieceY, y); // ignored during the spawn pause
        const int x = rig.s.pieceX;
        rig.flow.picQuadixField_KeyDown(Command::ShiftLeft);
        QCOMPARE(rig.s.pieceX, x - 1); // sideways moves work
        rig.flow.mnuStart_Click();
    });
    play(rig);
}

void FlowTest::loopKeepsCadenceAcrossTickWrap_data()
{
    QTest::addColumn<quint32>("start");
    QTest::newRow("sign boundary") << quint32(0x7FFFFF00u);
    QTest::newRow("wrap to zero") << quint32(0xFFFFFF00u);
}

void FlowTest::loopKeepsCadenceAcrossTickWrap()
{
    QFETCH(quint32, start);
    FlowRig rig;
    rig.clock.now = start;
    rig.s.lastTick = static_cast<int32_t>(start - 1000);
    int steps = 0;
    int lastPos = -1;
    std::function<void()> watch = [&] {
        int pos = rig.s.pieceY * 100 + rig.s.fallPixel;
        if (pos != lastPos)
            ++steps;
        lastPos = pos;
        rig.window.at(1, watch);
    };
    lastPos = 10 * 100 + 0; // the first piece of the first game: row 10, fallPixel 0
    rig.window.at(0, watch);
    rig.window.at(1040, [&] { rig.flow.mnuStart_Click(); });
    play(rig);
    // The first step at once, then one every 26 ms up to 1014 ms; the stop
    // at 1040 ms ends the loop before that pass's step.
    QCOMPARE(steps, 40);
}

void FlowTest::closingDuringGameEndsLoopWithoutDead()
{
    FlowRig rig;
    const uint32_t start = rig.clock.now;
    rig.window.at(300, [&] {
        rig.s.score = 900;
        rig.flow.Abandon();
    });
    play(rig);
    QVERIFY(rig.flow.abandoned());
    QCOMPARE(countOf(rig.sound.played, 3), 0);
    QCOMPARE(rig.window.nameEntries, 0);
    QVERIFY(rig.s.gameRunning); // never ended: the program is going away
    QCOMPARE(rig.clock.now, start + 300);
}

void FlowTest::focusReturnsToPlayfieldOnlyDuringGame()
{
    FlowRig rig;
    rig.flow.picQuadixField_LostFocus();
    QCOMPARE(rig.window.focusRequests, 0);
    rig.window.at(10, [&] {
        const int before = rig.window.focusRequests;
        rig.flow.picQuadixField_LostFocus();
        QCOMPARE(rig.window.focusRequests, before + 1);
        rig.flow.mnuStart_Click();
    });
    play(rig);
}

void FlowTest::loopWaitsInsteadOfSpinning()
{
    FlowRig rig;
    rig.window.at(2600, [&] { rig.flow.mnuStart_Click(); });
    play(rig);
    // About one pass per gravity step (100 steps), not one per millisecond.
    QVERIFY2(rig.window.pumps < 150, qPrintable(QString::number(rig.window.pumps)));
}

QTEST_APPLESS_MAIN(FlowTest)
#include "tst_flow.moc"
