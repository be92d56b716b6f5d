// The game as a screen reader hears it on the desktop's accessibility bus,
// run by tests/support/run-under-atspi.sh: the listener there writes what it
// hears to QUADIX_ATSPI_LOG. The window's tree as Qt's bridge shows it, then a
// game lost on the fake clock of the other whole-game tests: its messages
// read out as they appear, the name box read by its prompt as it takes the
// keys, and the score read anew when it changes.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "support/WindowRig.h"
#include "ui/FrmGame.h"
#include "ui/FrmHighScores.h"
#include "ui/PictureBox.h"

using namespace quadix;
using namespace quadix::test;
using namespace Qt::Literals::StringLiterals;

class WindowAtspiTest : public QObject, WindowRig {
    Q_OBJECT

    QTemporaryDir dir;

    // Every line the listener has written so far.
    static QStringList heard()
    {
        QFile log(qEnvironmentVariable("QUADIX_ATSPI_LOG"));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    // Waits, answering the listener's questions meanwhile, until it has heard `line`.
    static bool hears(const QString& line)
    {
        return QTest::qWaitFor([&] { return heard().contains(line); }, 10000);
    }
    static QByteArray heardInstead() { return (u"heard:\n"_s + heard().join(u'\n')).toUtf8(); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY2(qEnvironmentVariableIsSet("QUADIX_ATSPI_LOG"), "run through tests/support/run-under-atspi.sh");
        QVERIFY(heard().contains(QStringLiteral("listening")));
        clock.now = 200000;
        script = std::make_unique<EventScript>(clock);
        makeWindow(ScoreFilePaths{dir.filePath("Scores.dat"), dir.filePath("Scores.dat"), {}});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        // Qt's bridge joins the bus in the background and sends nothing
        // before it has: the keys go to the preview and back to the playfield
        // until the playfield's focus is heard.
        QElapsedTimer sincePoke;
        sincePoke.start();
        const bool focusHeard = QTest::qWaitFor([&] {
            if (heard().contains(u"object:state-changed:focused 1 canvas | Campo di gioco"_s))
                return true;
            if (sincePoke.elapsed() > 300) {
                window->picPreviewBlocks->setFocus();
                window->picQuadixField->setFocus();
                sincePoke.restart();
            }
            return false;
        }, 10000);
        QVERIFY2(focusHeard, heardInstead());
    }

    // What the bus shows of the window at the first focus heard: the
    // surfaces and counters by name, the start message, no hidden message,
    // no frame, and nothing shown without a name.
    void busShowsTheWindowNamed()
    {
        QVERIFY2(hears(u"tree end"_s), heardInstead());
        const QStringList shown = heard().filter(QRegularExpression(u"^tree "_s));
        for (const char* line : {"tree frame | Quadix | 2", "tree canvas | Campo di gioco | 0",
                                 "tree canvas | Blocchi in arrivo | 0", "tree label | Punti 0 | 0",
                                 "tree label | Linee 0 | 0", "tree label | Livello 0 | 0",
                                 "tree label | PREMI F2 PER INIZIARE UNA NUOVA PARTITA | 0"})
            QVERIFY2(shown.contains(QString::fromUtf8(line)), qPrintable(line + u"\n"_s + shown.join(u'\n')));
        QCOMPARE(shown.filter(u"LA PARTITA E' FINITA"_s), QStringList());
        QCOMPARE(shown.filter(QRegularExpression(u"^tree [^|]+\\|  \\| 0$"_s)), QStringList());
    }

    void lostGameIsReadOut()
    {
        script->at(1000, [this] {
            state().score = 1200;
            window->ShowScore(1200);
        });
        QTest::keyClick(window->windowHandle(), Qt::Key_F2);
        QVERIFY(!hung);
        QVERIFY(window->txtEnterName->hasFocus());
        for (const char* line : {
                 "object:property-change:accessible-name 0 label | Punti 1200",
                 "object:state-changed:showing 1 notification | LA PARTITA E' FINITA | "
                 "PREMI F2 PER INIZIARE UNA NUOVA PARTITA",
                 "object:state-changed:focused 1 text | Tabella dei record: scrivi il tuo nome e premi INVIO:",
             })
            QVERIFY2(hears(QString::fromUtf8(line)), heardInstead());
        // A caret moving in the box before it has the focus makes a screen
        // reader take the box as the focus silently: the prompt goes unread.
        const QString nameBox = u"text | Tabella dei record: scrivi il tuo nome e premi INVIO:"_s;
        const QStringList lines = heard();
        // One notification only: a screen reader cuts one short when the next comes.
        QCOMPARE(lines.filter(u"showing 1 notification"_s).size(), 1);
        const QStringList untilFocus = lines.mid(0, lines.indexOf(u"object:state-changed:focused 1 "_s + nameBox));
        QCOMPARE(untilFocus.filter(u"object:text-caret-moved"_s), QStringList());

        // With a listener on the bus, Qt's bridge hands every key to the
        // screen reader first and delivers it when the reader lets it pass:
        // the name arrives through the event loop, and so does Enter.
        QTimer closeRecords;
        connect(&closeRecords, &QTimer::timeout, this, [] {
            if (FrmHighScores* records = FrmHighScores::Current(); records && records->isModal())
                records->cmdClose->click();
        });
        closeRecords.start(20);
        QTest::keyClicks(window->txtEnterName, "Anna");
        QTest::keyClick(window->txtEnterName, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!state().enteringName, 10000);
        QCOMPARE(highScores[0][0], u"Anna"_s);
    }

    void cleanupTestCase()
    {
        FrmHighScores::CloseCurrent();
        window.reset();
    }
};

QTEST_MAIN(WindowAtspiTest)
#include "tst_window_atspi.moc"
