// Hundreds of whole games through the real main window under random keys:
// moves, turns, drops, pause and resume, stops and new games, and a name for
// every record. The counters are checked at every pass of the game loop and
// the whole board after every lock. Built with AddressSanitizer and UndefinedBehaviorSanitizer in the
// suite's sanitizer run.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <random>

#include "support/EventScript.h"
#include "support/Invariants.h"
#include "ui/FrmGame.h"
#include "ui/FrmHighScores.h"
#include "ui/PictureBox.h"

using namespace quadix;
using namespace quadix::test;

namespace {

// A new deal for every game.
class NextSeedRandom : public MersenneRandom {
public:
    void SeedFromTimeOfDay() override { Reseed(++seed_); }

private:
    uint32_t seed_ = 0;
};

} // namespace

class WindowSoakTest : public QObject {
    Q_OBJECT

private slots:
    void randomGamesKeepTheBoardSound();
};

void WindowSoakTest::randomGamesKeepTheBoardSound()
{
    const int wanted = qEnvironmentVariableIntValue("QUADIX_WINDOW_SOAK_GAMES") > 0
        ? qEnvironmentVariableIntValue("QUADIX_WINDOW_SOAK_GAMES") : 500;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeClock clock;
    NextSeedRandom random;
    EventScript script(clock);
    std::mt19937 dice(8122026);
    QString failure;
    int32_t lastScore = 0;
    std::unique_ptr<FrmGame> window;

    GamePorts ports;
    ports.clock = &clock;
    ports.random = &random;
    ports.scoreFile = ScoreFilePaths{dir.filePath("Scores.dat"), dir.filePath("Scores.dat")};
    int passes = 0;
    ports.pump = [&](int waitMs) {
        ++passes;
        QCoreApplication::processEvents();
        // The counters at every pass, the whole board after every lock.
        const GameState& s = window->game().state;
        if (failure.isEmpty() && s.gameRunning) {
            failure = checkCounters(s, lastScore);
            if (failure.isEmpty() && s.dropHeld == 1)
                failure = checkBoard(s);
            lastScore = s.score;
        }
        if (!script.pump(waitMs))
            window->flow().mnuPause_Click(); // paused with nothing to come: F4
    };
    window = std::make_unique<FrmGame>(ports);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    auto shortcut = [&](Qt::Key key) { QTest::keyClick(window->windowHandle(), key); };
    int game = 0;
    int records = 0;
    int stopped = 0;
    std::function<void(int)> keyChain = [&](int forGame) {
        if (forGame != game || !window->game().state.gameRunning)
            return;
        const int roll = static_cast<int>(dice() % 10000);
        if (roll < 3)
            shortcut(Qt::Key_F2); // stop
        else if (roll < 80)
            QTest::keyClick(window->picQuadixField, Qt::Key_Escape);
        else if (window->game().state.paused)
            shortcut(Qt::Key_F4);
        else {
            const Qt::Key keys[] = {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Left,
                                    Qt::Key_Right, Qt::Key_Left, Qt::Key_Up, Qt::Key_Control, Qt::Key_Insert};
            QTest::keyClick(window->picQuadixField, keys[dice() % 10]);
        }
        script.at(dice() % 16, [&, forGame] { keyChain(forGame); });
    };

    for (game = 1; game <= wanted && failure.isEmpty(); ++game) {
        lastScore = 0;
        script.at(0, [&, g = game] { keyChain(g); });
        // Random keys seldom complete a row; every fifth game gets points so
        // that records are entered too.
        if (game % 5 == 0)
            script.at(1, [&] { window->game().state.score += static_cast<int32_t>(dice() % 5000 + 1); });
        const int passesBefore = passes;
        shortcut(Qt::Key_F2); // returns when the game is over
        QVERIFY2(passes > passesBefore, "F2 did not start a game");
        QVERIFY(!window->game().state.gameRunning);
        stopped += window->game().state.stoppedByPlayer;
        if (window->txtEnterName->isVisible()) {
            ++records;
            QTest::keyClicks(window->txtEnterName, QString("Giocatore %1").arg(game));
            QTimer::singleShot(0, window.get(), [] {
                if (FrmHighScores* shown = FrmHighScores::Current())
                    shown->cmdClose->click();
            });
            QTest::keyClick(window->txtEnterName, Qt::Key_Return);
            QVERIFY(!window->game().state.enteringName);
            window->activateWindow(); // back from the records window
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
        }
        QVERIFY(window->mnuStart->isEnabled());
        if (dice() % 20 == 0)
            QTest::keyClick(window->picQuadixField, Qt::Key_Escape); // a pause between games
    }
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(game, wanted + 1);
    QVERIFY(records > 0);
    QVERIFY(window->game().state.paused || !window->lblPause->isVisible());
    qInfo("%d games through the window, %d stopped by the player, %d records entered", wanted, stopped, records);
    FrmHighScores::CloseCurrent();
}

QTEST_MAIN(WindowSoakTest)
#include "tst_window_soak.moc"
