// The picture boxes of the playfield and the preview: the sunken edge, the
// black client area, the image shown 1:1 and sharp at any pixel ratio, and
// the focus reports the game relies on.
#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "ui/PictureBox.h"

using quadix::PictureBox;

Q_DECLARE_METATYPE(Qt::FocusReason)

namespace {

// Every pixel differs from its neighbours, so any blending or shift shows.
QImage pattern(int width, int height, qreal ratio)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(20 + 40 * (x % 6), 20 + 25 * (y % 9), (x + y) % 2 ? 255 : 60));
    image.setDevicePixelRatio(ratio);
    return image;
}

QImage paint(PictureBox& box, qreal ratio)
{
    QImage target(box.size() * ratio, QImage::Format_RGB32);
    target.setDevicePixelRatio(ratio);
    target.fill(Qt::magenta);
    box.render(&target);
    return target;
}

} // namespace

class PictureBoxTest : public QObject {
    Q_OBJECT

private slots:
    void edgeIsSunkenAroundABlackClient_data()
    {
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<QColor>("colour");
        const QColor shadow(128, 128, 128), white(255, 255, 255), black(0, 0, 0), light(192, 192, 192);
        // A 20 x 10 box. The bottom and right lines own the shared corners.
        QTest::newRow("outer top-left") << QPoint(0, 0) << shadow;
        QTest::newRow("outer top") << QPoint(8, 0) << shadow;
        QTest::newRow("outer left") << QPoint(0, 5) << shadow;
        QTest::newRow("outer top-right") << QPoint(19, 0) << white;
        QTest::newRow("outer bottom-left") << QPoint(0, 9) << white;
        QTest::newRow("outer bottom-right") << QPoint(19, 9) << white;
        QTest::newRow("inner top-left") << QPoint(1, 1) << black;
        QTest::newRow("inner top") << QPoint(8, 1) << black;
        QTest::newRow("inner left") << QPoint(1, 5) << black;
        QTest::newRow("inner top-right") << QPoint(18, 1) << light;
        QTest::newRow("inner bottom-left") << QPoint(1, 8) << light;
        QTest::newRow("inner bottom") << QPoint(8, 8) << light;
        QTest::newRow("client corner") << QPoint(2, 2) << black;
        QTest::newRow("client") << QPoint(17, 7) << black;
    }
    void edgeIsSunkenAroundABlackClient()
    {
        QFETCH(QPoint, pixel);
        QFETCH(QColor, colour);
        PictureBox box;
        box.resize(20, 10);
        QCOMPARE(box.clientRect(), QRect(2, 2, 16, 6));
        QCOMPARE(paint(box, 1).pixelColor(pixel), colour);
    }

    void imageShowsOneToOneAtTheClientOrigin_data()
    {
        QTest::addColumn<QSize>("logicalSize");
        QTest::addColumn<qreal>("imageRatio");
        QTest::addColumn<qreal>("screenRatio");
        QTest::newRow("smaller, ratio 1") << QSize(5, 3) << 1.0 << 1.0;
        QTest::newRow("larger, clipped") << QSize(30, 30) << 1.0 << 1.0;
        QTest::newRow("doubled sharply on ratio 2") << QSize(16, 6) << 1.0 << 2.0;
        QTest::newRow("ratio-2 image on ratio 2") << QSize(16, 6) << 2.0 << 2.0;
        // Desktops at 120, 128 and 168 dpi: an image pixel covers one or two
        // device pixels, never a blend of two.
        QTest::newRow("sharp at 1.25") << QSize(16, 6) << 1.0 << 1.25;
        QTest::newRow("sharp at 1.33") << QSize(16, 6) << 1.0 << 1.33;
        QTest::newRow("ratio-2 image at 1.75") << QSize(16, 6) << 2.0 << 1.75;
    }
    void imageShowsOneToOneAtTheClientOrigin()
    {
        QFETCH(QSize, logicalSize);
        QFETCH(qreal, imageRatio);
        QFETCH(qreal, screenRatio);
        PictureBox box;
        box.resize(20, 10);
        const QImage source = pattern(logicalSize.width() * imageRatio, logicalSize.height() * imageRatio, imageRatio);
        box.setImage(&source);
        const QImage shown = paint(box, screenRatio);
        // Each device pixel shows the image pixel under its centre; where the
        // centre falls on an edge between two, either is right.
        const qreal scale = shown.devicePixelRatioF(); // as Qt's painter keeps it: 1.33 is 1.3299866
        const auto onEdge = [imageRatio](qreal logical) {
            return qAbs(logical * imageRatio - qRound(logical * imageRatio)) < 1e-3;
        };
        const QRectF client(box.clientRect());
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const QPointF centre((x + 0.5) / scale, (y + 0.5) / scale);
                if (onEdge(centre.x()) || onEdge(centre.y()))
                    continue;
                const QPointF d = centre - client.topLeft();
                const QPoint inImage(qFloor(d.x() * imageRatio), qFloor(d.y() * imageRatio));
                if (!client.contains(centre))
                    QVERIFY(shown.pixelColor(x, y) != QColor(Qt::magenta));  // the edge, whole
                else if (source.rect().contains(inImage))
                    QCOMPARE(shown.pixelColor(x, y), source.pixelColor(inImage));
                else
                    QCOMPARE(shown.pixelColor(x, y), QColor(Qt::black));
            }
        }
        box.setImage(nullptr);
        QCOMPARE(paint(box, 1).pixelColor(2, 2), QColor(Qt::black));
    }

    void focusLostOnlyWhenAnotherControlTakesIt_data()
    {
        QTest::addColumn<Qt::FocusReason>("reason");
        QTest::addColumn<bool>("reported");
        QTest::newRow("Tab") << Qt::TabFocusReason << true;
        QTest::newRow("mouse click") << Qt::MouseFocusReason << true;
        QTest::newRow("set by the program") << Qt::OtherFocusReason << true;
        QTest::newRow("another window activated") << Qt::ActiveWindowFocusReason << false;
        QTest::newRow("menu opened") << Qt::PopupFocusReason << false;
    }
    void focusLostOnlyWhenAnotherControlTakesIt()
    {
        QFETCH(Qt::FocusReason, reason);
        QFETCH(bool, reported);
        PictureBox box;
        QSignalSpy lost(&box, &PictureBox::focusLost);
        QFocusEvent focusOut(QEvent::FocusOut, reason);
        QApplication::sendEvent(&box, &focusOut);
        QCOMPARE(lost.count(), reported ? 1 : 0);
    }

    // A refresh puts the changed part of the image into the window's backing
    // store before it returns, without a paint event, and only that part:
    // copied row by row, or written pixel by pixel when the image has pixels
    // of its own size. A control that lies over the part (created after the
    // box, even one that lets the box show through, as the score does) stays
    // on top: the part is then repainted at once, with the control over it.
    void refreshNowShowsTheChangedPartAtOnce_data()
    {
        QTest::addColumn<qreal>("imageRatio");
        QTest::addColumn<bool>("covered");
        QTest::newRow("copied") << 1.0 << false;
        QTest::newRow("written from a ratio-2 image") << 2.0 << false;
        QTest::newRow("under a see-through control") << 1.0 << true;
    }
    void refreshNowShowsTheChangedPartAtOnce()
    {
        QFETCH(qreal, imageRatio);
        QFETCH(bool, covered);
        // A see-through control that draws a 4 x 4 magenta square in its corner.
        struct Marker : QWidget {
            using QWidget::QWidget;
            void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(0, 0, 4, 4, Qt::magenta); }
        };
        QWidget window;
        window.resize(200, 400);
        PictureBox box(&window);
        box.setGeometry(30, 20, 145, 369);
        const QRect changed(40, 100, 42, 29);
        const QPoint origin(30 + 2, 20 + 2);
        std::unique_ptr<Marker> over(covered ? new Marker(&window) : nullptr);
        if (over)
            over->setGeometry(QRect(origin + changed.topLeft(), QSize(20, 20)));
        QImage image = pattern(int(141 * imageRatio), int(365 * imageRatio), imageRatio);
        box.setImage(&image);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QApplication::processEvents();
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* event) override { paints += event->type() == QEvent::Paint; return false; }
        } counter;
        box.installEventFilter(&counter);

        image.fill(Qt::white);
        box.refreshNow(changed);
        QCOMPARE(counter.paints, covered ? 1 : 0);
        const auto* shown = dynamic_cast<QImage*>(window.backingStore()->paintDevice());
        QVERIFY(shown != nullptr);
        int white = 0;
        for (int y = 0; y < 365; ++y)
            for (int x = 0; x < 141; ++x)
                white += shown->pixel(origin + QPoint(x, y)) == qRgb(255, 255, 255);
        QCOMPARE(white, changed.width() * changed.height() - (covered ? 16 : 0));
        QCOMPARE(shown->pixel(origin + changed.topLeft()), covered ? qRgb(255, 0, 255) : qRgb(255, 255, 255));
        QCOMPARE(shown->pixel(origin + changed.bottomRight()), qRgb(255, 255, 255));

        box.hide();  // where it cannot be drawn now, it waits for the event loop
        image.fill(Qt::black);
        box.refreshNow(changed);
        QCOMPARE(shown->pixel(origin + changed.bottomRight()), qRgb(255, 255, 255));
    }
};

QTEST_MAIN(PictureBoxTest)
#include "tst_picturebox.moc"
