// The main window as the player first sees it: where every control sits,
// how it looks, the menus and their shortcuts, where keys, pad buttons and
// focus go, and the README's table of them.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <map>
#include <memory>

#include "sdl/SdlLibrary.h"
#include "support/AccessibleTree.h"
#include "ui/Bindings.h"
#include "ui/FrmGame.h"
#include "ui/FrmHighScores.h"
#include "ui/PictureBox.h"
#include "ui/WindowSystem.h"

using quadix::test::LabelledBy;
using quadix::test::ReadingReached;
using quadix::test::RoleAndName;
using quadix::test::ShownWithoutName;
using namespace quadix;

Q_DECLARE_METATYPE(quadix::PadButton)

namespace {

// The README's table of keys as the two tables make it: a row for each
// command where it is given, naming its keys and its pad buttons.
struct KeysRow {
    PadContext context;
    Command command;
    const char* what;
};
constexpr KeysRow kKeysRows[] = {
    {PadContext::MainWindow, Command::ShiftLeft, "shift the piece left"},
    {PadContext::MainWindow, Command::ShiftRight, "shift the piece right"},
    {PadContext::MainWindow, Command::TurnClockwise, "turn clockwise"},
    {PadContext::MainWindow, Command::TurnCounterClockwise, "turn counter-clockwise"},
    {PadContext::MainWindow, Command::StepDown, "step down one row (locks the piece when it cannot go on)"},
    {PadContext::MainWindow, Command::Pause, "pause"},
    {PadContext::MainWindow, Command::PauseResume, "pause, or resume"},
    {PadContext::MainWindow, Command::StartStop, "new game, or stop the running one"},
    {PadContext::MainWindow, Command::ShowRecords, "table of records (between games)"},
    {PadContext::MainWindow, Command::ShowHelp, "instructions (between games)"},
    {PadContext::NameBox, Command::Confirm, "confirm the name"},
    {PadContext::SmallWindow, Command::Confirm, "close it"},
    {PadContext::SmallWindow, Command::Close, "close it"},
};

QString keyName(Qt::Key key)
{
    const std::map<Qt::Key, QString> names = {{Qt::Key_Left, "Left arrow"}, {Qt::Key_Right, "Right arrow"},
                                              {Qt::Key_Up, "Up arrow"}, {Qt::Key_Down, "Down arrow"},
                                              {Qt::Key_Control, "Ctrl"}, {Qt::Key_Insert, "Insert"},
                                              {Qt::Key_Escape, "Esc"}};
    return names.count(key) ? names.at(key) : QKeySequence(key).toString();
}

QString buttonName(PadButton button)
{
    const QString names[] = {"D-pad or left stick left", "D-pad or left stick right", "D-pad or left stick down",
                             "A (south button)", "B (east button)", "Start", "Back / Select"};
    return names[int(button)];
}

QString keysTable()
{
    QStringList lines{"| Key | Gamepad | What it does |", "|---|---|---|"};
    for (const KeysRow& row : kKeysRows) {
        QStringList keys;
        QStringList buttons;
        if (row.context == PadContext::MainWindow) {
            for (const KeyBinding& binding : KeyBindings())
                if (binding.command == row.command)
                    keys << keyName(binding.key);
        } else {
            // The name box and the small windows answer these keys by themselves.
            keys << (row.command == Command::Close ? "Esc" : "Enter");
            keys.last() += row.context == PadContext::NameBox ? ", in the name box"
                                                              : ", in the records or instructions window";
        }
        for (const PadBinding& binding : PadBindings())
            if (binding.context == row.context && binding.command == row.command)
                buttons << buttonName(binding.button);
        const QStringList cells{keys.join(" or "), buttons.join(" or "), row.what};
        QString line = "| " + cells.join(" | ") + " |";
        lines << line.replace("|  |", "| |");
    }
    return lines.join('\n');
}

} // namespace

class FrmGameTest : public QObject {
    Q_OBJECT
    std::unique_ptr<FrmGame> window;

    template <typename T = QWidget>
    T* find(const QString& name) const { return window->findChild<T*>(name); }
    void showActive()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), window->picQuadixField);
    }
    // Key presses that reached the playfield with this key.
    static int pressesOf(const QSignalSpy& spy, int key)
    {
        return int(std::count_if(spy.cbegin(), spy.cend(), [key](const auto& args) { return args[0].toInt() == key; }));
    }

private slots:
    void init() { window = std::make_unique<FrmGame>(); }
    void cleanup()
    {
        FrmHighScores::CloseCurrent();
        window.reset();
    }

    void windowIsFixedCentredAndTitled()
    {
        showActive();
        QCOMPARE(window->centralWidget()->geometry(), QRect(0, window->menuBar()->height(), 439, 385));
        QCOMPARE(window->minimumSize(), QSize(439, 385 + window->menuBar()->height()));
        QCOMPARE(window->maximumSize(), window->minimumSize());
        QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        const QPoint offCentre = window->frameGeometry().center() - window->screen()->availableGeometry().center();
        QVERIFY(offCentre.manhattanLength() <= 2);
        QCOMPARE(window->windowTitle(), QStringLiteral("Quadix"));
        QVERIFY(window->windowIcon().availableSizes().contains(QSize(32, 32)));
        const QImage client = window->centralWidget()->grab().toImage();
        QCOMPARE(client.pixelColor(300, 150), QColor(192, 192, 192));
        QCOMPARE(client.pixelColor(10, 121), QColor(Qt::black));     // Shape2's corner
        QCOMPARE(client.pixelColor(11, 122), QColor(192, 192, 192)); // and its see-through inside
        QCOMPARE(client.pixelColor(429, 377), QColor(Qt::black));    // Shape1's corner
    }

    void controlsSitWhereDesigned_data()
    {
        // Self-sizing labels keep the designed left and top and height; the
        // stand-in face is up to 8 pixels narrower than the designed one.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("designed");
        QTest::addColumn<bool>("selfSizing");
        QTest::addColumn<bool>("visible");
        const auto row = [](const char* name, QRect r, bool selfSizing, bool visible) {
            QTest::newRow(name) << QString::fromLatin1(name) << r << selfSizing << visible;
        };
        row("Picture1", {11, 59, 126, 21}, false, false);
        row("txtEnterName", {299, 176, 140, 27}, false, false);
        row("picPreviewBlocks", {106, 9, 49, 97}, false, true);
        row("picQuadixField", {155, 9, 145, 369}, false, true);
        row("Shape2", {10, 121, 131, 110}, false, true);
        row("Shape1", {309, 232, 121, 146}, false, true);
        row("lblNewGame", {299, 10, 140, 55}, false, true);
        row("lblGameOver", {7, 260, 140, 56}, false, false);
        row("lblEnterName", {298, 123, 142, 52}, false, false);
        row("lblPressF4", {299, 45, 140, 50}, false, false);
        row("lblPause", {300, 9, 140, 42}, false, false);
        row("Label1", {5, 8, 98, 13}, true, true);
        row("Label6", {334, 317, 73, 23}, true, true);
        row("Label5", {339, 242, 61, 23}, true, true);
        row("Label4", {26, 126, 97, 38}, true, true);
        row("LabelLevel", {364, 347, 15, 23}, true, true);
        row("LabelLines", {364, 272, 15, 23}, true, true);
        row("LabelScore", {61, 183, 25, 38}, true, true);
    }
    void controlsSitWhereDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QRect, designed);
        QFETCH(bool, selfSizing);
        QFETCH(bool, visible);
        showActive();
        const QWidget* widget = find(name);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->isVisible(), visible);
        if (!selfSizing) {
            QCOMPARE(widget->geometry(), designed);
            return;
        }
        QCOMPARE(widget->pos(), designed.topLeft());
        QCOMPARE(widget->height(), designed.height());
        QVERIFY2(widget->width() <= designed.width() && widget->width() >= designed.width() - 8,
                 qPrintable(QString::number(widget->width())));
    }

    void labelsReadAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("colour");
        const QColor navy(0, 0, 128), green(0, 128, 0), maroon(128, 0, 0), black(0, 0, 0);
        QTest::newRow("lblNewGame") << "lblNewGame" << "PREMI F2 PER INIZIARE UNA NUOVA PARTITA" << 13 << true << navy;
        QTest::newRow("lblGameOver") << "lblGameOver" << "LA PARTITA E' FINITA" << 21 << true << navy;
        QTest::newRow("lblEnterName") << "lblEnterName" << "Tabella dei record: scrivi il tuo nome e premi INVIO:"
                                      << 13 << true << black;
        QTest::newRow("lblPressF4") << "lblPressF4" << "PREMI F4 PER RIPRENDERE IL GIOCO" << 13 << true << green;
        QTest::newRow("lblPause") << "lblPause" << "PAUSA" << 24 << true << green;
        QTest::newRow("Label1") << "Label1" << "Blocchi in arrivo:" << 11 << false << black;
        QTest::newRow("Label2") << "Label2" << "www.quadix.example" << 11 << false << black;
        QTest::newRow("Label6") << "Label6" << "Livello" << 19 << true << maroon;
        QTest::newRow("Label5") << "Label5" << "Linee" << 19 << true << maroon;
        QTest::newRow("Label4") << "Label4" << "Punti" << 32 << true << maroon;
        QTest::newRow("LabelLevel") << "LabelLevel" << "0" << 19 << true << maroon;
        QTest::newRow("LabelLines") << "LabelLines" << "0" << 19 << true << maroon;
        QTest::newRow("LabelScore") << "LabelScore" << "0" << 32 << true << maroon;
    }
    void labelsReadAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        QFETCH(QColor, colour);
        const QLabel* label = find<QLabel>(name);
        QCOMPARE(label->text(), text);
        QCOMPARE(QFontInfo(label->font()).pixelSize(), pixelSize);
        QCOMPARE(label->font().bold(), bold);
        QCOMPARE(label->palette().color(QPalette::WindowText), colour);
        QVERIFY(!label->autoFillBackground());
        QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        // Every text fits its box, the messages broken into lines at spaces.
        if (name.startsWith(QLatin1String("lbl")))
            QVERIFY(label->wordWrap() && label->heightForWidth(label->width()) <= label->height());
        else
            QVERIFY(label->width() >= label->sizeHint().width());
    }

    void nameBoxIsHiddenWhiteOnGrey()
    {
        const QLineEdit* box = window->txtEnterName;
        QVERIFY(box->isHidden() && !box->isEnabled());
        QCOMPARE(QFontInfo(box->font()).pixelSize(), 16);
        QVERIFY(box->font().bold());
        QCOMPARE(box->palette().color(QPalette::Base), QColor(192, 192, 192));
        QCOMPARE(box->palette().color(QPalette::Text), QColor(255, 255, 255));
        QCOMPARE(window->Picture1->pixmap().size(), QSize(126, 21));
    }

    void numbersGrowToTheRight()
    {
        const QRect score = window->LabelScore->geometry();
        const QRect lines = window->LabelLines->geometry();
        window->ShowScore(2147483647);
        window->ShowLines(32767);
        window->ShowLevel(12);
        QCOMPARE(window->LabelScore->text(), QStringLiteral("2147483647"));
        QCOMPARE(window->LabelLines->text(), QStringLiteral("32767"));
        QCOMPARE(window->LabelLevel->text(), QStringLiteral("12"));
        QCOMPARE(window->LabelScore->pos(), score.topLeft());
        QCOMPARE(window->LabelScore->height(), score.height());
        QVERIFY(window->LabelScore->width() >= 9 * score.width());
        QVERIFY(window->LabelLines->width() >= 4 * lines.width());
        QVERIFY(window->LabelLevel->width() >= window->LabelLevel->sizeHint().width());
        window->ShowScore(0);
        QCOMPARE(window->LabelScore->geometry(), score);
    }

    // The window as a screen reader reads it, counters set: each control's
    // role, what it is read as, whether it is showing, which label names it
    // and what is read after its name. Role -1: never met, as a frame drawn
    // for the look alone. One notification at a time, as a screen reader cuts
    // a notification short when the next one comes: a message that always
    // comes with another is read as that one's description.
    void readsToAScreenReader_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("reads");
        QTest::addColumn<bool>("showing");
        QTest::addColumn<QString>("labelledBy");
        QTest::addColumn<QString>("description");
        const auto row = [](const char* name, int role, const QString& reads, bool showing,
                            const QString& labelledBy = {}, const QString& description = {}) {
            QTest::newRow(name) << QString::fromLatin1(name) << role << reads << showing << labelledBy << description;
        };
        const QString prompt = QStringLiteral("Tabella dei record: scrivi il tuo nome e premi INVIO:");
        row("picQuadixField", QAccessible::Canvas, "Campo di gioco", true);
        row("picPreviewBlocks", QAccessible::Canvas, "Blocchi in arrivo", true, "Label1");
        row("LabelScore", QAccessible::StaticText, "Punti 1200", true, "Label4");
        row("LabelLines", QAccessible::StaticText, "Linee 32767", true, "Label5");
        row("LabelLevel", QAccessible::StaticText, "Livello 12", true, "Label6");
        row("Label4", QAccessible::StaticText, "Punti", true);
        row("txtEnterName", QAccessible::EditableText, prompt, false, "lblEnterName");
        row("lblEnterName", QAccessible::StaticText, prompt, false);
        const QString newGame = QStringLiteral("PREMI F2 PER INIZIARE UNA NUOVA PARTITA");
        const QString pressF4 = QStringLiteral("PREMI F4 PER RIPRENDERE IL GIOCO");
        row("lblNewGame", QAccessible::StaticText, newGame, true);
        row("lblGameOver", QAccessible::Notification, "LA PARTITA E' FINITA", false, {}, newGame);
        row("lblPause", QAccessible::Notification, "PAUSA", false, {}, pressF4);
        row("lblPressF4", QAccessible::StaticText, pressF4, false);
        row("lblSaveFailed", QAccessible::Notification, quadix::kSaveFailedMessage.toString(), false);
        row("Shape1", -1, {}, true);
        row("Shape2", -1, {}, true);
    }
    void readsToAScreenReader()
    {
        QFETCH(QString, name);
        QFETCH(int, role);
        QFETCH(QString, reads);
        QFETCH(bool, showing);
        QFETCH(QString, labelledBy);
        QFETCH(QString, description);
        showActive();
        window->ShowScore(1200);
        window->ShowLines(32767);
        window->ShowLevel(12);
        QAccessibleInterface* reading = ReadingReached(window.get(), find(name));
        QCOMPARE(RoleAndName(reading), std::pair(role, reads));
        if (reading != nullptr) {
            QCOMPARE(!reading->state().invisible, showing);
            QCOMPARE(LabelledBy(reading), labelledBy);
            QCOMPARE(reading->text(QAccessible::Description), description);
        }
    }

    void everyShownControlHasAName()
    {
        showActive();
        window->lblEnterName->show();
        window->txtEnterName->show();
        QCOMPARE(ShownWithoutName(window.get()), QStringList());
    }

    void menuItemsStartInTheirStates_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("checked");
        QTest::newRow("mnuStart") << "mnuStart" << "Nuova partita" << QKeySequence(Qt::Key_F2) << true << false;
        QTest::newRow("mnuPause") << "mnuPause" << "Pausa" << QKeySequence(Qt::Key_F4) << false << false;
        QTest::newRow("mnuHighScores") << "mnuHighScores" << "Tabella dei Record" << QKeySequence(Qt::Key_F3) << true
                                       << false;
        QTest::newRow("mnuHelp") << "mnuHelp" << "Istruzioni" << QKeySequence(Qt::Key_F1) << true << false;
        QTest::newRow("mnuExit") << "mnuExit" << "Esci" << QKeySequence() << true << false;
        QTest::newRow("mnuEffects") << "mnuEffects" << "Effetti Sonori" << QKeySequence() << true << true;
        // Hidden for good, which also leaves it disabled.
        QTest::newRow("mnuMusic") << "mnuMusic" << "Musica" << QKeySequence(Qt::CTRL | Qt::Key_M) << false << true;
    }
    void menuItemsStartInTheirStates()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QKeySequence, shortcut);
        QFETCH(bool, enabled);
        QFETCH(bool, checked);
        const QAction* action = find<QAction>(name);
        QCOMPARE(action->text(), text);
        QCOMPARE(action->shortcut(), shortcut);
        QCOMPARE(action->isEnabled(), enabled);
        QCOMPARE(action->isChecked(), checked);
        QCOMPARE(action->isVisible(), name != QLatin1String("mnuMusic"));
        QCOMPARE(window->menuBar()->actions().size(), 2);
        QCOMPARE(window->Game->title() + window->SoundM->title(), QStringLiteral("GIOCOSUONI"));
        QVERIFY(window->Game->actions().contains(action) != window->SoundM->actions().contains(action));
    }

    void shortcutsFireFromThePlayfield_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("pauseEnabled");
        QTest::addColumn<bool>("fires");
        QTest::newRow("F2") << int(Qt::Key_F2) << 0 << "mnuStart" << false << true;
        QTest::newRow("F3") << int(Qt::Key_F3) << 0 << "mnuHighScores" << false << true;
        QTest::newRow("F1") << int(Qt::Key_F1) << 0 << "mnuHelp" << false << true;
        QTest::newRow("F4 greyed") << int(Qt::Key_F4) << 0 << "mnuPause" << false << false;
        QTest::newRow("F4 in a game") << int(Qt::Key_F4) << 0 << "mnuPause" << true << true;
        QTest::newRow("Ctrl+M") << int(Qt::Key_M) << int(Qt::ControlModifier) << "mnuMusic" << false << false;
    }
    void shortcutsFireFromThePlayfield()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, item);
        QFETCH(bool, pauseEnabled);
        QFETCH(bool, fires);
        showActive();
        window->mnuPause->setEnabled(pauseEnabled);
        QSignalSpy triggered(find<QAction>(item), &QAction::triggered);
        QSignalSpy keys(window->picQuadixField, &PictureBox::keyDown);
        // F2 starts a real game and F1 opens the modal instructions: end both.
        QTimer::singleShot(50, window.get(), [this] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
            if (window->game().state.gameRunning)
                window->flow().mnuStart_Click();
        });
        QTest::keyClick(window->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(triggered.count(), fires ? 1 : 0);
        QCOMPARE(pressesOf(keys, key), fires ? 0 : 1);  // a dead shortcut's key goes to the game
    }

    void gameKeysReachThePlayfield_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        for (int key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Insert, Qt::Key_Escape})
            QTest::addRow("%s", qPrintable(QKeySequence(key).toString())) << key << 0;
        QTest::newRow("Ctrl alone") << int(Qt::Key_Control) << 0;
        QTest::newRow("Shift+Right") << int(Qt::Key_Right) << int(Qt::ShiftModifier);
    }
    void gameKeysReachThePlayfield()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        showActive();
        QSignalSpy keys(window->picQuadixField, &PictureBox::keyDown);
        QTest::keyClick(window->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(pressesOf(keys, key), 1);
        QCOMPARE(int(keys.last()[1].value<Qt::KeyboardModifiers>() & modifiers), modifiers);
        QCOMPARE(QApplication::focusWidget(), window->picQuadixField);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(window->picQuadixField, &repeat);
        QVERIFY(repeat.isAccepted());
        QCOMPARE(keys.last()[0].toInt(), int(Qt::Key_Down));
    }

    void tabMovesAlongTheTabOrder_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("nameEntry");
        QTest::addColumn<QString>("to");
        QTest::newRow("playfield, preview") << "picQuadixField" << false << "picPreviewBlocks";
        QTest::newRow("preview, playfield") << "picPreviewBlocks" << false << "picQuadixField";
        QTest::newRow("preview, name box") << "picPreviewBlocks" << true << "txtEnterName";
        QTest::newRow("name box, playfield") << "txtEnterName" << true << "picQuadixField";
    }
    void tabMovesAlongTheTabOrder()
    {
        QFETCH(QString, from);
        QFETCH(bool, nameEntry);
        QFETCH(QString, to);
        showActive();
        window->txtEnterName->setVisible(nameEntry);
        window->txtEnterName->setEnabled(nameEntry);
        find(from)->setFocus();
        QSignalSpy keys(window->picQuadixField, &PictureBox::keyDown);
        QSignalSpy lost(window->picQuadixField, &PictureBox::focusLost);
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), find(to));
        QCOMPARE(keys.count(), 0);
        QCOMPARE(lost.count(), from == QLatin1String("picQuadixField") ? 1 : 0);
    }

    // Coming back to the window hands the keys to the playfield, unless a
    // name is being asked: then the player goes on typing in the name box.
    void comingBackGivesTheKeysTheirPlace_data()
    {
        QTest::addColumn<bool>("askingName");
        QTest::addColumn<QString>("to");
        QTest::newRow("between games") << false << "picQuadixField";
        QTest::newRow("name being asked") << true << "txtEnterName";
    }

    void comingBackGivesTheKeysTheirPlace()
    {
        QFETCH(bool, askingName);
        QFETCH(QString, to);
        showActive();
        window->txtEnterName->setVisible(true);
        window->txtEnterName->setEnabled(true);
        window->game().state.enteringName = askingName;
        window->picPreviewBlocks->setFocus();
        QWidget other;  // as another program or the records window comes and goes
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        other.close();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), find(to));
        window->game().state.enteringName = false;
    }

    // The table in the README is the one the bindings make, and has a row for
    // every binding.
    void readmeTellsTheKeysAndButtonsAsBound()
    {
        const auto hasRow = [](PadContext context, Command command) {
            return std::any_of(std::begin(kKeysRows), std::end(kKeysRows),
                               [&](const KeysRow& row) { return row.context == context && row.command == command; });
        };
        for (const KeyBinding& binding : KeyBindings())
            QVERIFY2(hasRow(PadContext::MainWindow, binding.command), qPrintable(keyName(binding.key)));
        for (const PadBinding& binding : PadBindings())
            QVERIFY2(hasRow(binding.context, binding.command), qPrintable(buttonName(binding.button)));
        QFile readme(QStringLiteral(QUADIX_README));
        QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString text = QString::fromUtf8(readme.readAll());
        const qsizetype start = text.indexOf("| Key | Gamepad |");
        const qsizetype end = text.indexOf("\n\n", start);
        QVERIFY(start >= 0 && end > start);
        const QString expected = keysTable();
        QVERIFY2(text.mid(start, end - start) == expected, qPrintable("the README's keys should read:\n" + expected));
    }

    // In a small window in front, A and B are its Enter and Esc, and Start
    // and Back do nothing.
    void padAnswersTheWindowInFront_data()
    {
        QTest::addColumn<PadButton>("button");
        QTest::addColumn<bool>("closes");
        QTest::newRow("A") << PadButton::A << true;
        QTest::newRow("B") << PadButton::B << true;
        QTest::newRow("Start") << PadButton::Start << false;
        QTest::newRow("Back") << PadButton::Back << false;
    }
    void padAnswersTheWindowInFront()
    {
        QFETCH(PadButton, button);
        QFETCH(bool, closes);
        showActive();
        window->mnuHighScores->trigger();
        QPointer<FrmHighScores> records = FrmHighScores::Current();
        QVERIFY(records && QTest::qWaitForWindowActive(records));
        emit window->gamepad().pressed(button);
        QCOMPARE(records && records->isVisible(), !closes);
        QVERIFY(!window->game().state.gameRunning);
    }

    // The pad is heard only while one of the game's windows has the
    // keyboard, as the keys are: a Back pressed for another program, or
    // handed over once the window was closed, started a game unseen.
    void padIsHeardOnlyWhileTheGameHasTheKeyboard_data()
    {
        QTest::addColumn<bool>("closed");
        QTest::newRow("another program in front") << false;
        QTest::newRow("window closed") << true;
    }
    void padIsHeardOnlyWhileTheGameHasTheKeyboard()
    {
        QFETCH(bool, closed);
        showActive();
        if (closed)
            window->close();
        else
            QApplication::setActiveWindow(nullptr);
        QSignalSpy started(window->mnuStart, &QAction::triggered);
        QTimer::singleShot(50, window.get(), [this] {
            if (window->game().state.gameRunning)
                window->flow().mnuStart_Click();
        });
        emit window->gamepad().pressed(PadButton::Back);
        QCOMPARE(started.count(), 0);
    }

    // Regression: the gamepad let go of SDL's events while the sound thread
    // could still be starting or stopping SDL's audio, which posts its device
    // events there; SDL's event lock, destroyed under that thread, left it
    // waiting for ever, or worse, as the game exited.
    void soundHasStoppedWhenTheGamepadLetsGoOfSdl()
    {
        if (!window->gamepad().start())
            QSKIP("SDL2 is not installed");
        window->soundEffects().PlaySoundEffect(3);   // a second and a half
        window->soundEffects().settle();
        if (!window->soundEffects().hasDevice())
            QSKIP("no sound device here");
        bool audioRunning = true;
        connect(&window->gamepad(), &QObject::destroyed,
                [&] { audioRunning = sdl::Load()->SDL_GetCurrentAudioDriver() != nullptr; });
        window.reset();
        QVERIFY(!audioRunning);
    }

    void exitClosesTheWindow()
    {
        showActive();
        window->mnuExit->trigger();
        QVERIFY(!window->isVisible());
    }

    // Qt turns X11's shared memory off whenever QT_XCB_NO_MITSHM is set at
    // all, so a player's 0 must leave it unset (it stayed set, as "0").
    void playersSharedMemorySettingIsHonoured_data()
    {
        QTest::addColumn<QByteArray>("player"); // null: not set
        QTest::addColumn<QByteArray>("afterwards");
        QTest::newRow("not set: off, as the game wants") << QByteArray() << QByteArray("1");
        QTest::newRow("0: on") << QByteArray("0") << QByteArray();
        QTest::newRow("not a number: as Qt reads it, off") << QByteArray("yes") << QByteArray("yes");
    }
    void playersSharedMemorySettingIsHonoured()
    {
        QFETCH(QByteArray, player);
        QFETCH(QByteArray, afterwards);
        player.isNull() ? qunsetenv("QT_XCB_NO_MITSHM") : qputenv("QT_XCB_NO_MITSHM", player);
        quadix::PrepareWindowSystem(); // the offscreen platform of this test never reads it
        QCOMPARE(qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"), !afterwards.isNull());
        QCOMPARE(qgetenv("QT_XCB_NO_MITSHM"), afterwards);
    }
};

QTEST_MAIN(FrmGameTest)
#include "tst_frmgame.moc"
