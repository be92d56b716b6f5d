// The records window and the instructions window: their design, their texts,
// the keys that close them, and how the records window is shown from the menu
// and after a name entry.
#include "ui/FrmHelp.h"
#include "ui/FrmHighScores.h"

#include <QApplication>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "support/AccessibleTree.h"
#include "support/TableText.h"
#include <QTextLayout>
#include <QTimer>
#include <functional>

using namespace quadix;
using quadix::test::ReadingReached;
using quadix::test::RoleAndName;
using quadix::test::ShownWithoutName;
using quadix::test::Table;
using namespace Qt::Literals::StringLiterals;

namespace {

QStringList Shown(const FrmHighScores& window)
{
    QStringList rows;
    for (int i = 0; i < kPlaces; ++i) {
        rows << window.Label4[i]->text() + u' ' + window.Label1[i]->text() + u'|'
                    + window.Label2[i]->text() + u'|' + window.Label3[i]->text();
    }
    return rows;
}

QList<FrmHighScores*> RecordsWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<FrmHighScores*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<FrmHighScores*>(widget))
            windows << window;
    }
    return windows;
}

QWidget* Control(FrmHighScores& window, const QString& name)
{
    const int open = name.indexOf(u'(');
    const int index = open < 0 ? 0 : name.mid(open + 1, name.size() - open - 2).toInt();
    const QString array = name.left(open);
    if (array == u"Label1") return window.Label1[index];
    if (array == u"Label2") return window.Label2[index];
    if (array == u"Label3") return window.Label3[index];
    if (array == u"Label4") return window.Label4[index];
    if (name == u"Label5") return window.Label5;
    if (name == u"Label6") return window.Label6;
    if (name == u"Label7") return window.Label7;
    if (name == u"Line1") return window.Line1;
    if (name == u"cmdClose") return window.cmdClose;
    return nullptr;
}

// Shows a modal window with `show`, calls `inside` on it from within its
// event loop, then presses `key` on its focused control. A window that the
// key does not close is closed after five seconds, so no test can hang.
void RunModal(const std::function<void()>& show, const std::function<void(QWidget*)>& inside,
              Qt::Key key)
{
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll.stop();
        inside(modal);
        QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, key);
    });
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    poll.start();
    rescue.start(5000);
    show();
}

QColor Background(const QWidget* widget)
{
    return widget->palette().color(QPalette::Window);
}

QColor TextColour(const QWidget* widget)
{
    return widget->palette().color(QPalette::WindowText);
}

QImage IconImage(const QWidget* window)
{
    return window->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool HasNoMinMaxBoxes(const QWidget* window)
{
    const Qt::WindowFlags flags = window->windowFlags();
    return !(flags & Qt::WindowMinimizeButtonHint) && !(flags & Qt::WindowMaximizeButtonHint)
        && window->minimumSize() == window->maximumSize();
}

bool LooksLikeVerdana(const QFont& font, int pixels, bool bold)
{
    return font.families().value(0) == u"Verdana" && font.families().contains(u"DejaVu Sans"_s)
        && font.pixelSize() == pixels && font.bold() == bold
        && QFontInfo(font).family() != QString();
}

// The lines a text takes when broken at spaces to the given width.
int WrappedLines(const QFont& font, int width, const QString& text)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        ++lines;
    }
    layout.endLayout();
    return lines;
}

const QStringList kActions = {
    u"Per spostare un blocco a sinistra:"_s, u"Per spostare un blocco a destra:"_s,
    u"Caduta veloce di un blocco:"_s, u"Per ruotare un blocco:"_s, QString(), u"Pausa:"_s,
    u"Riprendi dopo la pausa:"_s, u"Nuova partita / Stop:"_s, QString(), u"Tabella dei Record:"_s,
};
const QStringList kKeys = {
    u"Freccia sinistra"_s, u"Freccia destra"_s, u"Freccia giù"_s, u"Freccia su o CTRL"_s,
    QString(), u"F4 o ESC"_s, u"F4"_s, u"F2"_s, QString(), u"F3"_s,
};

} // namespace

class TestRecordsWindows : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void recordsWindowHasItsDesign();
    void recordsControlsSitWhereDrawn_data();
    void recordsControlsSitWhereDrawn();
    void recordsFontsAreVerdanaInPixels();
    void recordsRuleIsTwoPixelsOfBlue();
    void recordsShowTableAsStored();
    void recordsNumbersAndHeadingsFit();
    void recordsCloseOnKey_data();
    void recordsCloseOnKey();
    void menuOpeningIsModelessAndSingle();
    void reopeningRightAfterCloseGivesLiveWindow();
    void recordsWindowCentredOnScreen();
    void nameEntryShowsModalAndWaits();
    void nameEntryTurnsMenuWindowModal();
    void recordsReadToAScreenReader_data();
    void recordsReadToAScreenReader();
    void recordsShownAllNamed();

    void helpWindowHasItsDesign();
    void helpTextsAreTheTenLines();
    void helpLinesFitTheirLabels();
    void helpReadsEachActionWithItsKey();
    void helpClosesOnKeyAndReopensAlike_data();
    void helpClosesOnKeyAndReopensAlike();
    void helpCentredOnOwner();

    void saveFailedMessageFitsMessageColumn_data();
    void saveFailedMessageFitsMessageColumn();
};

void TestRecordsWindows::cleanup()
{
    FrmHighScores::CloseCurrent();
    QTRY_VERIFY(RecordsWindows().isEmpty());
}

void TestRecordsWindows::recordsWindowHasItsDesign()
{
    FrmHighScores window;
    QCOMPARE(window.windowTitle(), u"Tabella dei Record"_s);
    QCOMPARE(window.size(), QSize(320, 297));
    QVERIFY(HasNoMinMaxBoxes(&window));
    QCOMPARE(Background(&window), QColor(224, 224, 224));
    QVERIFY(window.autoFillBackground());
    QCOMPARE(IconImage(&window), QImage(u":/icons/quadix-32.png"_s).convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(window.cmdClose->text(), u"Chiudi"_s);
    QVERIFY(window.cmdClose->isDefault());
}

void TestRecordsWindows::recordsControlsSitWhereDrawn_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QString>("text");

    const QColor blue(0, 0, 192);
    const QColor red(128, 0, 0);
    const int left = Qt::AlignLeft;
    const int right = Qt::AlignRight;
    QTest::newRow("Label5") << "Label5" << QRect(37, 6, 121, 17) << left << blue << "Nome";
    QTest::newRow("Label6") << "Label6" << QRect(157, 6, 89, 17) << right << blue << "Punti";
    QTest::newRow("Label7") << "Label7" << QRect(245, 6, 65, 17) << right << blue << "Linee";
    QTest::newRow("Label4(0)") << "Label4(0)" << QRect(5, 33, 25, 17) << right << blue << "1.";
    QTest::newRow("Label4(9)") << "Label4(9)" << QRect(5, 249, 25, 17) << right << blue << "10.";
    QTest::newRow("Label1(0)") << "Label1(0)" << QRect(37, 33, 121, 17) << left << red << "";
    QTest::newRow("Label2(4)") << "Label2(4)" << QRect(157, 129, 89, 17) << right << red << "";
    QTest::newRow("Label3(9)") << "Label3(9)" << QRect(245, 249, 65, 17) << right << red << "";
    QTest::newRow("Line1") << "Line1" << QRect(6, 24, 305, 2) << 0 << QColor() << "";
    QTest::newRow("cmdClose") << "cmdClose" << QRect(235, 268, 81, 25) << 0 << QColor() << "Chiudi";
}

void TestRecordsWindows::recordsControlsSitWhereDrawn()
{
    QFETCH(QString, control);
    QFETCH(QRect, geometry);
    QFETCH(int, alignment);
    QFETCH(QColor, colour);
    QFETCH(QString, text);

    FrmHighScores window;
    QWidget* widget = Control(window, control);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(int(label->alignment() & Qt::AlignHorizontal_Mask), alignment);
        QCOMPARE(TextColour(label), colour);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), text);
    }
}

void TestRecordsWindows::recordsFontsAreVerdanaInPixels()
{
    FrmHighScores window;
    const QList<QLabel*> labels = window.findChildren<QLabel*>();
    QCOMPARE(labels.size(), 43);
    for (QLabel* label : labels)
        QVERIFY2(LooksLikeVerdana(label->font(), 13, true), qPrintable(label->text()));
    QVERIFY(LooksLikeVerdana(window.cmdClose->font(), 11, false));
}

void TestRecordsWindows::recordsRuleIsTwoPixelsOfBlue()
{
    FrmHighScores window;
    const QImage image = window.grab().toImage();
    const QColor blue(0, 0, 192);
    const QColor grey(224, 224, 224);
    for (int x : {6, 150, 310}) {
        QCOMPARE(image.pixelColor(x, 24), blue);
        QCOMPARE(image.pixelColor(x, 25), blue);
        QCOMPARE(image.pixelColor(x, 23), grey);
        QCOMPARE(image.pixelColor(x, 26), grey);
    }
    QCOMPARE(image.pixelColor(5, 25), grey);
    QCOMPARE(image.pixelColor(311, 25), grey);
}

void TestRecordsWindows::recordsShowTableAsStored()
{
    HighScoreTable table = Table({"Anna|2000|20", "<b>Bruno</b> & co| 1250| 12"});
    table[kPlaces] = {u"Spare"_s, u"1"_s, u"1"_s};
    FrmHighScores window;
    window.Fill(table);
    QStringList expected{"1. Anna|2000|20", "2. <b>Bruno</b> & co| 1250| 12"};
    for (int i = 3; i <= kPlaces; ++i)
        expected << QString::number(i) + u". ||"_s;
    QCOMPARE(Shown(window), expected);

    window.Fill(HighScoreTable{});
    QCOMPARE(window.Label1[0]->text(), QString());
}

void TestRecordsWindows::recordsNumbersAndHeadingsFit()
{
    FrmHighScores window;
    QList<QLabel*> fixed{window.Label5, window.Label6, window.Label7};
    for (QLabel* label : window.Label4)
        fixed << label;
    for (QLabel* label : fixed) {
        const QFontMetrics metrics(label->font());
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
        QVERIFY(metrics.height() <= label->height());
    }
}

void TestRecordsWindows::recordsCloseOnKey_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestRecordsWindows::recordsCloseOnKey()
{
    QFETCH(int, key);
    QPointer<FrmHighScores> window = FrmHighScores::ShowModeless(HighScoreTable{});
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(QApplication::focusWidget(), window->cmdClose);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QTRY_VERIFY(window.isNull());
    QCOMPARE(FrmHighScores::Current(), nullptr);
}

void TestRecordsWindows::menuOpeningIsModelessAndSingle()
{
    FrmHighScores* first = FrmHighScores::ShowModeless(Table({"Anna|2000|20"}));
    QVERIFY(QTest::qWaitForWindowExposed(first));
    QCOMPARE(first->parentWidget(), nullptr);
    QVERIFY(!first->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    FrmHighScores* second = FrmHighScores::ShowModeless(Table({"Bruno|3000|30", "Anna|2000|20"}));
    QCOMPARE(second, first);
    QCOMPARE(RecordsWindows().size(), 1);
    QCOMPARE(second->Label1[0]->text(), u"Bruno"_s);
    QCOMPARE(second->Label1[1]->text(), u"Anna"_s);
}

void TestRecordsWindows::reopeningRightAfterCloseGivesLiveWindow()
{
    // Pins a closed window, still waiting to be deleted, being shown again
    // and then vanishing under the player.
    FrmHighScores* first = FrmHighScores::ShowModeless(HighScoreTable{});
    QVERIFY(QTest::qWaitForWindowExposed(first));
    first->cmdClose->click();
    QPointer<FrmHighScores> second = FrmHighScores::ShowModeless(HighScoreTable{});
    QTest::qWait(50);
    QVERIFY(!second.isNull());
    QVERIFY(second->isVisible());
    QCOMPARE(RecordsWindows().size(), 1);
}

void TestRecordsWindows::recordsWindowCentredOnScreen()
{
    FrmHighScores* window = FrmHighScores::ShowModeless(HighScoreTable{});
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QPoint centre = window->screen()->availableGeometry().center();
    const QPoint offset = window->frameGeometry().center() - centre;
    QVERIFY2(offset.manhattanLength() <= 30, qPrintable(QString("%1,%2").arg(offset.x()).arg(offset.y())));
}

void TestRecordsWindows::nameEntryShowsModalAndWaits()
{
    QWidget mainWindow;
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));

    bool sawModal = false;
    RunModal([] { FrmHighScores::ShowModal(Table({"Mario| 1250| 12"})); },
             [&](QWidget* modal) {
                 auto* window = qobject_cast<FrmHighScores*>(modal);
                 sawModal = window && window->windowModality() == Qt::ApplicationModal
                     && window->Label2[0]->text() == u" 1250" && RecordsWindows().size() == 1
                     && FrmHighScores::Current() == window && mainWindow.isVisible();
             },
             Qt::Key_Return);
    QVERIFY(sawModal);
    QVERIFY(RecordsWindows().isEmpty());
    QCOMPARE(FrmHighScores::Current(), nullptr);
}

void TestRecordsWindows::nameEntryTurnsMenuWindowModal()
{
    QPointer<FrmHighScores> fromMenu = FrmHighScores::ShowModeless(Table({"Anna|2000|20"}));
    QVERIFY(QTest::qWaitForWindowExposed(fromMenu));

    bool sameWindow = false;
    Qt::WindowModality modality = Qt::NonModal;
    QStringList shown;
    int windows = 0;
    RunModal([] { FrmHighScores::ShowModal(Table({"Anna|2000|20", "Mario| 1250| 12"})); },
             [&](QWidget* modal) {
                 sameWindow = modal == fromMenu.data();
                 modality = modal->windowModality();
                 shown = sameWindow ? Shown(*fromMenu).mid(0, 2) : QStringList();
                 windows = RecordsWindows().size();
             },
             Qt::Key_Escape);
    QVERIFY(sameWindow);
    QCOMPARE(modality, Qt::ApplicationModal);
    QCOMPARE(shown, (QStringList{"1. Anna|2000|20", "2. Mario| 1250| 12"}));
    QCOMPARE(windows, 1);
    QTRY_VERIFY(fromMenu.isNull());
    QVERIFY(RecordsWindows().isEmpty());
}

void TestRecordsWindows::recordsReadToAScreenReader_data()
{
    // Role -1: never met, as the rule under the headings. A place is read as
    // one line from its number: a screen reader passes over the short labels
    // of a window that opens, so cell by cell the table went unread.
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("reads");
    QTest::newRow("window") << "" << int(QAccessible::Dialog) << "Tabella dei Record";
    QTest::newRow("Label5") << "Label5" << int(QAccessible::StaticText) << "Nome";
    QTest::newRow("Label4(0)") << "Label4(0)" << int(QAccessible::StaticText) << "1. Anna, Punti 2000, Linee 20";
    QTest::newRow("Label4(1)") << "Label4(1)" << int(QAccessible::StaticText) << "2. Mario, Punti 1250, Linee 12";
    QTest::newRow("Label4(2)") << "Label4(2)" << int(QAccessible::StaticText) << "3.";
    QTest::newRow("Label1(0)") << "Label1(0)" << -1 << "";
    QTest::newRow("Label2(0)") << "Label2(0)" << -1 << "";
    QTest::newRow("Label3(0)") << "Label3(0)" << -1 << "";
    QTest::newRow("cmdClose") << "cmdClose" << int(QAccessible::Button) << "Chiudi";
    QTest::newRow("Line1") << "Line1" << -1 << "";
}

void TestRecordsWindows::recordsReadToAScreenReader()
{
    QFETCH(QString, control);
    QFETCH(int, role);
    QFETCH(QString, reads);
    // Refilled while open, as from the menu: the reading follows the table.
    FrmHighScores::ShowModeless(Table({"Bruno|10|1", "Carla|5|1", "Dario|1|1"}));
    FrmHighScores* window = FrmHighScores::ShowModeless(Table({"Anna|2000|20", "Mario| 1250| 12"}));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QWidget* widget = control.isEmpty() ? window : Control(*window, control);
    QCOMPARE(RoleAndName(ReadingReached(window, widget)), std::pair(role, reads));
}

void TestRecordsWindows::recordsShownAllNamed()
{
    // Empty places too: each reads as its number.
    FrmHighScores* window = FrmHighScores::ShowModeless(Table({"Anna|2000|20"}));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(ShownWithoutName(window), QStringList());
}

void TestRecordsWindows::helpWindowHasItsDesign()
{
    FrmHelp window;
    QCOMPARE(window.windowTitle(), u"Istruzioni"_s);
    QCOMPARE(window.size(), QSize(347, 205));
    QVERIFY(HasNoMinMaxBoxes(&window));
    QCOMPARE(Background(&window), QColor(224, 224, 224));
    QCOMPARE(IconImage(&window), QImage(u":/icons/quadix-32.png"_s).convertToFormat(QImage::Format_ARGB32));

    QCOMPARE(window.Label2->geometry(), QRect(10, 20, 212, 145));
    QCOMPARE(window.Label3->geometry(), QRect(236, 20, 106, 138));
    QCOMPARE(window.Command1->geometry(), QRect(262, 175, 81, 25));
    QCOMPARE(TextColour(window.Label3), QColor(0, 0, 128));
    QCOMPARE(TextColour(window.Label2), QApplication::palette().color(QPalette::WindowText));
    QCOMPARE(window.Command1->text(), u"Chiudi"_s);
    QVERIFY(window.Command1->isDefault());
    for (QWidget* control : std::initializer_list<QWidget*>{window.Label2, window.Label3, window.Command1})
        QVERIFY(LooksLikeVerdana(control->font(), 11, false));
}

void TestRecordsWindows::helpTextsAreTheTenLines()
{
    FrmHelp window;
    QCOMPARE(window.Label2->text(), kActions.join(u'\n'));
    QCOMPARE(window.Label3->text(), kKeys.join(u'\n'));
}

void TestRecordsWindows::helpLinesFitTheirLabels()
{
    // A line too wide would be broken in two and throw the columns out of step.
    FrmHelp window;
    for (QLabel* label : {window.Label2, window.Label3}) {
        const QFontMetrics metrics(label->font());
        const QStringList lines = label->text().split(u'\n');
        for (const QString& line : lines)
            QVERIFY2(metrics.horizontalAdvance(line) <= label->width(), qPrintable(line));
        QVERIFY(lines.size() * metrics.lineSpacing() <= label->height());
    }
}

void TestRecordsWindows::helpReadsEachActionWithItsKey()
{
    // Read as the two columns are drawn, every action would come before every key.
    FrmHelp window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QStringList lines = {
        u"Per spostare un blocco a sinistra: Freccia sinistra"_s, u"Per spostare un blocco a destra: Freccia destra"_s,
        u"Caduta veloce di un blocco: Freccia giù"_s,            u"Per ruotare un blocco: Freccia su o CTRL"_s,
        u"Pausa: F4 o ESC"_s,                                     u"Riprendi dopo la pausa: F4"_s,
        u"Nuova partita / Stop: F2"_s,                            u"Tabella dei Record: F3"_s,
    };
    QCOMPARE(RoleAndName(ReadingReached(&window, window.Label2)),
             std::pair(int(QAccessible::StaticText), lines.join(u'\n')));
    QCOMPARE(RoleAndName(ReadingReached(&window, window.Label3)), std::pair(-1, QString()));
    QCOMPARE(ShownWithoutName(&window), QStringList());
}

void TestRecordsWindows::helpClosesOnKeyAndReopensAlike_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestRecordsWindows::helpClosesOnKeyAndReopensAlike()
{
    QFETCH(int, key);
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    QStringList seen;
    for (int opening = 0; opening < 2; ++opening) {
        RunModal([&] { FrmHelp::ShowModal(&owner); },
                 [&](QWidget* modal) {
                     auto* help = qobject_cast<FrmHelp*>(modal);
                     seen << (help && help->isModal() ? help->Label2->text() + help->Label3->text()
                                                      : u"not a modal instructions window"_s);
                 },
                 Qt::Key(key));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(owner.findChildren<FrmHelp*>().isEmpty());
    }
    const QString once = kActions.join(u'\n') + kKeys.join(u'\n');
    QCOMPARE(seen, (QStringList{once, once}));
}

void TestRecordsWindows::helpCentredOnOwner()
{
    QWidget owner;
    owner.setGeometry(60, 80, 439, 385);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    QPoint offset(1000, 1000);
    RunModal([&] { FrmHelp::ShowModal(&owner); },
             [&](QWidget* modal) { offset = modal->frameGeometry().center() - owner.frameGeometry().center(); },
             Qt::Key_Escape);
    QVERIFY2(offset.manhattanLength() <= 30, qPrintable(QString("%1,%2").arg(offset.x()).arg(offset.y())));
}

void TestRecordsWindows::saveFailedMessageFitsMessageColumn_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("not saved") << kSaveFailedMessage.toString();
    QTest::newRow("saved aside") << kSavedAsideMessage.toString();
    QTest::newRow("saved aside, table busy") << kBusyAsideMessage.toString();
    QTest::newRow("saved aside, table refused") << kRefusedAsideMessage.toString();
}

void TestRecordsWindows::saveFailedMessageFitsMessageColumn()
{
    // The message takes the place of the name prompt: 140 x 52 pixels of the
    // column of messages, in its bold face.
    QFETCH(QString, message);
    QFont font;
    font.setFamilies({u"Verdana"_s, u"DejaVu Sans"_s});
    font.setPixelSize(13);
    font.setBold(true);
    const QFontMetrics metrics(font);
    for (const QString& word : message.split(u' '))
        QVERIFY2(metrics.horizontalAdvance(word) <= 140, qPrintable(word));
    const int lines = WrappedLines(font, 140, message);
    QVERIFY2(lines <= 3, qPrintable(QString("%1 lines").arg(lines)));
    const QRect box = metrics.boundingRect(QRect(0, 0, 140, 1000), Qt::TextWordWrap, message);
    QVERIFY2(box.height() <= 52, qPrintable(QString("%1 pixels high").arg(box.height())));
}

QTEST_MAIN(TestRecordsWindows)
#include "tst_recordswindows.moc"
