#include "ui/FrmHelp.h"

#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStringList>

#include "ui/Accessibility.h"

namespace quadix {

namespace {

QPointer<FrmHelp> openWindow;

// The window was drawn in Verdana 8.25 pt; DejaVu Sans has nearly its widths.
QFont Verdana11()
{
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    return font;
}

QLabel* MakeLabel(QWidget* parent, QRect geometry)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(Verdana11());
    label->setGeometry(geometry);
    return label;
}

} // namespace

FrmHelp::FrmHelp(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                         | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                         | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("Istruzioni"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quadix-32.png")));
    setFixedSize(347, 205);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(palette);
    setAutoFillBackground(true);

    Command1 = new QPushButton(QStringLiteral("Chiudi"), this);
    Command1->setFont(Verdana11());
    Command1->setGeometry(262, 175, 81, 25);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::close);

    Label2 = MakeLabel(this, {10, 20, 212, 145});
    Label3 = MakeLabel(this, {236, 20, 106, 138});
    QPalette keys = Label3->palette();
    keys.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label3->setPalette(keys);

    Form_Load();
    DescribeForScreenReaders(*this);
}

void FrmHelp::ShowModal(QWidget* owner)
{
    if (openWindow) {
        openWindow->raise();
        openWindow->activateWindow();
        return;
    }
    auto* window = new FrmHelp(owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    openWindow = window;
    window->exec();  // deletes the window when it closes
}

void FrmHelp::Form_Load()
{
    // The empty lines keep both columns level: "Pausa:" beside "F4 o ESC",
    // "Tabella dei Record:" beside "F3".
    const QStringList actions = {
        QStringLiteral("Per spostare un blocco a sinistra:"),
        QStringLiteral("Per spostare un blocco a destra:"),
        QStringLiteral("Caduta veloce di un blocco:"),
        QStringLiteral("Per ruotare un blocco:"),
        QString(),
        QStringLiteral("Pausa:"),
        QStringLiteral("Riprendi dopo la pausa:"),
        QStringLiteral("Nuova partita / Stop:"),
        QString(),
        QStringLiteral("Tabella dei Record:"),
    };
    const QStringList keys = {
        QStringLiteral("Freccia sinistra"),
        QStringLiteral("Freccia destra"),
        QStringLiteral("Freccia giù"),
        QStringLiteral("Freccia su o CTRL"),
        QString(),
        QStringLiteral("F4 o ESC"),
        QStringLiteral("F4"),
        QStringLiteral("F2"),
        QString(),
        QStringLiteral("F3"),
    };
    Label2->setText(actions.join(u'\n'));
    Label3->setText(keys.join(u'\n'));
}

} // namespace quadix
