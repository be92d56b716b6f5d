// Whole games through the real main window, headless: F2 and F4 through their
// shortcuts, game keys on the playfield, a fake clock that the game loop's
// waits move on, a seeded generator, and the records file in a temporary folder.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

#include "support/TableText.h"
#include "support/VirtualPad.h"
#include "support/WindowRig.h"
#include "ui/FrmGame.h"
#include "ui/FrmHighScores.h"
#include "ui/PictureBox.h"

using namespace quadix;
using namespace quadix::test;

class WindowGameTest : public QObject, WindowRig {
    Q_OBJECT

    QTemporaryDir dir;
    std::vector<int> sounds;

    QString scoresPath() const { return dir.filePath("Scores.dat"); }

    void open(const QString& writePath, const QString& sparePath = {})
    {
        makeWindow(ScoreFilePaths{scoresPath(), writePath, sparePath});
        window->soundEffects().onStarted = [this](int id) { sounds.push_back(id); };
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    // Function keys go through the window's shortcuts; F2 returns when the game is over.
    void shortcut(Qt::Key key) { QTest::keyClick(window->windowHandle(), key); }
    void press(Qt::Key key) { QTest::keyClick(window->picQuadixField, key); }

    // Plays a game until it is lost, with the given score put in on the way.
    void loseGameWith(int32_t score, int16_t lines)
    {
        script->at(1000, [=, this] {
            state().score = score;
            state().lines = lines;
        });
        shortcut(Qt::Key_F2);
        QVERIFY(!hung);
        QVERIFY(!state().stoppedByPlayer);
    }

    // Another game's save holds the table's folder for longer than a game
    // waits, and a game is lost with a record that goes aside. Returns the
    // descriptor that holds the lock.
    int holdTableAndLoseGame()
    {
        const int folder = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0 || flock(folder, LOCK_EX) != 0)
            qFatal("cannot lock the table's folder");
        window.reset();
        open(scoresPath(), dir.filePath("aside/Scores.dat"));
        loseGameWith(1250, 12);
        return folder;
    }

    // Closes the records window that a name entry shows modally, checking it first.
    void closeRecordsWhenShown(const QString& name, const QString& points)
    {
        QTimer::singleShot(50, this, [=] {
            FrmHighScores* records = FrmHighScores::Current();
            QVERIFY(records);
            QVERIFY(records->isModal());
            QCOMPARE(QApplication::activeModalWidget(), records);
            QCOMPARE(records->Label1[0]->text(), name);
            QCOMPARE(records->Label2[0]->text(), points);
            records->cmdClose->click();
        });
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        QFile::remove(scoresPath());
        clock.now = 200000;
        script = std::make_unique<EventScript>(clock);
        sounds.clear();
        hung = false;
        open(scoresPath());
    }

    void cleanup()
    {
        FrmHighScores::CloseCurrent();
        window.reset();
    }

    void f2StartsAndStopsGame()
    {
        script->at(0, [this] {
            QCOMPARE(sounds, std::vector<int>{6});
            QCOMPARE(window->mnuStart->text(), QString("Stop"));
            QVERIFY(window->mnuPause->isEnabled());
            QVERIFY(!window->mnuHighScores->isEnabled());
            QVERIFY(!window->mnuHelp->isEnabled());
            QVERIFY(!window->lblNewGame->isVisible());
            QCOMPARE(window->LabelScore->text(), QString("0"));
            QCOMPARE(window->LabelLines->text(), QString("0"));
            QCOMPARE(window->LabelLevel->text(), QString("0"));
            QVERIFY(window->picQuadixField->hasFocus());
            QCOMPARE(state().fallPixel, 1); // the first step came on the very first pass
        });
        script->at(400, [this] {
            state().score = 5000; // whatever the score, a stopped game asks no name
            shortcut(Qt::Key_F2);
        });
        shortcut(Qt::Key_F2);
        QVERIFY(state().stoppedByPlayer);
        QCOMPARE(sounds.back(), 3);
        QCOMPARE(window->mnuStart->text(), QString("Via"));
        QVERIFY(!window->mnuPause->isEnabled());
        QVERIFY(window->mnuStart->isEnabled());
        QVERIFY(window->mnuHighScores->isEnabled());
        QVERIFY(window->mnuHelp->isEnabled());
        QVERIFY(window->lblGameOver->isVisible());
        QVERIFY(window->lblNewGame->isVisible());
        QVERIFY(!window->txtEnterName->isVisible());
        QVERIFY(!QFile::exists(scoresPath()));
    }

    void pieceDrawnWhereTheModelPutsIt()
    {
        script->at(300, [this] {
            const QImage field = window->renderer().fieldImage();
            const GameState& s = state();
            // Block 0's tile: its top-left pixel is the tile's left face.
            const int x = (s.pieceX - 10) * 14 + 1;
            const int y = (s.pieceY - 11) * 14 + s.fallPixel + 7;
            QVERIFY(field.pixelColor(x, y) != QColor(Qt::black));
            QVERIFY(window->picQuadixField->grab().toImage().pixelColor(x + 2, y + 2) != QColor(Qt::black));
            shortcut(Qt::Key_F2);
        });
        shortcut(Qt::Key_F2);
    }

    void downLocksAndNewPieceWaitsFiveSteps()
    {
        std::vector<int> held;
        script->at(0, [&, this] {
            for (int i = 0; i < 30; ++i)
                press(Qt::Key_Down);
            QCOMPARE(state().dropHeld, 1);
            QCOMPARE(sounds.back(), 1);
            const int y = state().pieceY;
            press(Qt::Key_Down); // ignored during the spawn pause
            QCOMPARE(state().pieceY, y);
            for (int step = 1; step <= 6; ++step)
                script->at(26 * step + 1, [&, this] { held.push_back(state().dropHeld * 100 + state().fallPixel); });
            script->at(26 * 7, [this] { shortcut(Qt::Key_F2); });
        });
        shortcut(Qt::Key_F2);
        // fallPixel stays 14 through the pause; the sixth due step moves the piece.
        QCOMPARE(held, (std::vector<int>{214, 314, 414, 514, 14, 1}));
    }

    void pauseHidesStackAndOnlyF4Resumes()
    {
        GameState atPause;
        script->at(300, [&, this] {
            press(Qt::Key_Down);
            press(Qt::Key_Down);
            shortcut(Qt::Key_F4);
            QVERIFY(state().paused);
            QCOMPARE(sounds.back(), 4);
            QCOMPARE(window->mnuPause->text(), QString("Riprendi"));
            QVERIFY(window->lblPause->isVisible());
            QVERIFY(window->lblPressF4->isVisible());
            const QImage field = window->renderer().fieldImage();
            for (int y = 0; y < field.height(); y += 7)
                for (int x = 0; x < field.width(); x += 7)
                    QCOMPARE(field.pixelColor(x, y), QColor(Qt::black));
            atPause = state();
            for (Qt::Key key : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Down, Qt::Key_Escape})
                press(key);
            QVERIFY(state().paused);
            QCOMPARE(state().pieceX, atPause.pieceX);
        });
        script->at(5000, [&, this] {
            QCOMPARE(state().pieceY, atPause.pieceY); // no gravity while paused
            QCOMPARE(state().fallPixel, atPause.fallPixel);
            shortcut(Qt::Key_F4);
            QVERIFY(!state().paused);
            QCOMPARE(sounds.back(), 6);
            QVERIFY(!window->lblPause->isVisible());
            QCOMPARE(window->mnuPause->text(), QString("Pausa"));
        });
        script->at(5100, [this] { shortcut(Qt::Key_F2); });
        shortcut(Qt::Key_F2);
        QVERIFY(!hung);
    }

    void focusComesBackToPlayfieldDuringGame()
    {
        script->at(100, [this] {
            window->picPreviewBlocks->setFocus();
            QVERIFY(window->picQuadixField->hasFocus());
            shortcut(Qt::Key_F2);
        });
        shortcut(Qt::Key_F2);
        window->picPreviewBlocks->setFocus();
        QVERIFY(window->picPreviewBlocks->hasFocus()); // between games it may leave
    }

    void lostGameAsksNameAndKeepsRecord()
    {
        loseGameWith(1250, 12);
        QCOMPARE(state().stopState, 2);
        QCOMPARE(window->mnuStart->text(), QString("Via"));
        QVERIFY(window->txtEnterName->isVisible());
        QVERIFY(window->txtEnterName->isEnabled());
        QVERIFY(window->txtEnterName->hasFocus());
        QVERIFY(window->lblEnterName->isVisible());
        QVERIFY(!window->mnuStart->isEnabled());
        QVERIFY(!window->mnuHighScores->isEnabled());
        QVERIFY(state().enteringName);

        QTest::keyClicks(window->txtEnterName, "Niccol");
        window->txtEnterName->insert(QString::fromUtf8("ò")); // QTest types ASCII only
        closeRecordsWhenShown(QString::fromUtf8("Niccolò"), " 1250");
        QTest::keyClick(window->txtEnterName, Qt::Key_Return);
        QVERIFY(!window->txtEnterName->isVisible());
        QVERIFY(!state().enteringName);
        QVERIFY(window->mnuStart->isEnabled());
        QVERIFY(window->mnuHighScores->isEnabled());

        QFile file(scoresPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        // Windows-1252, CR LF, the numbers with one leading blank, 27 empty lines.
        QByteArray expected("Niccol\xF2\r\n 1250\r\n 12\r\n");
        for (int i = 0; i < 27; ++i)
            expected += "\r\n";
        QCOMPARE(file.readAll(), expected);
        file.close();

        window.reset(); // a new run reads the record back, without the leading blank
        highScores = {};
        open(scoresPath());
        QCOMPARE(highScores[0][0], QString::fromUtf8("Niccolò"));
        QCOMPARE(highScores[0][1], QString("1250"));
        QCOMPARE(highScores[0][2], QString("12"));
    }

    // A whole game from pretend gamepads alone, read by the game itself: Back
    // starts it, the D-pad and A steer the piece, Start pauses and, pressed
    // while the paused game waits, resumes it; pulling out one of two pads
    // pauses, Start on the other resumes; once the game is lost Start
    // confirms the name and A closes the records, as Enter does. The resume
    // and the records pin a game started from the pad that ran inside the
    // pad's timer, which then read nothing more until the game was over.
    void gamepadAlonePlaysAWholeGame()
    {
        window.reset();  // the pads are there before the game looks for them
        auto first = std::make_unique<VirtualPad>();
        VirtualPad second;
        QVERIFY(first->plugged() && second.plugged());
        open(scoresPath());
        QTRY_VERIFY(window->gamepad().connected());
        GameState before;
        std::function<void()> unplugAndResume = [&, this] {
            QVERIFY(!state().paused);
            QCOMPARE(sounds.back(), 6);
            first->button(SDL_CONTROLLER_BUTTON_START, false);
            first.reset();
            script->at(10, [&, this] {
                QVERIFY(state().paused);
                second.button(SDL_CONTROLLER_BUTTON_START, true);
            });
            script->at(20, [&, this] {
                QVERIFY(!state().paused);
                second.button(SDL_CONTROLLER_BUTTON_START, false);
                state().score = 900;  // left alone from here, the stack grows until the game is lost
            });
        };
        script->at(50, [&, this] {
            first->button(SDL_CONTROLLER_BUTTON_BACK, false);
            before = state();
            first->button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
        });
        script->at(60, [&, this] {
            QCOMPARE(state().pieceX, before.pieceX - 1);
            first->button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
            first->button(SDL_CONTROLLER_BUTTON_A, true);
        });
        script->at(70, [&, this] {
            QCOMPARE(state().pieceDX[1], int16_t(-before.pieceDY[1]));  // turned clockwise
            QCOMPARE(state().pieceDY[1], before.pieceDX[1]);
            first->button(SDL_CONTROLLER_BUTTON_A, false);
            first->button(SDL_CONTROLLER_BUTTON_START, true);
        });
        script->at(80, [&, this] {
            QVERIFY(state().paused);
            QCOMPARE(sounds.back(), 4);
            first->button(SDL_CONTROLLER_BUTTON_START, false);
            // Nothing more is scheduled: the paused game waits until the pad resumes it.
            QTimer::singleShot(100, this, [&, this] {
                first->button(SDL_CONTROLLER_BUTTON_START, true);
                script->at(10, unplugAndResume);
            });
        });
        first->button(SDL_CONTROLLER_BUTTON_BACK, true);
        QTRY_VERIFY(state().enteringName || hung);  // the whole game runs inside this wait
        QVERIFY(!hung);
        QVERIFY(!state().stoppedByPlayer);

        // A once the records are shown; closed by hand if A has not closed them in five seconds.
        QTimer recordsShown;
        recordsShown.setInterval(10);
        connect(&recordsShown, &QTimer::timeout, this, [&] {
            if (FrmHighScores* records = FrmHighScores::Current(); records && records->isVisible()) {
                recordsShown.stop();
                QVERIFY(records->isModal());
                second.button(SDL_CONTROLLER_BUTTON_A, true);
            }
        });
        QTimer rescue;
        bool rescued = false;
        rescue.setSingleShot(true);
        connect(&rescue, &QTimer::timeout, this, [&] {
            rescued = true;
            FrmHighScores::CloseCurrent();
        });
        recordsShown.start();
        rescue.start(5000);
        second.button(SDL_CONTROLLER_BUTTON_START, true);
        QTRY_VERIFY(!state().enteringName);  // the name confirmed, the records shown and closed
        QVERIFY(!rescued);
        QVERIFY(FrmHighScores::Current() == nullptr);
        QCOMPARE(highScores[0][0], QString("Anonimo"));
        QCOMPARE(highScores[0][1], " " + QString::number(state().score));
        QVERIFY(window->mnuStart->isEnabled());
    }

    // Start is the name box's Enter, and like Enter it counts only while the
    // box takes keys: not while the name is being saved, as a pad press
    // handed over by the event loop could come then.
    void startConfirmsTheNameOnlyWhileTheBoxTakesKeys()
    {
        loseGameWith(1250, 12);
        window->txtEnterName->setEnabled(false);
        QTimer rescue;  // closes the records if they come all the same
        rescue.setSingleShot(true);
        connect(&rescue, &QTimer::timeout, this, [] { FrmHighScores::CloseCurrent(); });
        rescue.start(1000);
        emit window->gamepad().pressed(PadButton::Start);
        QVERIFY(state().enteringName);
        QVERIFY(!QFile::exists(scoresPath()));
        window->txtEnterName->setEnabled(true);
        closeRecordsWhenShown("Anonimo", " 1250");
        emit window->gamepad().pressed(PadButton::Start);
        QVERIFY(!state().enteringName);
    }

    // A caret moving in the name box before the box has the focus makes a
    // screen reader take the box in silence, without its prompt (the caret's
    // accessibility event comes with cursorPositionChanged): for the second
    // record of a run too, when the box held the first name.
    void nameBoxCaretStillUntilFocused()
    {
        for (int record = 1; record <= 2; ++record) {
            int movedBeforeFocus = 0;
            const auto moved = connect(window->txtEnterName, &QLineEdit::cursorPositionChanged, this,
                                       [&] { movedBeforeFocus += !window->txtEnterName->hasFocus(); });
            loseGameWith(1000 * record, 1);
            QVERIFY(window->txtEnterName->hasFocus());
            QCOMPARE(movedBeforeFocus, 0);
            disconnect(moved);
            QTest::keyClicks(window->txtEnterName, "Anna");
            closeRecordsWhenShown("Anna", QString(" %1").arg(1000 * record));
            QTest::keyClick(window->txtEnterName, Qt::Key_Return);
            QVERIFY(!state().enteringName);
            window->activateWindow(); // back from the records window
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
        }
    }

    void emptyNameIsStoredAsAnonimo()
    {
        loseGameWith(40, 1);
        closeRecordsWhenShown("Anonimo", " 40");
        QTest::keyClick(window->txtEnterName, Qt::Key_Return);
        QCOMPARE(highScores[0][0], QString("Anonimo"));
    }

    void failedWriteKeepsRecordAndSaysSo()
    {
        // The place to write is below a regular file: no folder can be made there.
        QFile blocker(dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        window.reset();
        open(dir.filePath("blocker/Scores.dat"));
        loseGameWith(700, 7);
        QTest::keyClicks(window->txtEnterName, "Mario");
        closeRecordsWhenShown("Mario", " 700");
        QTest::keyClick(window->txtEnterName, Qt::Key_Return);
        QVERIFY(window->lblSaveFailed->isVisible());
        QCOMPARE(window->lblSaveFailed->text(), kSaveFailedMessage.toString());
        QCOMPARE(highScores[0][0], QString("Mario")); // kept in memory
        script->at(0, [this] {
            QVERIFY(!window->lblSaveFailed->isVisible()); // until the next game starts
            shortcut(Qt::Key_F2);
        });
        shortcut(Qt::Key_F2);
    }

    void recordJoinsTableSavedMeanwhile()
    {
        loseGameWith(700, 7);
        // Another window saves a better record while this one asks the name.
        QVERIFY(WriteHighScores(Table({"Bruno| 5000| 50"}), scoresPath()));
        closeRecordsWhenShown("Bruno", "5000"); // read back from the file
        QTest::keyClick(window->txtEnterName, Qt::Key_Return);
        QCOMPARE(ReadHighScores(scoresPath())[1][0], QString("Anonimo"));
        QVERIFY(!window->lblSaveFailed->isVisible());
    }

    void unreadableTableIsKeptAndRecordSavedAside()
    {
        // Longer than the reader takes: it cannot be read whole.
        const QByteArray unreadable = "Anna\r\n900\r\n9\r\n" + QByteArray(kMaxFileBytes, 'x');
        QFile file(scoresPath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(unreadable) == unreadable.size());
        file.close();
        window.reset();
        open(scoresPath(), dir.filePath("aside/Scores.dat"));
        loseGameWith(1250, 12);
        closeRecordsWhenShown("Anonimo", " 1250");
        QTest::keyClick(window->txtEnterName, Qt::Key_Return);
        QCOMPARE(window->lblSaveFailed->text(), kSavedAsideMessage.toString());
        QVERIFY(window->lblSaveFailed->isVisible() && file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == unreadable);
        QCOMPARE(ReadHighScores(dir.filePath("aside/Scores.dat"))[1][0], QString("Anna"));
    }

    void busyTableIsSavedAsideWhileWindowRuns()
    {
        const int folder = holdTableAndLoseGame();
        QTimer closer;
        QString shown;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (FrmHighScores* records = FrmHighScores::Current()) {
                shown = records->Label1[0]->text();
                records->cmdClose->click();
            }
        });
        closer.start(20);
        // A timer that fires before the records window shows ran during the wait.
        bool ranWhileWaiting = false;
        QTimer::singleShot(100, &closer, [&] { ranWhileWaiting = !FrmHighScores::Current(); });
        QTest::keyClick(window->txtEnterName, Qt::Key_Return);
        ::close(folder);
        QVERIFY(ranWhileWaiting);
        QCOMPARE(shown, QString("Anonimo"));
        QVERIFY(window->lblSaveFailed->isVisible());
        QCOMPARE(window->lblSaveFailed->text(), kBusyAsideMessage.toString());
        QCOMPARE(ReadHighScores(dir.filePath("aside/Scores.dat"))[0][0], QString("Anonimo"));
        QVERIFY(!QFile::exists(scoresPath()));
    }

    void closingWhileSaveWaitsOpensNoRecordsWindow()
    {
        // Pins the records window opened after the player closed the game
        // while its save waited for another game's.
        const int folder = holdTableAndLoseGame();
        bool shownAfterClose = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (FrmHighScores* records = FrmHighScores::Current()) {
                shownAfterClose = true;
                records->cmdClose->click();
            }
        });
        QTimer::singleShot(100, this, [&] {
            window->close();
            closer.start(20);
        });
        QTest::keyClick(window->txtEnterName, Qt::Key_Return);
        ::close(folder);
        QVERIFY(!shownAfterClose);
        // The name was confirmed before the close: the record is kept.
        QCOMPARE(ReadHighScores(dir.filePath("aside/Scores.dat"))[0][0], QString("Anonimo"));
    }

    void closingDuringGameEndsWithoutRecord()
    {
        script->at(500, [this] {
            state().score = 3000;
            window->close();
        });
        shortcut(Qt::Key_F2);
        QVERIFY(window->flow().abandoned());
        QCOMPARE(std::count(sounds.begin(), sounds.end(), 3), 0); // the game never ended
        QVERIFY(!window->txtEnterName->isVisible());
        QVERIFY(!QFile::exists(scoresPath()));
        QCOMPARE(clock.now, 200500u); // the loop did not run on
    }

    void soundSwitchSilencesLaterEvents()
    {
        window->mnuEffects->trigger();
        QVERIFY(!window->mnuEffects->isChecked());
        QVERIFY(!window->soundEffects().soundOn());
        script->at(0, [this] {
            for (int i = 0; i < 30; ++i)
                press(Qt::Key_Down); // a lock and a new piece
            shortcut(Qt::Key_F4);
            shortcut(Qt::Key_F4);
            shortcut(Qt::Key_F2);
        });
        shortcut(Qt::Key_F2);
        QVERIFY(sounds.empty());
        window->mnuEffects->trigger();
        QVERIFY(window->mnuEffects->isChecked());
        script->at(0, [this] { shortcut(Qt::Key_F2); });
        shortcut(Qt::Key_F2);
        QCOMPARE(sounds, (std::vector<int>{6, 3}));
    }
};

QTEST_MAIN(WindowGameTest)
#include "tst_window_game.moc"
