// The embedded tile sheet and the contexts that hold it.
#include <QImage>
#include <QImage>
#include <QtTest>

#include "render/TileSheet.h"

using namespace quadix;

namespace {

// Which face owns each pixel of a large tile: the diagonals belong to the
// left and right faces, and the centre (7, 7) to the right one.
const char* const kFaceMap[14] = {
    "LTTTTTTTTTTTTR",
    "LLTTTTTTTTTTRR",
    "LLLTTTTTTTTRRR",
    "LLLLTTTTTTRRRR",
    "LLLLLTTTTRRRRR",
    "LLLLLLTTRRRRRR",
    "LLLLLLLRRRRRRR",
    "LLLLLLLRRRRRRR",
    "LLLLLLBBRRRRRR",
    "LLLLLBBBBRRRRR",
    "LLLLBBBBBBRRRR",
    "LLLBBBBBBBBRRR",
    "LLBBBBBBBBBBRR",
    "LBBBBBBBBBBBBR",
};

QImage sheetImage()
{
    const int32_t dc = GenerateDC();
    const QImage* sheet = TileSheetOf(dc);
    QImage image = sheet ? sheet->convertToFormat(QImage::Format_RGB32) : QImage();
    DeleteTileDC(dc);
    return image;
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString hex(QRgb c)
{
    return QString::asprintf("%06X", c & 0xFFFFFF);
}

} // namespace

class TileSheetTest : public QObject {
    Q_OBJECT
    QImage sheet_;

private slots:
    void initTestCase()
    {
        sheet_ = sheetImage();
        QCOMPARE(sheet_.size(), QSize(kSheetWidth, kSheetHeight));
    }

    void tileFacesMatchColourTable_data()
    {
        QTest::addColumn<int>("tile");
        QTest::addColumn<QRgb>("top");
        QTest::addColumn<QRgb>("left");
        QTest::addColumn<QRgb>("right");
        QTest::addColumn<QRgb>("bottom");
        QTest::newRow("0 black") << 0 << 0x000000u << 0x000000u << 0x000000u << 0x000000u;
        QTest::newRow("1 blue") << 1 << 0xA0DFEFu << 0x50A0E0u << 0x80C7EFu << 0x2F80DFu;
        QTest::newRow("2 rose") << 2 << 0xF0CFCFu << 0xDF787Fu << 0xEFA0A0u << 0xB0585Fu;
        QTest::newRow("3 violet") << 3 << 0xBFA0DFu << 0x8058A0u << 0x9F78BFu << 0x6F409Fu;
        QTest::newRow("4 yellow") << 4 << 0xF0F7A0u << 0xBFBF00u << 0xF0F000u << 0x9F9800u;
        QTest::newRow("5 beige") << 5 << 0xF0DFAFu << 0xD0A780u << 0xE0BF90u << 0xC0886Fu;
        QTest::newRow("6 orange") << 6 << 0xF0AF6Fu << 0xC07820u << 0xDF903Fu << 0xAF601Fu;
        QTest::newRow("7 green") << 7 << 0x7FF77Fu << 0x3F983Fu << 0x50BF50u << 0x207820u;
        QTest::newRow("8 grey") << 8 << 0xEFEFEFu << 0x7F787Fu << 0xB0B0B0u << 0x3F3F3Fu;
    }

    // Every pixel of the large tile has its face's exact colour.
    void tileFacesMatchColourTable()
    {
        QFETCH(int, tile);
        QFETCH(QRgb, top);
        QFETCH(QRgb, left);
        QFETCH(QRgb, right);
        QFETCH(QRgb, bottom);
        const QHash<char, QRgb> face{{'T', top}, {'L', left}, {'R', right}, {'B', bottom}};

        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 14; ++x) {
                const QRgb got = sheet_.pixel(14 * tile + x, y) & 0xFFFFFF;
                if (got != face[kFaceMap[y][x]])
                    QFAIL(qPrintable(QString("large pixel (%1,%2): %3, face %4 wants %5")
                                         .arg(x).arg(y).arg(hex(got)).arg(kFaceMap[y][x])
                                         .arg(hex(face[kFaceMap[y][x]]))));
            }

        // The half-size tile keeps a recognisable patch of each face...
        const struct { int x, y; QRgb want; } inside[] = {
            {3, 0, top}, {0, 3, left}, {6, 3, right}, {3, 5, bottom}};
        for (const auto& p : inside) {
            const QRgb got = sheet_.pixel(7 * tile + p.x, 14 + p.y);
            QVERIFY2(near(got, p.want, 16),
                     qPrintable(QString("small pixel (%1,%2): %3, wants about %4")
                                    .arg(p.x).arg(p.y).arg(hex(got)).arg(hex(p.want))));
        }
        // ...and its blended pixels never leave the range of the four faces.
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 7; ++x) {
                const QRgb got = sheet_.pixel(7 * tile + x, 14 + y);
                auto within = [&](int (*channel)(QRgb)) {
                    const int lo = std::min({channel(top), channel(left), channel(right), channel(bottom)});
                    const int hi = std::max({channel(top), channel(left), channel(right), channel(bottom)});
                    return channel(got) >= lo && channel(got) <= hi;
                };
                QVERIFY2(within(qRed) && within(qGreen) && within(qBlue),
                         qPrintable(QString("small pixel (%1,%2): %3").arg(x).arg(y).arg(hex(got))));
            }
    }

    void stripRightOfSmallTilesIsWhite()
    {
        for (int y = 14; y < 21; ++y)
            for (int x = 63; x < 126; ++x)
                QCOMPARE(hex(sheet_.pixel(x, y)), QString("FFFFFF"));
    }

    void generateDCGivesDistinctPositiveHandles()
    {
        const int32_t a = GenerateDC();
        const int32_t b = GenerateDC();
        QVERIFY(a >= 1);
        QVERIFY(b >= 1);
        QVERIFY(a != b);
        QVERIFY(TileSheetOf(a) && TileSheetOf(b));
        QCOMPARE(TileSheetOf(b)->size(), QSize(kSheetWidth, kSheetHeight));
        QVERIFY(DeleteTileDC(a) != 0);
        QVERIFY(TileSheetOf(b) != nullptr);   // releasing one leaves the other
        QVERIFY(DeleteTileDC(b) != 0);
    }

    void deleteTileDCRefuses_data()
    {
        QTest::addColumn<int32_t>("dc");
        QTest::newRow("zero") << int32_t(0);
        QTest::newRow("minus one") << int32_t(-1);
        QTest::newRow("most negative") << std::numeric_limits<int32_t>::min();
        QTest::newRow("never made") << std::numeric_limits<int32_t>::max();
    }

    void deleteTileDCRefuses()
    {
        QFETCH(int32_t, dc);
        const int32_t live = GenerateDC();
        QCOMPARE(DeleteTileDC(dc), 0);
        QVERIFY(TileSheetOf(live) != nullptr);
        DeleteTileDC(live);
    }

    void deleteTileDCReleasesOnlyOnce()
    {
        const int32_t dc = GenerateDC();
        QVERIFY(DeleteTileDC(dc) != 0);
        QVERIFY(TileSheetOf(dc) == nullptr);
        QCOMPARE(DeleteTileDC(dc), 0);
    }
};

QTEST_MAIN(TileSheetTest)
#include "TileSheetTest.moc"
