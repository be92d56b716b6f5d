#pragma once
// The main window: the playfield, the preview of the coming pieces, the
// score, lines and level, the messages in the right-hand column, the name
// box and the menu bar from which every command is reached.
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <optional>

#include "control/GameFlow.h"
#include "game/Game.h"
#include "game/SystemPorts.h"
#include "render/BlockRenderer.h"
#include "scores/HighScores.h"
#include "sound/SoundEffects.h"
#include "ui/Gamepad.h"

class QAction;
class QLineEdit;
class QMenu;

namespace quadix {

class PictureBox;

// A label that keeps its left and top edges and takes the size of its
// current text, so the numbers grow to the right as they get longer.
class AutoSizeLabel : public QLabel {
    Q_OBJECT
public:
    explicit AutoSizeLabel(QWidget* parent = nullptr);
    void setCaption(const QString& text);

protected:
    void changeEvent(QEvent* event) override;
};

// A rectangle drawn as a 1-pixel outline in the window-text colour; the
// window shows through it and clicks pass through it.
class RectShape : public QWidget {
    Q_OBJECT
public:
    explicit RectShape(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// What a test or a benchmark may put in place of the real clock, generator,
// event pump and records file.
struct GamePorts {
    Clock* clock = nullptr;
    Random* random = nullptr;
    // Runs the pending events, waiting at most waitMs for one (see GameWindow).
    std::function<void(int waitMs)> pump;
    std::optional<ScoreFilePaths> scoreFile;
};

class FrmGame : public QMainWindow, public Scoreboard, public GameWindow {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 439;
    static constexpr int kClientHeight = 385;

    explicit FrmGame(QWidget* parent = nullptr);
    explicit FrmGame(const GamePorts& ports, QWidget* parent = nullptr);
    ~FrmGame() override;

    void ShowScore(int32_t score) override;
    void ShowLines(int16_t lines) override;
    void ShowLevel(int16_t level) override;

    // GameWindow: what the game flow does to the window.
    void SetMenuCaption(MenuItem item, const std::string& caption) override;
    void SetMenuEnabled(MenuItem item, bool enabled) override;
    void ShowMessage(Message message, bool visible) override;
    void FocusPlayfield() override;
    void EnterName() override;
    void ProcessEvents(int waitMs) override;

    quadix::Game& game() { return game_; }
    GameFlow& flow() { return flow_; }
    SoundEffects& soundEffects() { return sound_; }
    Gamepad& gamepad() { return gamepad_; }
    const BlockRenderer& renderer() const { return renderer_; }
    BlockRenderer& renderer() { return renderer_; }
    const ScoreFilePaths& scoreFile() const { return scoreFile_; }

    // The controls, named as the game refers to them. Positions are
    // relative to the client area, the central widget below the menu bar.
    QLabel* Picture1 = nullptr;
    QLineEdit* txtEnterName = nullptr;
    PictureBox* picPreviewBlocks = nullptr;
    PictureBox* picQuadixField = nullptr;
    RectShape* Shape2 = nullptr;
    RectShape* Shape1 = nullptr;
    AutoSizeLabel* Label2 = nullptr;
    QLabel* lblNewGame = nullptr;
    QLabel* lblGameOver = nullptr;
    QLabel* lblEnterName = nullptr;
    QLabel* lblPressF4 = nullptr;
    QLabel* lblPause = nullptr;
    QLabel* lblSaveFailed = nullptr; // the new record was not saved, or saved aside
    AutoSizeLabel* Label1 = nullptr;
    AutoSizeLabel* Label6 = nullptr;
    AutoSizeLabel* Label5 = nullptr;
    AutoSizeLabel* Label4 = nullptr;
    AutoSizeLabel* LabelLevel = nullptr;
    AutoSizeLabel* LabelLines = nullptr;
    AutoSizeLabel* LabelScore = nullptr;

    QMenu* Game = nullptr;
    QAction* mnuStart = nullptr;
    QAction* mnuPause = nullptr;
    QAction* ln1 = nullptr;
    QAction* mnuHighScores = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* ln2 = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* SoundM = nullptr;
    QAction* mnuEffects = nullptr;
    QAction* mnuMusic = nullptr;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void mnuStart_Click();
    void mnuPause_Click();
    void mnuHighScores_Click();
    void mnuHelp_Click();
    void mnuExit_Click();
    void mnuEffects_Click();

private:
    void buildControls(QWidget* client);
    void buildMenus();
    void fitToClient();
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void picQuadixField_KeyDown(int qtKey);
    void txtEnterName_KeyPress();
    void gamepad_Press(PadButton button);
    void gamepad_Unplugged();
    QWidget* smallWindowInFront() const;
    void perform(Command command);
    QAction* menuAction(MenuItem item) const;

    bool centred_ = false;
    bool firstFrameShown_ = false;
    bool closed_ = false;      // the player closed the window: nothing more is shown

    SystemClock systemClock_;
    MersenneRandom systemRandom_;
    Clock& clock_;
    Random& random_;
    std::function<void(int)> pump_;
    QTimer wakeUp_;            // ends a wait of the game loop when the next step is due
    // Goes after the sound: SDL's audio posts its device events to the event
    // queue that the gamepad starts and stops, and stopping it under a sound
    // thread still at work can leave that thread waiting for ever on a destroyed lock.
    Gamepad gamepad_;
    SoundEffects sound_;
    // The renderer reads the tile context from the game state, set at load.
    BlockRenderer renderer_;
    quadix::Game game_;
    GameFlow flow_;
    ScoreFilePaths scoreFile_;
};

} // namespace quadix
