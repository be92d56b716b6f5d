// The game's drawing read back from the real playfield image: a falling piece
// at fallPixel 14 sits exactly where a locked block of the same row is drawn,
// and moving a piece leaves nothing of it behind.
#include <QGuiApplication>
#include <QtTest>

#include <QPainter>
#include <random>

#include "control/GameFlow.h"
#include "render/BlockRenderer.h"
#include "render/TileSheet.h"
#include "support/BoardText.h"
#include "support/FlowFakes.h"
#include "support/ModelFakes.h"

using namespace quadix;
using namespace quadix::test;

namespace {

// The 14 x 14 tile at the top-left corner (x, y) of the playfield image.
QImage tileAt(const BlockRenderer& renderer, int x, int y)
{
    return renderer.fieldImage().copy(x, y, 14, 14).convertToFormat(QImage::Format_RGB32);
}

bool allBlack(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::black))
                return false;
    return true;
}

struct DrawingRig {
    DrawingRig()
    {
        renderer.attach(game.state.tileDC);
        game.state.tileDC = GenerateDC();
    }
    ~DrawingRig() { DeleteTileDC(game.state.tileDC); }
    RecordingScoreboard scoreboard;
    RecordingSound sound;
    FakeClock clock;
    ScriptedRandom random;
    BlockRenderer renderer;
    Game game{renderer, scoreboard, sound, clock, random};
};

} // namespace

class GameDrawingTest : public QObject {
    Q_OBJECT

private slots:
    void pieceAtFullStepCoversItsCellsLikeLockedBlocks();
    void movingPieceLeavesNothingBehind();
    void allBlocksDrawsEveryLockedCellAndNothingElse();
    void screenMatchesTheImageAfterEveryRefresh();
};

void GameDrawingTest::pieceAtFullStepCoversItsCellsLikeLockedBlocks()
{
    DrawingRig rig;
    rig.random.types = {7, 7, 7, 7, 7};
    rig.game.NewGame();
    GameState& s = rig.game.state;
    putRows(s, {"....7....."}, 35); // a locked T block at (14, 35)
    rig.game.DrawAllBlocks();
    s.pieceY = 20;
    s.fallPixel = 14;
    rig.game.DrawPiece();
    // Block 0 of the falling T at (14, 20) against the locked block at (14, 35).
    QCOMPARE(tileAt(rig.renderer, 4 * 14, 10 * 14), tileAt(rig.renderer, 4 * 14, 25 * 14));
    QVERIFY(!allBlack(tileAt(rig.renderer, 4 * 14, 10 * 14)));
    // Five pixels short of its row, it reaches 5 pixels into the row above.
    s.fallPixel = 9;
    rig.game.PutCommand();
    rig.game.DrawPiece();
    QCOMPARE(tileAt(rig.renderer, 4 * 14, 10 * 14 - 5), tileAt(rig.renderer, 4 * 14, 25 * 14));
}

void GameDrawingTest::movingPieceLeavesNothingBehind()
{
    DrawingRig rig;
    rig.random.types = {1, 1, 1, 6, 1};
    rig.game.NewGame();
    GameState& s = rig.game.state;
    for (int step = 0; step < 60; ++step)
        rig.game.Falling();
    MovePiece(rig.game, Command::ShiftLeft);
    // Exactly the square's four tiles are left on the image.
    QImage field = rig.renderer.fieldImage();
    int lit = 0;
    for (int y = 0; y < field.height(); ++y)
        for (int x = 0; x < field.width(); ++x)
            lit += field.pixelColor(x, y) != QColor(Qt::black);
    QCOMPARE(lit, 4 * 14 * 14); // block tiles have no black pixel
    const int top = (s.pieceY - 11) * 14 + s.fallPixel;
    QVERIFY(!allBlack(tileAt(rig.renderer, (s.pieceX - 10) * 14, top)));
}

void GameDrawingTest::allBlocksDrawsEveryLockedCellAndNothingElse()
{
    DrawingRig rig;
    rig.game.NewGame();
    rig.renderer.ClearField();
    GameState& s = rig.game.state;
    putRows(s, {"1........2", "34.....567"}, 35);
    rig.game.DrawAllBlocks();
    for (int r = 10; r <= 35; ++r) {
        for (int c = 10; c <= 19; ++c) {
            const QImage tile = tileAt(rig.renderer, (c - 10) * 14, (r - 10) * 14);
            QCOMPARE(allBlack(tile), s.board(c, r) == 0);
        }
    }
}

// Only what changed since the last refresh goes to the screen. Whole games
// of random keys, with gravity, locks, flashes, cleared rows and a pause,
// copy each refreshed part onto a screen of their own: after every refresh
// it must equal the playfield image, or a pixel was left out.
void GameDrawingTest::screenMatchesTheImageAfterEveryRefresh()
{
    DrawingRig rig;
    ScriptedWindow window(rig.clock);
    GameFlow flow(rig.game, rig.clock, rig.sound, window);
    QImage screen(rig.renderer.fieldImage().size(), QImage::Format_RGB32);
    screen.fill(Qt::black);
    int refreshes = 0;
    int wrong = 0;
    rig.renderer.onFieldRefresh = [&](const QRect& changed) {
        QPainter(&screen).drawImage(changed.topLeft(), rig.renderer.fieldImage(), changed);
        ++refreshes;
        if (screen != rig.renderer.fieldImage() && wrong++ == 0)
            qWarning("screen and image differ after refresh %d (shown %d,%d %dx%d)", refreshes, changed.x(),
                     changed.y(), changed.width(), changed.height());
    };
    GameState& s = rig.game.state;
    std::mt19937 rng(5);
    const Command keys[] = {Command::ShiftLeft, Command::ShiftRight, Command::TurnClockwise,
                            Command::TurnCounterClockwise, Command::StepDown, Command::StepDown,
                            Command::Confirm, Command::Confirm, Command::Confirm, Command::Confirm};
    int lines = 0;
    for (int game = 0; game < 12; ++game) {
        rig.game.NewGame();
        // A stack of rows each one block short, so that locks clear rows.
        QStringList stack;
        for (int r = 0; r < 8; ++r) {
            QString row(10, '3');
            row[int(rng() % 10)] = '.';
            stack << row;
        }
        putRows(s, stack, kBottomRow);
        rig.game.DrawAllBlocks();
        s.gameRunning = true;
        s.paused = false;
        for (int step = 0; step < 20000 && s.stopState != 2; ++step) {
            flow.picQuadixField_KeyDown(keys[rng() % 10]);
            if (step == 500) {       // the stack hidden, then shown again
                flow.mnuPause_Click();
                flow.mnuPause_Click();
            }
            if (s.dropHeld > 0)
                s.dropHeld = s.dropHeld >= kSpawnPauseSteps ? 0 : s.dropHeld + 1;
            else
                rig.game.Falling();
        }
        lines += s.lines;
        s.gameRunning = false;
    }
    QCOMPARE(wrong, 0);
    QVERIFY(refreshes > 5000);
    QVERIFY2(lines > 0, "no row was cleared");
}

QTEST_MAIN(GameDrawingTest)
#include "tst_game_drawing.moc"
