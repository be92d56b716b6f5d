#include "ui/FrmGame.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include "render/TileSheet.h"
#include "ui/Accessibility.h"
#include "ui/Bindings.h"
#include "ui/FrmHelp.h"
#include "ui/FrmHighScores.h"
#include "ui/PictureBox.h"
#include "ui/WindowSystem.h"

namespace quadix {

namespace {

const QColor kFormGrey(192, 192, 192);
const QColor kNavy(0, 0, 128);
const QColor kGreen(0, 128, 0);
const QColor kMaroon(128, 0, 0);
const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);

// The window was laid out for Verdana and MS Sans Serif, in points at 96
// dots per inch. Neither face ships on Linux; DejaVu Sans has nearly the
// same widths, and pixel sizes keep every text the height it was drawn for.
QFont gameFont(int pixelSize, bool bold, const QString& face = QStringLiteral("Verdana"))
{
    QFont font;
    font.setFamilies({face, QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// A message of the right-hand column and the like: a fixed box whose text
// breaks into lines at spaces.
QLabel* messageLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text,
                     const QFont& font, const QColor& colour, bool visible)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    label->setFont(font);
    setTextColour(label, colour);
    label->setGeometry(geometry);
    label->setVisible(visible);
    return label;
}

AutoSizeLabel* autoSizeLabel(QWidget* parent, const char* name, const QPoint& topLeft, const QString& text,
                             const QFont& font)
{
    auto* label = new AutoSizeLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(topLeft);
    label->setFont(font);
    label->setCaption(text);
    return label;
}

// A menu command's shortcut is its key in the keyboard's table.
QKeySequence shortcutOf(Command command)
{
    const std::optional<Qt::Key> key = ShortcutKey(command);
    return key ? QKeySequence(*key) : QKeySequence();
}

QAction* menuItem(QMenu* menu, const char* name, const QString& text, const QKeySequence& shortcut = {})
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    return action;
}

} // namespace

AutoSizeLabel::AutoSizeLabel(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

void AutoSizeLabel::setCaption(const QString& text)
{
    setText(text);
    resize(sizeHint());
}

void AutoSizeLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        resize(sizeHint());
}

RectShape::RectShape(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RectShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor outline = palette().color(QPalette::WindowText);
    painter.fillRect(0, 0, width(), 1, outline);
    painter.fillRect(0, height() - 1, width(), 1, outline);
    painter.fillRect(0, 0, 1, height(), outline);
    painter.fillRect(width() - 1, 0, 1, height(), outline);
}

FrmGame::FrmGame(QWidget* parent)
    : FrmGame(GamePorts{}, parent)
{
}

FrmGame::FrmGame(const GamePorts& ports, QWidget* parent)
    : QMainWindow(parent)
    , clock_(ports.clock ? *ports.clock : static_cast<Clock&>(systemClock_))
    , random_(ports.random ? *ports.random : static_cast<Random&>(systemRandom_))
    , pump_(ports.pump)
    , game_(renderer_, *this, sound_, clock_, random_)
    , flow_(game_, clock_, sound_, *this)
    , scoreFile_(ports.scoreFile ? *ports.scoreFile : ScoreFileForThisProgram())
{
    // A fixed dialog border: the layout is drawn to the pixel, so the window
    // can be neither resized, minimised nor maximised.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("Quadix"));

    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kFormGrey);
    palette.setColor(QPalette::WindowText, kBlack);
    setPalette(palette);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmGame"));
    client->setAutoFillBackground(true);
    client->setFixedSize(kClientWidth, kClientHeight);
    client->installEventFilter(this);
    setCentralWidget(client);
    buildControls(client);
    DescribeForScreenReaders(*this);

    // A menu bar exported to the desktop's global menu would leave a gap
    // above the fixed-size client area.
    menuBar()->setNativeMenuBar(false);
    buildMenus();
    fitToClient();

    renderer_.attach(game_.state.tileDC);
    picQuadixField->setImage(&renderer_.fieldImage());
    picPreviewBlocks->setImage(&renderer_.previewImage());
    renderer_.onFieldRefresh = [this](const QRect& changed) { picQuadixField->refreshNow(changed); };
    renderer_.onPreviewChanged = [this] { picPreviewBlocks->update(); };
    connect(picQuadixField, &PictureBox::keyDown, this, [this](int key, Qt::KeyboardModifiers) {
        picQuadixField_KeyDown(key);
    });
    connect(picQuadixField, &PictureBox::focusLost, this, [this] { flow_.picQuadixField_LostFocus(); });
    connect(txtEnterName, &QLineEdit::returnPressed, this, &FrmGame::txtEnterName_KeyPress);
    connect(&gamepad_, &Gamepad::pressed, this, &FrmGame::gamepad_Press);
    connect(&gamepad_, &Gamepad::unplugged, this, &FrmGame::gamepad_Unplugged);
    // The loop's wait ends when this fires: exactly when the next step is due.
    wakeUp_.setSingleShot(true);
    wakeUp_.setTimerType(Qt::PreciseTimer);

    Form_Load();
}

FrmGame::~FrmGame()
{
    flow_.Abandon();
}

void FrmGame::buildControls(QWidget* client)
{
    // Created in the window's design order, so later controls lie on top.
    Picture1 = new QLabel(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(11, 59, 126, 21);
    Picture1->setVisible(false);

    txtEnterName = new QLineEdit(client);
    txtEnterName->setObjectName(QStringLiteral("txtEnterName"));
    txtEnterName->setGeometry(299, 176, 140, 27);
    txtEnterName->setFont(gameFont(16, true));
    txtEnterName->setAlignment(Qt::AlignCenter);
    QPalette namePalette = txtEnterName->palette();
    namePalette.setColor(QPalette::Base, kFormGrey);
    namePalette.setColor(QPalette::Text, kWhite);
    txtEnterName->setPalette(namePalette);
    txtEnterName->setEnabled(false);
    txtEnterName->setVisible(false);

    picPreviewBlocks = new PictureBox(client);
    picPreviewBlocks->setObjectName(QStringLiteral("picPreviewBlocks"));
    picPreviewBlocks->setGeometry(106, 9, 49, 97);

    picQuadixField = new PictureBox(client);
    picQuadixField->setObjectName(QStringLiteral("picQuadixField"));
    picQuadixField->setGeometry(155, 9, 145, 369);

    Shape2 = new RectShape(client);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setGeometry(10, 121, 131, 110);

    Shape1 = new RectShape(client);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(309, 232, 121, 146);

    Label2 = autoSizeLabel(client, "Label2", {2, 364}, QStringLiteral("www.quadix.example"), gameFont(11, false));

    lblNewGame = messageLabel(client, "lblNewGame", {299, 10, 140, 55},
                              QStringLiteral("PREMI F2 PER INIZIARE UNA NUOVA PARTITA"), gameFont(13, true), kNavy,
                              true);
    lblGameOver = messageLabel(client, "lblGameOver", {7, 260, 140, 56}, QStringLiteral("LA PARTITA E' FINITA"),
                               gameFont(21, true), kNavy, false);
    lblEnterName = messageLabel(client, "lblEnterName", {298, 123, 142, 52},
                                QStringLiteral("Tabella dei record: scrivi il tuo nome e premi INVIO:"),
                                gameFont(13, true, QStringLiteral("MS Sans Serif")), kBlack, false);
    lblPressF4 = messageLabel(client, "lblPressF4", {299, 45, 140, 50},
                              QStringLiteral("PREMI F4 PER RIPRENDERE IL GIOCO"), gameFont(13, true), kGreen, false);
    lblPause = messageLabel(client, "lblPause", {300, 9, 140, 42}, QStringLiteral("PAUSA"), gameFont(24, true),
                            kGreen, false);
    // Where the name was asked: says that the new record could not be kept on
    // disk, or was kept in the user's folder because Scores.dat could not be read.
    lblSaveFailed = messageLabel(client, "lblSaveFailed", {298, 123, 142, 52}, kSaveFailedMessage.toString(),
                                 gameFont(13, true), kMaroon, false);

    Label1 = autoSizeLabel(client, "Label1", {5, 8}, QStringLiteral("Blocchi in arrivo:"), gameFont(11, false));
    Label6 = autoSizeLabel(client, "Label6", {334, 317}, QStringLiteral("Livello"), gameFont(19, true));
    setTextColour(Label6, kMaroon);
    Label5 = autoSizeLabel(client, "Label5", {339, 242}, QStringLiteral("Linee"), gameFont(19, true));
    setTextColour(Label5, kMaroon);
    Label4 = autoSizeLabel(client, "Label4", {26, 126}, QStringLiteral("Punti"), gameFont(32, true));
    setTextColour(Label4, kMaroon);
    LabelLevel = autoSizeLabel(client, "LabelLevel", {364, 347}, QStringLiteral("0"), gameFont(19, true));
    setTextColour(LabelLevel, kMaroon);
    LabelLines = autoSizeLabel(client, "LabelLines", {364, 272}, QStringLiteral("0"), gameFont(19, true));
    setTextColour(LabelLines, kMaroon);
    LabelScore = autoSizeLabel(client, "LabelScore", {61, 183}, QStringLiteral("0"), gameFont(32, true));
    setTextColour(LabelScore, kMaroon);

    // Only these three can hold the focus; the labels between them in the
    // window's tab order are passed over.
    setTabOrder(picQuadixField, picPreviewBlocks);
    setTabOrder(picPreviewBlocks, txtEnterName);
}

void FrmGame::buildMenus()
{
    Game = menuBar()->addMenu(QStringLiteral("GIOCO"));
    Game->setObjectName(QStringLiteral("Game"));
    mnuStart = menuItem(Game, "mnuStart", QStringLiteral("Nuova partita"), shortcutOf(Command::StartStop));
    mnuPause = menuItem(Game, "mnuPause", QStringLiteral("Pausa"), shortcutOf(Command::PauseResume));
    mnuPause->setEnabled(false);
    ln1 = Game->addSeparator();
    ln1->setObjectName(QStringLiteral("ln1"));
    mnuHighScores = menuItem(Game, "mnuHighScores", QStringLiteral("Tabella dei Record"),
                             shortcutOf(Command::ShowRecords));
    mnuHelp = menuItem(Game, "mnuHelp", QStringLiteral("Istruzioni"), shortcutOf(Command::ShowHelp));
    ln2 = Game->addSeparator();
    ln2->setObjectName(QStringLiteral("ln2"));
    mnuExit = menuItem(Game, "mnuExit", QStringLiteral("Esci"));

    SoundM = menuBar()->addMenu(QStringLiteral("SUONI"));
    SoundM->setObjectName(QStringLiteral("SoundM"));
    mnuEffects = menuItem(SoundM, "mnuEffects", QStringLiteral("Effetti Sonori"));
    mnuEffects->setCheckable(true);
    mnuEffects->setChecked(true);
    // Music was planned and never made: the item stays in the menu, hidden,
    // which also keeps its shortcut from firing.
    mnuMusic = menuItem(SoundM, "mnuMusic", QStringLiteral("Musica"), QKeySequence(Qt::CTRL | Qt::Key_M));
    mnuMusic->setCheckable(true);
    mnuMusic->setChecked(true);
    mnuMusic->setVisible(false);

    connect(mnuStart, &QAction::triggered, this, &FrmGame::mnuStart_Click);
    connect(mnuPause, &QAction::triggered, this, &FrmGame::mnuPause_Click);
    connect(mnuHighScores, &QAction::triggered, this, &FrmGame::mnuHighScores_Click);
    connect(mnuHelp, &QAction::triggered, this, &FrmGame::mnuHelp_Click);
    connect(mnuExit, &QAction::triggered, this, &FrmGame::mnuExit_Click);
    connect(mnuEffects, &QAction::triggered, this, &FrmGame::mnuEffects_Click);
}

// The client area has a fixed size; the menu bar comes on top of it, as the
// window's border comes around it.
void FrmGame::fitToClient()
{
    const int menuHeight = menuBar()->sizeHint().height();
    setFixedSize(kClientWidth, kClientHeight + menuHeight);
}

void FrmGame::ShowScore(int32_t score)
{
    LabelScore->setCaption(QString::number(score));
}

void FrmGame::ShowLines(int16_t lines)
{
    LabelLines->setCaption(QString::number(lines));
}

void FrmGame::ShowLevel(int16_t level)
{
    LabelLevel->setCaption(QString::number(level));
}

bool FrmGame::event(QEvent* event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return handled;
}

void FrmGame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (centred_)
        return;
    // The style is only final once the window is polished for showing.
    fitToClient();
    centred_ = true;
    // A Wayland compositor places a new window and gives it the keyboard itself.
    if (CompositorPlacesWindows())
        return;
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // Take the keyboard at once, also where no window manager hands it over.
    activateWindow();
}

// Whatever the first frame does not need waits until it is on the screen.
bool FrmGame::eventFilter(QObject* watched, QEvent* event)
{
    if (!firstFrameShown_ && watched == centralWidget() && event->type() == QEvent::Paint) {
        firstFrameShown_ = true;
        QTimer::singleShot(0, this, [this] {
            sound_.warmUp();
            gamepad_.start();
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void FrmGame::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void FrmGame::Form_Load()
{
    setWindowIcon(QIcon(QStringLiteral(":/icons/quadix-32.png")));
    // Picture1 keeps a copy of the tile sheet in the window, as it was
    // designed; the blocks are drawn from the tile context made here.
    const QPixmap sheet(QStringLiteral(":/tiles.bmp"));
    if (!sheet.isNull()) {
        Picture1->setPixmap(sheet);
        Picture1->resize(sheet.size());
    }
    game_.state.tileDC = GenerateDC();
    // A missing or unreadable file leaves the table empty, silently, unless a
    // record was saved aside because of it.
    highScores = LoadHighScores(scoreFile_);
    sound_.setSoundOn(true);
}

// Coming back to the window, from another program or from the records or
// instructions window, hands the keys to the playfield; while a name is being
// asked they go back to the name box, so the player can type on.
void FrmGame::Form_Activate()
{
    if (game_.state.enteringName && txtEnterName->isEnabled())
        txtEnterName->setFocus();
    else
        picQuadixField->setFocus();
}

// Closing the window ends the program at once, in the middle of a game too:
// the loop does not resume, the game is not ended and nothing is written.
void FrmGame::Form_Unload()
{
    closed_ = true;
    flow_.Abandon();
    wakeUp_.stop();
    DeleteTileDC(game_.state.tileDC);
    game_.state.tileDC = 0;
    FrmHighScores::CloseCurrent();
    QCoreApplication::quit();
}

void FrmGame::mnuStart_Click()
{
    if (!game_.state.gameRunning)
        lblSaveFailed->hide();
    flow_.mnuStart_Click();
}

void FrmGame::mnuPause_Click()
{
    flow_.mnuPause_Click();
}

void FrmGame::mnuHighScores_Click()
{
    FrmHighScores::ShowModeless(highScores);
}

void FrmGame::mnuHelp_Click()
{
    FrmHelp::ShowModal(this);
}

void FrmGame::mnuExit_Click()
{
    close();
}

// Qt has already moved the check mark when this runs.
void FrmGame::mnuEffects_Click()
{
    sound_.setSoundOn(mnuEffects->isChecked());
}

// A menu shortcut's key comes here only while its item is disabled; the
// game flow lets such a command do nothing.
void FrmGame::picQuadixField_KeyDown(int qtKey)
{
    if (const std::optional<Command> command = KeyCommand(qtKey))
        flow_.picQuadixField_KeyDown(*command);
}

// ---- What the game flow does to the window -----------------------------------

QAction* FrmGame::menuAction(MenuItem item) const
{
    switch (item) {
    case MenuItem::Start: return mnuStart;
    case MenuItem::Pause: return mnuPause;
    case MenuItem::HighScores: return mnuHighScores;
    case MenuItem::Help: return mnuHelp;
    }
    return mnuStart;
}

void FrmGame::SetMenuCaption(MenuItem item, const std::string& caption)
{
    menuAction(item)->setText(QString::fromStdString(caption));
}

void FrmGame::SetMenuEnabled(MenuItem item, bool enabled)
{
    menuAction(item)->setEnabled(enabled);
}

void FrmGame::ShowMessage(Message message, bool visible)
{
    QLabel* label = lblGameOver;
    switch (message) {
    case Message::GameOver: label = lblGameOver; break;
    case Message::NewGame: label = lblNewGame; break;
    case Message::Pause: label = lblPause; break;
    case Message::PressF4: label = lblPressF4; break;
    }
    label->setVisible(visible);
}

void FrmGame::FocusPlayfield()
{
    picQuadixField->setFocus();
}

void FrmGame::ProcessEvents(int waitMs)
{
    // A pad is read at every pass, so its presses wait for no more than a
    // gravity step.
    if (gamepad_.connected())
        gamepad_.poll();
    if (pump_) {
        pump_(waitMs);
        return;
    }
    if (waitMs == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // Sleep in the event loop until a key, a menu command or a repaint comes
    // in, or the next gravity step is due; never spin.
    if (waitMs > 0)
        wakeUp_.start(waitMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wakeUp_.stop();
}

// ---- The gamepad --------------------------------------------------------------------

namespace {

// A small window answers A and B as it answers Enter and Esc: Enter presses
// its default button (Chiudi), Esc rejects it.
void answerSmallWindow(QWidget* window, Command command)
{
    auto* dialog = qobject_cast<QDialog*>(window);
    if (dialog == nullptr)
        return;
    if (command == Command::Close) {
        dialog->reject();
        return;
    }
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->isDefault() && button->isEnabled()) {
            button->click();
            return;
        }
    }
}

} // namespace

// The records or instructions window, when it is in front of the game.
QWidget* FrmGame::smallWindowInFront() const
{
    QWidget* front = QApplication::activeModalWidget();
    if (front == nullptr && QApplication::activeWindow() != this)
        front = QApplication::activeWindow();
    return front == this ? nullptr : front;
}

// Each press is looked up where it lands: a small window in front, the name
// box while a name is asked, or else the main window. It comes from the event
// loop, also inside a game's loop or a modal window's, so it meets the menu
// items' states of that moment, as their shortcuts do.
void FrmGame::gamepad_Press(PadButton button)
{
    // Like the keys, the pad speaks to the game only while one of its windows
    // has the keyboard: a press made for another program, or handed over
    // after the window closed, must not start or resume a game unseen.
    if (closed_ || QApplication::activeWindow() == nullptr)
        return;
    if (QWidget* front = smallWindowInFront()) {
        if (const std::optional<Command> command = PadCommand(PadContext::SmallWindow, button))
            answerSmallWindow(front, *command);
        return;
    }
    if (game_.state.enteringName) {
        // As Enter, only while the box takes keys: not while the name is saved.
        if (txtEnterName->isEnabled() && PadCommand(PadContext::NameBox, button) == Command::Confirm)
            txtEnterName_KeyPress();
        return;
    }
    if (const std::optional<Command> command = PadCommand(PadContext::MainWindow, button))
        perform(*command);
}

// A command of the main window: the menu's only while their item is enabled,
// the others as the playfield's keys.
void FrmGame::perform(Command command)
{
    QAction* item = nullptr;
    switch (command) {
    case Command::StartStop: item = mnuStart; break;
    case Command::PauseResume: item = mnuPause; break;
    case Command::ShowRecords: item = mnuHighScores; break;
    case Command::ShowHelp: item = mnuHelp; break;
    default: flow_.picQuadixField_KeyDown(command); return;
    }
    if (item->isEnabled())
        item->trigger();
}

// A pad pulled out in the middle of a game pauses it, as consoles do; F4 or
// Start resumes.
void FrmGame::gamepad_Unplugged()
{
    const GameState& s = game_.state;
    if (s.gameRunning && !s.paused && s.stopState == 0 && mnuPause->isEnabled())
        mnuPause->trigger();
}

// ---- A new record ---------------------------------------------------------------

void FrmGame::EnterName()
{
    mnuStart->setEnabled(false);
    const int place = OpenPlaceFor(highScores, game_.state.score);
    if (place < 0)
        return;
    game_.state.entryRow = static_cast<int16_t>(place);
    // The box was emptied when it was put away: emptying it now would move
    // its caret before it has the focus, and a screen reader that hears the
    // caret first takes the box in silence, without reading the prompt.
    lblEnterName->show();
    txtEnterName->show();
    txtEnterName->setEnabled(true);
    txtEnterName->setFocus();
    game_.state.enteringName = true;
}

void FrmGame::txtEnterName_KeyPress()
{
    if (!game_.state.enteringName)
        return;
    const QString name = txtEnterName->text();
    lblEnterName->hide();
    txtEnterName->hide();
    txtEnterName->setEnabled(false);
    txtEnterName->clear();
    // While another game's save holds the table (a second at most) the window
    // keeps painting; keys and clicks wait for the save to end, and with the
    // menus off and the name box shut nothing could start a game anyway. The
    // window manager may still close the window meanwhile: the program is then
    // quitting, a loop returns at once, and the rest of the wait is slept.
    const auto paintWhileWaiting = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        if (loop.exec(QEventLoop::ExcludeUserInputEvents) < 0)
            QThread::msleep(ulong(ms));
    };
    // Saving reads the table afresh, so it holds what other games saved
    // meanwhile: that is the table to show. A failed save keeps the record in
    // memory instead. A save that failed or went aside is told on the window
    // until the next game starts.
    const SavedTable saved = SaveRecord(scoreFile_, name, game_.state.score, game_.state.lines,
                                        paintWhileWaiting);
    // The name was confirmed, so the record is kept; but a window closed
    // during the wait opens no other.
    if (closed_)
        return;
    if (saved.outcome == SaveOutcome::Failed)
        StoreRecord(highScores, game_.state.entryRow, name, game_.state.score, game_.state.lines);
    else
        highScores = saved.table;
    if (saved.outcome != SaveOutcome::Saved) {
        lblSaveFailed->setText(SaveMessage(saved.outcome).toString());
        lblSaveFailed->show();
    }
    picQuadixField->setFocus();
    FrmHighScores::ShowModal(highScores, this);
    game_.state.enteringName = false;
    mnuStart->setEnabled(true);
    mnuHighScores->setEnabled(true);
    mnuHelp->setEnabled(true);
}

} // namespace quadix
