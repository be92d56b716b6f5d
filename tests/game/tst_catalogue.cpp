// The catalogue, the new-game reset and the queue of upcoming pieces.
#include <QtTest>

#include "control/GameFlow.h"
#include "game/Catalogue.h"
#include "support/BoardText.h"
#include "support/ModelFakes.h"

using namespace quadix;
using namespace quadix::test;

using Offsets = QList<QPoint>;
Q_DECLARE_METATYPE(Offsets)

class CatalogueTest : public QObject {
    Q_OBJECT

private slots:
    void shapesMatchTheCatalogue_data();
    void shapesMatchTheCatalogue();
    void bothShapeStringsAreReadToTheirEnd();
    void resetLeavesOnlyWallsAndFloor();
    void resetSetsCountersAndTables();
    void spawnRulePlacesEveryDealtType_data();
    void spawnRulePlacesEveryDealtType();
    void newGameKeepsFallPixelAndLockCounter();
    void firstPieceIsTheFourthDraw();
    void previewShowsTheQueueTopToBottom_data();
    void previewShowsTheQueueTopToBottom();
    void dealtPieceStartsInCatalogueOrientation();
    void seededGamesDealOnlyTypesOneToSeven();
};

void CatalogueTest::shapesMatchTheCatalogue_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Offsets>("offsets");
    const QList<Offsets> table = {
        {{-2, 0}, {-1, 0}, {1, 0}},
        {{-1, 0}, {0, 1}, {1, 1}},
        {{1, 0}, {0, 1}, {-1, 1}},
        {{-1, 1}, {-1, 0}, {1, 0}},
        {{-1, 0}, {1, 0}, {1, 1}},
        {{-1, 0}, {-1, 1}, {0, 1}},
        {{-1, 0}, {1, 0}, {0, 1}},
        {{-2, 0}, {-1, 0}, {1, 0}, {2, 0}},
        {{1, 1}, {0, 1}, {-1, 0}, {-2, 0}},
        {{-1, 1}, {0, 1}, {1, 0}, {2, 0}},
        {{-1, 1}, {0, 1}, {1, 0}, {1, 1}},
        {{1, 1}, {0, 1}, {-1, 0}, {-1, 1}},
        {{0, 1}, {-1, -1}, {0, -1}, {1, -1}},
        {{-1, 0}, {0, -1}, {1, 0}, {2, 0}},
        {{-2, 0}, {-1, 0}, {0, -1}, {1, 0}},
        {{-1, -1}, {-1, 0}, {1, 0}, {2, 0}},
        {{1, -1}, {1, 0}, {-1, 0}, {-2, 0}},
        {{0, -1}, {-1, 0}, {1, -1}, {-1, 1}},
        {{-1, 1}, {-1, 0}, {0, -1}, {1, -1}},
        {{-1, 0}, {1, -1}, {1, 0}, {0, 1}},
        {{1, 0}, {0, 1}, {-1, 0}, {-1, -1}},
        {{0, -2}, {0, -1}, {1, 0}, {2, 0}},
    };
    for (int type = 1; type <= 22; ++type)
        QTest::addRow("type %d", type) << type << table[type - 1];
}

void CatalogueTest::shapesMatchTheCatalogue()
{
    QFETCH(int, type);
    QFETCH(Offsets, offsets);
    GameState s;
    BuildShapes(s);
    BuildTables(s);
    QCOMPARE(s.lastBlock[type], offsets.size());
    QCOMPARE(s.shapeDX(type, 0), 0);
    QCOMPARE(s.shapeDY(type, 0), 0);
    for (int j = 1; j <= offsets.size(); ++j) {
        QCOMPARE(QPoint(s.shapeDX(type, j), s.shapeDY(type, j)), offsets[j - 1]);
    }
    if (type <= 7) {
        QCOMPARE(s.shapeDX(type, 4), 0); // slot 4 of a four-block type is never written
        QCOMPARE(s.shapeDY(type, 4), 0);
    }
}

void CatalogueTest::bothShapeStringsAreReadToTheirEnd()
{
    GameState s;
    ShapeReadCount read = BuildShapes(s);
    QCOMPARE(read.fourBlock, 42);
    QCOMPARE(read.fiveBlock, 120);
    QCOMPARE(int(sizeof(kFourBlockShapes)) - 1, 42);
    QCOMPARE(int(sizeof(kFiveBlockShapes)) - 1, 120);
}

void CatalogueTest::resetLeavesOnlyWallsAndFloor()
{
    ModelRig rig;
    // Whatever the last game left, including cells far outside the well.
    for (int c = 0; c < kBoardColumns; ++c)
        for (int r = 0; r < kBoardRows; ++r)
            rig.s.board(c, r) = static_cast<int16_t>((c * 7 + r) % 9);
    rig.s.rowFill[20] = 7;
    rig.s.rowCleared[21] = 1;
    rig.s.clearedRows[1] = 21;
    rig.game.NewGame();

    int walls = 0;
    for (int c = 0; c < kBoardColumns; ++c) {
        for (int r = 0; r < kBoardRows; ++r) {
            bool wall = ((c == 9 || c == 20) && r <= 36) || (r == 36 && c >= 10 && c <= 19);
            QCOMPARE(rig.s.board(c, r), wall ? kWall : 0);
            walls += wall;
        }
    }
    QCOMPARE(walls, 84);
    QCOMPARE(rig.s.rowFill[20], 0);
    QCOMPARE(rig.s.rowCleared[21], 0);
    QCOMPARE(rig.s.clearedRows[1], 0);
}

void CatalogueTest::resetSetsCountersAndTables()
{
    ModelRig rig;
    rig.s.score = 999;
    rig.s.lines = 50;
    rig.s.level = 5;
    rig.s.stopState = 2;
    rig.s.fallInterval = 3;
    rig.s.previewCount = 1;
    rig.game.NewGame();
    QCOMPARE(rig.s.pieceTypeCount, 7);
    QCOMPARE(rig.s.score, 0);
    QCOMPARE(rig.s.lines, 0);
    QCOMPARE(rig.s.level, 0);
    QCOMPARE(rig.s.stopState, 0);
    QCOMPARE(rig.s.fallInterval, 25);
    QCOMPARE(rig.s.previewCount, 4);
    const int points[] = {0, 40, 100, 300, 1200, 2400};
    for (int rows = 0; rows <= 5; ++rows)
        QCOMPARE(rig.s.lineScore[rows], points[rows]);
    QCOMPARE(rig.scoreboard.score, 0);
    QCOMPARE(rig.scoreboard.lines, 0);
    QCOMPARE(rig.scoreboard.level, 0);
    QCOMPARE(rig.screen.fieldClears, 1);
}

void CatalogueTest::spawnRulePlacesEveryDealtType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("topRows");
    QTest::newRow("1") << 1 << "...@@@@...\n..........";
    QTest::newRow("2") << 2 << "...@@.....\n....@@....";
    QTest::newRow("3") << 3 << "....@@....\n...@@.....";
    QTest::newRow("4") << 4 << "...@@@....\n...@......";
    QTest::newRow("5") << 5 << "...@@@....\n.....@....";
    QTest::newRow("6") << 6 << "....@@....\n....@@....";
    QTest::newRow("7") << 7 << "...@@@....\n....@.....";
}

void CatalogueTest::spawnRulePlacesEveryDealtType()
{
    QFETCH(int, type);
    QFETCH(QString, topRows);
    ModelRig rig;
    rig.random.types = {1, 1, 1, type, 1};
    rig.game.NewGame();
    QCOMPARE(rig.s.pieceType, type);
    QCOMPARE(rig.s.pieceY, 10);
    QCOMPARE(pieceText(rig.s, 10, 11), topRows);
}

void CatalogueTest::newGameKeepsFallPixelAndLockCounter()
{
    ModelRig rig;
    rig.game.NewGame();
    QCOMPARE(rig.s.fallPixel, 0); // first piece of the first game: drawn 14 pixels high
    QCOMPARE(rig.screen.calls.back().y, (10 - 11) * 14 + 0);
    rig.s.fallPixel = 9;
    rig.s.lockCounter = 4;
    rig.s.dropHeld = 3;
    rig.game.NewGame();
    QCOMPARE(rig.s.fallPixel, 9);
    QCOMPARE(rig.s.lockCounter, 4);
    QCOMPARE(rig.s.dropHeld, 3);
}

void CatalogueTest::firstPieceIsTheFourthDraw()
{
    ModelRig rig;
    rig.random.types = {2, 3, 4, 5, 6, 7};
    rig.game.NewGame();
    QCOMPARE(rig.s.pieceType, 5);
    QCOMPARE(rig.s.nextPieces[4], 4); // shown at the top of the preview
    QCOMPARE(rig.s.nextPieces[3], 3);
    QCOMPARE(rig.s.nextPieces[2], 2);
    QCOMPARE(rig.s.nextPieces[1], 6);
    rig.game.PickRandom();
    QCOMPARE(rig.s.pieceType, 4);
    rig.game.PickRandom();
    rig.game.PickRandom();
    rig.game.PickRandom();
    QCOMPARE(rig.s.pieceType, 6); // the fifth draw is dealt fifth
}

void CatalogueTest::previewShowsTheQueueTopToBottom_data()
{
    QTest::addColumn<int>("previewCount");
    QTest::addColumn<QString>("picture");
    // Queue after the second deal, top to bottom: 6 (square), 7 (T), 2 (Z), 5.
    QTest::newRow("four") << 4
        << "......|..66..|..66..|......|.777..|..7...|......|.22...|..22..|......|.555..|...5..|......";
    QTest::newRow("three") << 3
        << "......|..66..|..66..|......|.777..|..7...|......|.22...|..22..|......|......|......|......";
    QTest::newRow("two") << 2
        << "......|..66..|..66..|......|.777..|..7...|......|......|......|......|......|......|......";
    QTest::newRow("one") << 1
        << "......|..66..|..66..|......|......|......|......|......|......|......|......|......|......";
}

void CatalogueTest::previewShowsTheQueueTopToBottom()
{
    QFETCH(int, previewCount);
    QFETCH(QString, picture);
    ModelRig rig;
    rig.random.types = {7, 6, 1, 3, 2, 5};
    rig.game.NewGame();
    rig.s.previewCount = static_cast<int16_t>(previewCount);
    const int clearsBefore = rig.screen.previewClears;
    rig.game.PickRandom();
    QCOMPARE(rig.s.pieceType, 1);
    QCOMPARE(rig.screen.previewClears, clearsBefore + 1);
    QStringList rows;
    for (int y = 0; y <= 12; ++y) {
        QString line;
        for (int x = 0; x <= 5; ++x) {
            auto it = rig.screen.preview.find({x, y});
            line += it == rig.screen.preview.end() ? QChar('.') : QChar('0' + it->second);
        }
        rows << line;
    }
    QCOMPARE(rows.join('|'), picture);
}

void CatalogueTest::dealtPieceStartsInCatalogueOrientation()
{
    ModelRig rig;
    rig.random.types = {7, 7, 7, 7, 7, 7};
    rig.game.NewGame();
    rig.s.pieceY = 20;
    MovePiece(rig.game, Command::TurnClockwise);
    QCOMPARE(rig.s.pieceDX[1], 0); // turned
    rig.game.PickRandom();
    for (int j = 0; j <= 3; ++j) {
        QCOMPARE(rig.s.pieceDX[j], rig.s.shapeDX(7, j));
        QCOMPARE(rig.s.pieceDY[j], rig.s.shapeDY(7, j));
    }
}

void CatalogueTest::seededGamesDealOnlyTypesOneToSeven()
{
    RecordingScreen screen;
    RecordingScoreboard scoreboard;
    RecordingSound sound;
    FakeClock clock;
    QList<int> counts(8, 0);
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        SeededRandom random(seed);
        Game game(screen, scoreboard, sound, clock, random);
        game.NewGame();
        for (int deal = 0; deal < 500; ++deal) {
            game.PickRandom();
            int t = game.state.pieceType;
            QVERIFY2(t >= 1 && t <= 7, qPrintable(QString::number(t)));
            ++counts[t];
            for (int slot = 1; slot <= 4; ++slot)
                QVERIFY(game.state.nextPieces[slot] >= 1 && game.state.nextPieces[slot] <= 7);
        }
    }
    // 10,000 deals: every type turns up, none wildly more than another.
    for (int t = 1; t <= 7; ++t)
        QVERIFY2(counts[t] > 1200 && counts[t] < 1650, qPrintable(QString("type %1: %2").arg(t).arg(counts[t])));
}

QTEST_APPLESS_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
