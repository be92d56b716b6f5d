// Block drawing onto the playfield and preview images, read back pixel by pixel.
#include <QImage>
#include <QtTest>

#include "render/BlockRenderer.h"
#include "render/TileSheet.h"

using namespace quadix;

namespace {

QImage rgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

// Pixels of the image outside `area` that are not black.
int litOutside(const QImage& image, const QRect& area)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!area.contains(x, y) && (image.pixel(x, y) & 0xFFFFFF) != 0)
                ++lit;
    return lit;
}

} // namespace

class BlockRendererTest : public QObject {
    Q_OBJECT
    int32_t dc_ = 0;
    QImage sheet_;

    QImage largeTile(int k) const { return sheet_.copy(14 * k, 0, 14, 14); }
    QImage smallTile(int k) const { return sheet_.copy(7 * k, 14, 7, 7); }

private slots:
    void initTestCase()
    {
        dc_ = GenerateDC();
        QVERIFY(TileSheetOf(dc_) && !TileSheetOf(dc_)->isNull());
        sheet_ = rgb(*TileSheetOf(dc_));
    }

    void cleanupTestCase() { DeleteTileDC(dc_); }

    void surfacesStartBlack()
    {
        BlockRenderer r(dc_);
        QCOMPARE(r.fieldImage().size(), QSize(141, 365));
        QCOMPARE(r.previewImage().size(), QSize(45, 93));
        QCOMPARE(litOutside(rgb(r.fieldImage()), QRect()), 0);
        QCOMPARE(litOutside(rgb(r.previewImage()), QRect()), 0);
    }

    void drawBlockCopiesTile_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("colour");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QPoint>("at");     // top-left pixel on the target
        QTest::addColumn<int>("tile");
        QTest::newRow("field, scale 0 counts cells") << 2 << 3 << 1 << 1 << 0 << QPoint(28, 42) << 1;
        QTest::newRow("field, scale 14 as scale 0") << 2 << 3 << 1 << 1 << 14 << QPoint(28, 42) << 1;
        QTest::newRow("field, scale 1 counts pixels") << 5 << 7 << 3 << 1 << 1 << QPoint(5, 7) << 3;
        QTest::newRow("field, scale 2") << 3 << 4 << 6 << 1 << 2 << QPoint(6, 8) << 6;
        QTest::newRow("field, last cell") << 9 << 25 << 7 << 1 << 0 << QPoint(126, 350) << 7;
        QTest::newRow("field, colour 8") << 0 << 0 << 8 << 1 << 0 << QPoint(0, 0) << 8;
        QTest::newRow("field, colour 9 is grey") << 0 << 0 << 9 << 1 << 0 << QPoint(0, 0) << 8;
        QTest::newRow("field, colour 15 is grey") << 1 << 1 << 15 << 1 << 0 << QPoint(14, 14) << 8;
        QTest::newRow("field, colour 22 is grey") << 4 << 9 << 22 << 1 << 0 << QPoint(56, 126) << 8;
        QTest::newRow("preview, cell units") << 1 << 2 << 4 << 2 << 0 << QPoint(7, 14) << 4;
        QTest::newRow("preview ignores scale") << 1 << 2 << 4 << 2 << 5 << QPoint(7, 14) << 4;
        QTest::newRow("preview, last cell") << 5 << 12 << 2 << 2 << 0 << QPoint(35, 84) << 2;
        QTest::newRow("preview, colour 22 is grey") << 0 << 0 << 22 << 2 << 0 << QPoint(0, 0) << 8;
    }

    void drawBlockCopiesTile()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, colour);
        QFETCH(int, target);
        QFETCH(int, scale);
        QFETCH(QPoint, at);
        QFETCH(int, tile);

        BlockRenderer r(dc_);
        r.DrawBlock(x, y, colour, target, scale);

        const QImage drawn = rgb(target == 1 ? r.fieldImage() : r.previewImage());
        const QImage untouched = rgb(target == 1 ? r.previewImage() : r.fieldImage());
        const QImage want = target == 1 ? largeTile(tile) : smallTile(tile);
        const QRect area(at, want.size());
        QCOMPARE(drawn.copy(area), want);
        QCOMPARE(litOutside(drawn, area), 0);
        QCOMPARE(litOutside(untouched, QRect()), 0);
    }

    void drawBlockIgnores_data()
    {
        QTest::addColumn<int>("colour");
        QTest::addColumn<int>("target");
        QTest::newRow("target 0") << 3 << 0;
        QTest::newRow("target 3") << 3 << 3;
        QTest::newRow("target -1") << 3 << -1;
        QTest::newRow("negative colour on field") << -1 << 1;
        QTest::newRow("negative colour in preview") << -5 << 2;
    }

    void drawBlockIgnores()
    {
        QFETCH(int, colour);
        QFETCH(int, target);
        BlockRenderer r(dc_);
        int previewCalls = 0;
        r.onPreviewChanged = [&] { ++previewCalls; };
        r.DrawBlock(1, 1, colour, target, 0);
        QCOMPARE(litOutside(rgb(r.fieldImage()), QRect()), 0);
        QCOMPARE(litOutside(rgb(r.previewImage()), QRect()), 0);
        QCOMPARE(previewCalls, 0);
    }

    // Moving a piece erases it by drawing colour 0 over its old place.
    void colourZeroPaintsBlack_data()
    {
        QTest::addColumn<int>("target");
        QTest::newRow("field") << 1;
        QTest::newRow("preview") << 2;
    }

    void colourZeroPaintsBlack()
    {
        QFETCH(int, target);
        BlockRenderer r(dc_);
        r.DrawBlock(2, 2, 5, target, 0);
        r.DrawBlock(2, 2, 0, target, 0);
        QCOMPARE(litOutside(rgb(target == 1 ? r.fieldImage() : r.previewImage()), QRect()), 0);
    }

    // A falling piece is drawn partly above the well; only the visible part lands.
    void drawBlockClipsAtTheEdges_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QRect>("visible");   // of the tile, in tile pixels
        QTest::newRow("above the top") << QPoint(14, -5) << QRect(0, 5, 14, 9);
        QTest::newRow("over the top left") << QPoint(-7, -7) << QRect(7, 7, 7, 7);
        QTest::newRow("over the bottom right") << QPoint(134, 358) << QRect(0, 0, 7, 7);
        QTest::newRow("far outside") << QPoint(-1000, 5000) << QRect();
    }

    void drawBlockClipsAtTheEdges()
    {
        QFETCH(QPoint, at);
        QFETCH(QRect, visible);
        BlockRenderer r(dc_);
        r.DrawBlock(at.x(), at.y(), 2, 1, 1);
        const QImage field = rgb(r.fieldImage());
        const QRect onField = visible.translated(at);
        if (!visible.isEmpty())   // copy() of an empty rectangle means the whole image
            QCOMPARE(field.copy(onField), largeTile(2).copy(visible));
        QCOMPARE(litOutside(field, onField), 0);
    }

    void previewChangesAreAnnounced()
    {
        BlockRenderer r(dc_);
        int previewCalls = 0;
        int refreshCalls = 0;
        r.onPreviewChanged = [&] { ++previewCalls; };
        r.onFieldRefresh = [&](const QRect&) { ++refreshCalls; };
        r.DrawBlock(0, 0, 1, 2, 0);
        r.DrawBlock(1, 0, 1, 2, 0);
        QCOMPARE(previewCalls, 2);
        r.ClearPreview();
        QCOMPARE(previewCalls, 3);
        QCOMPARE(litOutside(rgb(r.previewImage()), QRect()), 0);
        QCOMPARE(refreshCalls, 0);
    }

    // The field is shown only when the game says so, never tile by tile, and
    // then exactly the pixels that changed since the last time go out: one
    // missed would stay wrong on the screen.
    void fieldIsShownOnlyOnRefreshWithWhatChanged()
    {
        BlockRenderer r(dc_);
        int previewCalls = 0;
        QList<QRect> shown;
        r.onPreviewChanged = [&] { ++previewCalls; };
        r.onFieldRefresh = [&](const QRect& changed) { shown << changed; };
        r.DrawBlock(0, 0, 1, 1, 0);
        r.ClearField();
        QVERIFY(shown.isEmpty());
        QCOMPARE(litOutside(rgb(r.fieldImage()), QRect()), 0);
        r.RefreshField();
        QCOMPARE(shown, QList<QRect>{QRect(0, 0, 141, 365)});  // a cleared field goes out whole

        r.DrawBlock(20, 30, 3, 1, 1);
        r.DrawBlock(20, 31, 3, 1, 1);
        r.DrawBlock(5, -9, 3, 1, 1);   // above the well: only its lowest 5 rows exist
        r.DrawBlock(140, 0, 3, 1, 1);  // past the right edge: one column
        r.RefreshField();
        QCOMPARE(shown.last(), QRect(5, 0, 136, 45));
        r.RefreshField();
        QCOMPARE(shown.last(), QRect());  // nothing new to show
        r.DrawBlock(0, 0, 1, 2, 0);
        r.RefreshField();
        QCOMPARE(shown.last(), QRect());  // the preview is not the field
        QCOMPARE(previewCalls, 1);
    }

    void callbacksAreOptional()
    {
        BlockRenderer r(dc_);
        r.DrawBlock(0, 0, 1, 2, 0);
        r.ClearPreview();
        r.RefreshField();
        QCOMPARE(rgb(r.previewImage()).pixel(0, 0) & 0xFFFFFF, 0u);
    }

    // The main window sets tileDC after making the renderer; until then, and
    // after the context is released, drawing does nothing.
    void drawBlockReadsTileDCEachTime()
    {
        int32_t tileDC = 0;
        BlockRenderer r(tileDC);
        r.DrawBlock(0, 0, 1, 1, 0);
        QCOMPARE(litOutside(rgb(r.fieldImage()), QRect()), 0);

        tileDC = GenerateDC();
        r.DrawBlock(0, 0, 1, 1, 0);
        QCOMPARE(rgb(r.fieldImage()).copy(0, 0, 14, 14), largeTile(1));

        DeleteTileDC(tileDC);
        r.DrawBlock(1, 0, 1, 1, 0);
        QCOMPARE(litOutside(rgb(r.fieldImage()), QRect(0, 0, 14, 14)), 0);
    }
};

QTEST_MAIN(BlockRendererTest)
#include "BlockRendererTest.moc"
