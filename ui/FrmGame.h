#pragma once
// The main window: the playfield, the preview of the coming pieces, the
// score, lines and level, the messages in the right-hand column, the name
// box and the menu bar from which every command is reached.
#include <QLabel>
#include <QMainWindow>

#include "game/Ports.h"

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

class FrmGame : public QMainWindow, public Scoreboard {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 439;
    static constexpr int kClientHeight = 385;

    explicit FrmGame(QWidget* parent = nullptr);

    void ShowScore(int32_t score) override;
    void ShowLines(int16_t lines) override;
    void ShowLevel(int16_t level) override;

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

    bool centred_ = false;
};

} // namespace quadix
