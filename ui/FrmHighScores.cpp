#include "ui/FrmHighScores.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "ui/Accessibility.h"
#include "ui/WindowSystem.h"

namespace quadix {

namespace {

// At most one records window exists; the menu and the name entry share it.
QPointer<FrmHighScores> openWindow;

// The window was drawn in Verdana; DejaVu Sans has nearly the same widths.
QFont VerdanaPixels(int pixels, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, QRect geometry,
                  Qt::Alignment alignment, QColor colour)
{
    auto* label = new QLabel(text, parent);
    // Names are shown as typed: no markup, no mnemonics.
    label->setTextFormat(Qt::PlainText);
    label->setFont(VerdanaPixels(13, true));
    label->setAlignment(alignment | Qt::AlignTop);
    label->setGeometry(geometry);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

constexpr QColor kHeading(0, 0, 192);
constexpr QColor kEntry(128, 0, 0);

} // namespace

FrmHighScores::FrmHighScores(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tabella dei Record"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quadix-32.png")));
    setFixedSize(320, 297);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(palette);
    setAutoFillBackground(true);

    cmdClose = new QPushButton(QStringLiteral("Chiudi"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setFont(VerdanaPixels(11, false));
    cmdClose->setGeometry(235, 268, 81, 25);
    cmdClose->setDefault(true);
    connect(cmdClose, &QPushButton::clicked, this, &FrmHighScores::cmdClose_Click);

    Label5 = MakeLabel(this, QStringLiteral("Nome"), {37, 6, 121, 17}, Qt::AlignLeft, kHeading);
    Label6 = MakeLabel(this, QStringLiteral("Punti"), {157, 6, 89, 17}, Qt::AlignRight, kHeading);
    Label7 = MakeLabel(this, QStringLiteral("Linee"), {245, 6, 65, 17}, Qt::AlignRight, kHeading);

    // A 2-pixel rule from (6, 25) to (310, 25), covering rows 24 and 25.
    Line1 = new QFrame(this);
    Line1->setGeometry(6, 24, 305, 2);
    QPalette linePalette = Line1->palette();
    linePalette.setColor(QPalette::Window, kHeading);
    Line1->setPalette(linePalette);
    Line1->setAutoFillBackground(true);

    for (int i = 0; i < kPlaces; ++i) {
        const int top = 33 + 24 * i;
        Label4[i] = MakeLabel(this, QString::number(i + 1) + u'.', {5, top, 25, 17},
                              Qt::AlignRight, kHeading);
        Label1[i] = MakeLabel(this, QString(), {37, top, 121, 17}, Qt::AlignLeft, kEntry);
        Label2[i] = MakeLabel(this, QString(), {157, top, 89, 17}, Qt::AlignRight, kEntry);
        Label3[i] = MakeLabel(this, QString(), {245, top, 65, 17}, Qt::AlignRight, kEntry);
    }
    DescribeForScreenReaders(*this);
}

void FrmHighScores::Fill(const HighScoreTable& table)
{
    for (int i = 0; i < kPlaces; ++i) {
        Label1[i]->setText(table[i][kNameColumn]);
        Label2[i]->setText(table[i][kScoreColumn]);
        Label3[i]->setText(table[i][kLinesColumn]);
    }
    DescribePlaces(*this);
}

FrmHighScores* FrmHighScores::Current()
{
    return openWindow;
}

FrmHighScores* FrmHighScores::ShowModeless(const HighScoreTable& table)
{
    FrmHighScores* window = openWindow;
    if (!window) {
        window = new FrmHighScores;
        window->CentreOnScreen();
        openWindow = window;
    }
    window->Fill(table);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void FrmHighScores::ShowModal(const HighScoreTable& table, QWidget* owner)
{
    FrmHighScores* window = openWindow;
    if (window && window->modalShowing_) {
        window->Fill(table);
        window->raise();
        return;
    }
    if (window) {
        // Modality takes effect when a window is shown, so the one opened
        // from the menu is hidden and shown again as a modal window.
        window->hide();
    } else {
        window = new FrmHighScores;
        window->CentreOnScreen();
        openWindow = window;
    }
    // X11 keeps a window of no owner above all of the program's windows; a
    // Wayland compositor knows no such group and keeps a window above only
    // the parent it is given. Without one, the player could bring the game,
    // which waits for this window, over it.
    if (owner && CompositorPlacesWindows()) {
        window->winId();
        window->windowHandle()->setTransientParent(owner->window()->windowHandle());
    }
    window->Fill(table);
    window->modalShowing_ = true;
    window->exec();  // deletes the window when it closes
}

void FrmHighScores::CloseCurrent()
{
    if (openWindow)
        openWindow->close();
}

void FrmHighScores::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        cmdClose->setFocus();
}

void FrmHighScores::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
    // A closing window is deleted later; the next opening must not reuse it.
    if (event->isAccepted() && openWindow == this)
        openWindow = nullptr;
}

void FrmHighScores::CentreOnScreen()
{
    // A Wayland compositor chooses where a window goes.
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || CompositorPlacesWindows())
        return;
    move(screen->availableGeometry().center() - rect().center());
}

void FrmHighScores::cmdClose_Click()
{
    close();
}

} // namespace quadix
