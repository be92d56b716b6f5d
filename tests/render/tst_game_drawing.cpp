// The game's drawing read back from the real playfield image: a falling piece
// at fallPixel 14 sits exactly where a locked block of the same row is drawn,
// and moving a piece leaves nothing of it behind; and read back from the
// screen, through the real main window.
#include <QApplication>
#include <QBackingStore>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

#include "control/GameFlow.h"
#include "render/BlockRenderer.h"
#include "render/TileSheet.h"
#include "support/BoardText.h"
#include "support/FlowFakes.h"
#include "support/ModelFakes.h"
#include "support/WindowRig.h"
#include "ui/PictureBox.h"

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

// A part of the window as it is on the screen, in device pixels: read back
// from the X server under X11; elsewhere from the buffer last handed to the
// screen or the compositor. `area` is in the window's coordinates.
QImage onScreen(QWidget& window, const QRect& area)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return window.screen()
            ->grabWindow(window.winId(), area.x(), area.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const qreal ratio = window.devicePixelRatio();
    const QRect pixels(QPoint(qFloor(area.left() * ratio), qFloor(area.top() * ratio)),
                       QPoint(qCeil((area.right() + 1) * ratio) - 1, qCeil((area.bottom() + 1) * ratio) - 1));
    // copy(): at a scale factor other than 1 Qt's image of the buffer is a
    // view of memory that the next paint changes.
    const auto* buffer = static_cast<const QImage*>(window.backingStore()->paintDevice());
    return buffer->copy(pixels).convertToFormat(QImage::Format_RGB32);
}

// Paints now what waits for the event loop (a message shown, a new score).
void paintPending(QWidget& window)
{
    QCoreApplication::sendPostedEvents();
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &request);
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
    void screenMatchesAFullRepaintThroughoutPlay_data();
    void screenMatchesAFullRepaintThroughoutPlay();
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

// What a step or a flash puts on the screen must be what a full repaint of
// the window shows, at whatever scale the desktop gives the window and with
// the score reaching over the playfield. Whole games of random keys, with
// gravity, locks, flashes, cleared rows and a pause, go through the real main
// window; after every refresh the screen around the changed part is read
// back and compared with the same place once the playfield is repainted
// whole.
void GameDrawingTest::screenMatchesAFullRepaintThroughoutPlay_data()
{
    QTest::addColumn<int32_t>("score");
    QTest::addColumn<QList<Command>>("keys"); // one drawn at random at each step (Confirm does nothing)
    QTest::addColumn<int>("games");
    const QList<Command> anyKeys{Command::ShiftLeft, Command::ShiftRight, Command::TurnClockwise,
                                Command::TurnCounterClockwise, Command::StepDown, Command::StepDown,
                                Command::Confirm, Command::Confirm, Command::Confirm, Command::Confirm};
    // From five digits on the score reaches into the playfield's left columns.
    const int32_t sixDigits = 654321;
    const QList<Command> leftKeys{Command::ShiftLeft, Command::ShiftLeft, Command::ShiftLeft, Command::ShiftRight,
                                  Command::TurnClockwise, Command::StepDown, Command::Confirm, Command::Confirm};
    QTest::newRow("random keys") << 0 << anyKeys << 12;
    QTest::newRow("six-digit score, pieces in the left columns") << sixDigits << leftKeys << 4;
    // Shorter games for the other scale factors and real screens, where
    // reading each refresh back costs more.
    QTest::newRow("random keys, two games") << 0 << anyKeys << 2;
    QTest::newRow("six-digit score, one game") << sixDigits << leftKeys << 1;
}

void GameDrawingTest::screenMatchesAFullRepaintThroughoutPlay()
{
    QFETCH(int32_t, score);
    QFETCH(QList<Command>, keys);
    QFETCH(int, games);
    QTemporaryDir dir;
    WindowRig rig;
    rig.script = std::make_unique<EventScript>(rig.clock);
    rig.makeWindow(ScoreFilePaths{dir.filePath("Scores.dat"), dir.filePath("Scores.dat")});
    FrmGame& window = *rig.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    GameState& s = rig.state();
    int refreshes = 0;
    int wrong = 0;
    int leftOut = 0;
    const auto show = window.renderer().onFieldRefresh;
    PictureBox& field = *window.picQuadixField;
    const QImage& image = window.renderer().fieldImage();
    QImage shownParts = image.copy(); // every part handed over, and nothing else
    window.renderer().onFieldRefresh = [&](const QRect& changed) {
        show(changed);
        ++refreshes;
        // Only what changed since the last refresh is handed over: no
        // changed pixel may be left out of it.
        QPainter(&shownParts).drawImage(changed.topLeft(), image, changed);
        leftOut += shownParts != image;
        // The changed part and a little around it, where a pixel left out or
        // painted too far would be.
        const QRect around =
            QRect(field.mapTo(&window, field.clientRect().topLeft() + changed.topLeft()), changed.size())
                .adjusted(-2, -2, 2, 2);
        paintPending(window);
        const QImage shown = onScreen(window, around);
        // As Qt repaints the playfield whole: the edge, the image, and what lies over them.
        field.repaint();
        const QImage whole = onScreen(window, around);
        if (shown != whole && wrong++ == 0)
            qWarning("the screen differs from a full repaint after refresh %d, shown %d,%d %dx%d", refreshes,
                     changed.x(), changed.y(), changed.width(), changed.height());
    };
    std::mt19937 rng(5);
    int lines = 0;
    for (int game = 0; game < games; ++game) {
        window.game().NewGame();
        s.score = score;
        window.ShowScore(score);
        // A stack of rows each one block short, so that locks clear rows.
        QStringList stack;
        for (int r = 0; r < 8; ++r) {
            QString row(10, '3');
            row[int(rng() % 10)] = '.';
            stack << row;
        }
        putRows(s, stack, kBottomRow);
        window.game().DrawAllBlocks();
        s.gameRunning = true;
        s.paused = false;
        for (int step = 0; step < 20000 && s.stopState != 2; ++step) {
            window.flow().picQuadixField_KeyDown(keys[int(rng() % keys.size())]);
            if (step == 500) {       // the stack hidden, then shown again
                window.flow().mnuPause_Click();
                window.flow().mnuPause_Click();
            }
            if (s.dropHeld > 0)
                s.dropHeld = s.dropHeld >= kSpawnPauseSteps ? 0 : s.dropHeld + 1;
            else
                window.game().Falling();
        }
        lines += s.lines;
        s.gameRunning = false;
    }
    QCOMPARE(leftOut, 0);
    QCOMPARE(wrong, 0);
    QVERIFY(refreshes > 400 * games);
    QVERIFY2(lines > 0, "no row was cleared");
}

QTEST_MAIN(GameDrawingTest)
#include "tst_game_drawing.moc"
