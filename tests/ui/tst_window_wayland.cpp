// The game on Wayland, run by tests/support/run-under-weston.sh under a
// headless weston: the window as the compositor is told about it (app id,
// size, Qt's own title bar), and a game played through it with the keys
// typed into the window, as the Wayland plugin hands them over, on the fake
// clock of the other whole-game tests. Qt must print no warning throughout.
#include <QApplication>
#include <QBackingStore>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "support/WindowRig.h"
#include "ui/FrmGame.h"
#include "ui/FrmHighScores.h"
#include "ui/PictureBox.h"
#include "ui/WindowSystem.h"

using namespace quadix;
using namespace quadix::test;

class WaylandWindowTest : public QObject, WindowRig {
    Q_OBJECT

    QTemporaryDir dir;
    qsizetype requestsBefore = 0;

    // The headless backend has no seat, so no window ever gets the keyboard
    // from it: the test hands it over where a compositor would, to a window
    // as it is mapped and back to the game when the records window closes.
    static void giveKeyboardTo(QWidget* widget) { QApplication::setActiveWindow(widget); }

    // A key typed into the main window goes wherever its focus is.
    void type(Qt::Key key) { QTest::keyClick(window->windowHandle(), key); }
    void type(const char* text)
    {
        for (; *text; ++text)
            QTest::keyClick(window->windowHandle(), *text);
    }

    // The requests sent to the compositor since this test function began, as
    // "interface@id.request(arguments)", from the protocol log.
    QStringList requestsSent() const { return allRequestsSent().mid(requestsBefore); }
    static QStringList allRequestsSent()
    {
        QFile log(qEnvironmentVariable("QUADIX_WAYLAND_LOG"));
        QStringList requests;
        if (!log.open(QIODevice::ReadOnly))
            return requests;
        static const QRegularExpression request(QStringLiteral("^\\[ *[0-9.]+\\]  -> (.+)$"),
                                                QRegularExpression::MultilineOption);
        for (const QRegularExpressionMatch& match : request.globalMatch(QString::fromUtf8(log.readAll())))
            requests << match.captured(1);
        return requests;
    }
    // Every window announces its app id once, in the order they are shown.
    static QStringList toplevels(const QStringList& requests)
    {
        QStringList objects;
        for (const QString& request : requests.filter(QStringLiteral(".set_app_id(")))
            objects << request.section(u'.', 0, 0);
        return objects;
    }

    // The pixels of the playfield in the buffer last handed to the compositor.
    QImage playfieldAsSent() const
    {
        QPaintDevice* device = window->backingStore()->paintDevice();
        if (device->devType() != QInternal::Image)
            return {};
        auto* buffer = static_cast<QImage*>(device);
        const QRect client = window->picQuadixField->clientRect();
        const QPoint at = window->picQuadixField->mapTo(window.get(), client.topLeft());
        return buffer->copy(QRect(at, client.size())).convertToFormat(QImage::Format_RGB32);
    }

private slots:
    void initTestCase()
    {
        if (!CompositorPlacesWindows())
            QSKIP("runs on Wayland only, through run-under-weston.sh");
        QVERIFY(QFile::exists(qEnvironmentVariable("QUADIX_WAYLAND_LOG")));
        QVERIFY(dir.isValid());
        NameApplication();
    }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        requestsBefore = allRequestsSent().size();
        clock.now = 200000;
        script = std::make_unique<EventScript>(clock);
        hung = false;
        makeWindow(ScoreFilePaths{dir.filePath("Scores.dat"), dir.filePath("Scores.dat")});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        giveKeyboardTo(window.get());
    }

    void cleanup()
    {
        FrmHighScores::CloseCurrent();
        window.reset();
    }

    void compositorIsToldAppIdSizeAndTitleBar()
    {
        const int menuHeight = window->menuBar()->height();
        QVERIFY(menuHeight > 0);
        QCOMPARE(window->centralWidget()->geometry(), QRect(0, menuHeight, 439, 385));
        QCOMPARE(window->windowHandle()->size(), QSize(439, 385 + menuHeight));
        QStringList menus;
        for (const QAction* menu : window->menuBar()->actions())
            menus << menu->text();
        QCOMPARE(menus, (QStringList{"GIOCO", "SUONI"}));

        const QStringList sent = requestsSent();
        const QStringList windows = toplevels(sent);
        QCOMPARE(windows.size(), 1);
        const QStringList own = sent.filter(windows[0] + u'.');
        // The desktop finds the game's entry, and with it its icon and name, by the app id.
        const QFileInfo entry(QStringLiteral(QUADIX_DESKTOP_FILE));
        QVERIFY(entry.exists());
        QVERIFY2(own.contains(windows[0] + ".set_app_id(\"" + entry.completeBaseName() + "\")"), qPrintable(own.join(u'\n')));
        // A fixed size: the client area and the menu bar, nothing to resize.
        const QString size = QStringLiteral("(439, %1)").arg(385 + menuHeight);
        QVERIFY2(own.contains(windows[0] + ".set_min_size" + size), qPrintable(own.join(u'\n')));
        QVERIFY2(own.contains(windows[0] + ".set_max_size" + size), qPrintable(own.join(u'\n')));

        // weston leaves the decoration to the client: Qt draws a title bar
        // above the menus and a border around, into the buffers it sends.
        const QMargins frame = window->windowHandle()->frameMargins();
        QVERIFY(frame.top() > frame.bottom());
        const QSize framed = window->windowHandle()->size().grownBy(frame);
        const QStringList geometry = sent.filter(QStringLiteral(".set_window_geometry("));
        QVERIFY(!geometry.isEmpty());
        QVERIFY2(geometry.last().endsWith(QStringLiteral("(0, 0, %1, %2)").arg(framed.width()).arg(framed.height())),
                 qPrintable(geometry.last()));
        const QRegularExpression buffer(QStringLiteral("create_buffer\\(new id wl_buffer@\\d+, \\d+, %1, %2, ")
                                            .arg(framed.width()).arg(framed.height()));
        QVERIFY(!sent.filter(buffer).isEmpty());
    }

    void gamePlaysThroughTheWindow()
    {
        // Every piece is sent down as soon as it may move, so that the game
        // is soon lost: each step is a buffer for the compositor.
        std::function<void()> dropNext = [&, this] {
            for (int i = 0; i < 30 && state().gameRunning; ++i)
                type(Qt::Key_Down);
            if (state().gameRunning)
                script->at(200, dropNext);
        };
        window->picPreviewBlocks->setFocus(); // between games the focus may be anywhere
        script->at(0, [&, this] {
            QCOMPARE(QApplication::focusWidget(), window->picQuadixField);
            state().score = 1250; // a record
            const int x = state().pieceX;
            type(Qt::Key_Left);
            type(Qt::Key_Left);
            type(Qt::Key_Right);
            QCOMPARE(state().pieceX, x - 1);
            dropNext();
            QCOMPARE(state().dropHeld, 1); // it lies at the bottom
            QCOMPARE(playfieldAsSent(), window->renderer().fieldImage());
        });
        type(Qt::Key_F2); // returns when the game is lost
        QVERIFY(!hung);
        QVERIFY(!state().stoppedByPlayer);
        QCOMPARE(QApplication::focusWidget(), window->txtEnterName);
        type("Wayland");

        bool recordsShown = false;
        QTimer::singleShot(50, this, [&] {
            [&] {
                FrmHighScores* records = FrmHighScores::Current();
                QVERIFY(records && records->isModal());
                QVERIFY(QTest::qWaitForWindowExposed(records));
                // It stays above the game it keeps waiting.
                const QStringList sent = requestsSent();
                const QStringList windows = toplevels(sent);
                QCOMPARE(windows.size(), 2);
                QVERIFY(sent.contains(windows[1] + ".set_parent(" + windows[0] + ")"));
                giveKeyboardTo(records);
                QCOMPARE(records->Label1[0]->text(), QString("Wayland"));
                recordsShown = true;
                QTest::keyClick(records->windowHandle(), Qt::Key_Return); // Chiudi
            }();
            if (FrmHighScores* left = FrmHighScores::Current())
                left->close(); // a failed check must not leave the game waiting
        });
        type(Qt::Key_Return); // returns when the records window is closed
        QVERIFY(recordsShown);
        QVERIFY(!FrmHighScores::Current());
        giveKeyboardTo(window.get());
        QCOMPARE(QApplication::focusWidget(), window->picQuadixField);

        // The next game takes the keys at once; then the table from the menu.
        script->at(0, [this] {
            const int x = state().pieceX;
            type(Qt::Key_Right);
            QCOMPARE(state().pieceX, x + 1);
            type(Qt::Key_F2);
        });
        type(Qt::Key_F2);
        QVERIFY(state().stoppedByPlayer);
        type(Qt::Key_F3);
        FrmHighScores* records = FrmHighScores::Current();
        QVERIFY(records && !records->isModal());
        QVERIFY(QTest::qWaitForWindowExposed(records));
        QCOMPARE(records->Label1[0]->text(), QString("Wayland"));
    }
};

QTEST_MAIN(WaylandWindowTest)
#include "tst_window_wayland.moc"
