#include "ui/PictureBox.h"

#include <QBackingStore>
#include <QImage>
#include <QKeyEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace quadix {

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
{
    // The edge and the client area cover every pixel, so Qt need not clear
    // the background before each of the many repaints of a game.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureBox::setImage(const QImage* image)
{
    image_ = image;
    update();
}

QRect PictureBox::clientRect() const
{
    return rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
}

void PictureBox::refreshNow()
{
    refreshNow(clientRect().translated(-clientRect().topLeft()));
}

void PictureBox::refreshNow(const QRect& changed)
{
    QRect area = changed.translated(clientRect().topLeft()) & clientRect();
    if (area.isEmpty())
        return;
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    QBackingStore* store = top->backingStore();
    if (store == nullptr || handle == nullptr || !handle->isExposed() || !isVisible() || !updatesEnabled()) {
        update(area);
        return;
    }
    // At a scale factor other than 1 Qt rounds the area to device pixels in
    // its own way: a pixel more on each side keeps every device pixel that
    // shows a changed image pixel inside what it paints and sends.
    const qreal scale = handle->devicePixelRatio();
    if (scale != 1.0)
        area = area.adjusted(-1, -1, 1, 1) & clientRect();
    if (coveredWithin(area)) {
        repaint(area);
        return;
    }
    const QPoint offset = mapTo(top, QPoint(0, 0));
    const QRegion region(area.translated(offset));
    store->beginPaint(region);
    QPaintDevice* device = store->paintDevice();
    // A paint event is scaled by the figure the backing store's image reports,
    // which Qt keeps in steps of 1/65536 (1.33 paints as 1.3299866): only that
    // same figure puts each image pixel where a full repaint puts it.
    const qreal deviceScale = device->devicePixelRatioF();
    const QTransform toDevice =
        QTransform::fromTranslate(offset.x(), offset.y()) * QTransform::fromScale(deviceScale, deviceScale);
    if (!writeImage(device, toDevice, toDevice.mapRect(QRectF(area)).toAlignedRect())) {
        QPainter painter(device);
        painter.translate(offset);
        paintImage(painter, area);
    }
    store->endPaint();
    store->flush(region, handle);
}

bool PictureBox::coveredWithin(const QRect& area) const
{
    if (!(QRegion(area) - visibleRegion()).isEmpty())
        return true;
    // visibleRegion() leaves out controls that let what is under them show
    // through, as the score does: every control created or raised after
    // this one, or after one of its parents, lies over it.
    QRect inParent = area;
    for (const QWidget* child = this; !child->isWindow() && child->parentWidget() != nullptr;
         child = child->parentWidget()) {
        inParent.translate(child->pos());
        const QObjectList& siblings = child->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(child) + 1; i < siblings.size(); ++i) {
            const auto* sibling = qobject_cast<const QWidget*>(siblings[i]);
            if (sibling != nullptr && !sibling->isWindow() && sibling->isVisible()
                && sibling->geometry().intersects(inParent))
                return true;
        }
    }
    return false;
}

namespace {

// A logical coordinate in device pixels, rounded as Qt rounds the corners of
// the regions it paints and sends to the screen.
int devicePixel(qreal logical, qreal scale, qreal shift)
{
    return qRound(logical * scale + shift);
}

// For each device pixel along one side of the client area, from its first,
// the image pixel it shows (-1 for none). Each image pixel covers the device
// pixels between its two edges: a sharp square at any scale, the same
// whichever part is being drawn.
std::vector<int> pixelSources(int clientStart, int clientLength, int imageLength, qreal imageRatio, qreal scale,
                              qreal shift)
{
    const int first = devicePixel(clientStart, scale, shift);
    const int count = devicePixel(clientStart + clientLength, scale, shift) - first;
    std::vector<int> sources(size_t(std::max(count, 0)), -1);
    if (scale == 1.0 && imageRatio == 1.0) {
        std::iota(sources.begin(), sources.begin() + std::min(std::max(imageLength, 0), int(sources.size())), 0);
        return sources;
    }
    for (int i = 0; i < imageLength; ++i) {
        const int from = std::max(devicePixel(clientStart + i / imageRatio, scale, shift) - first, 0);
        const int to = std::min(devicePixel(clientStart + (i + 1) / imageRatio, scale, shift) - first, count);
        for (int d = from; d < to; ++d)
            sources[size_t(d)] = i;
    }
    return sources;
}

// One row of device pixels from one row of the image (none: black). Pixels
// of a 32-bit RGB image are opaque (0xffRRGGBB), as premultiplied ARGB wants
// them. At one device pixel for each image pixel the image's part of the row
// is one plain copy.
void writeRow(QRgb* target, const QRgb* source, const int* sourceColumn, int count, int plainCopy)
{
    int x = 0;
    if (source != nullptr && plainCopy > 0) {
        std::memcpy(target, source + sourceColumn[0], size_t(plainCopy) * sizeof(QRgb));
        x = plainCopy;
    }
    for (; x < count; ++x)
        target[x] = source != nullptr && sourceColumn[x] >= 0 ? source[sourceColumn[x]] : qRgb(0, 0, 0);
}

} // namespace

bool PictureBox::writeImage(QPaintDevice* device, const QTransform& toDevice, const QRegion& pixels) const
{
    if (device == nullptr || device->devType() != QInternal::Image || image_ == nullptr
        || image_->format() != QImage::Format_RGB32 || toDevice.type() > QTransform::TxScale || toDevice.m11() <= 0
        || toDevice.m22() <= 0)
        return false;
    auto* canvas = static_cast<QImage*>(device);
    if (canvas->format() != QImage::Format_RGB32 && canvas->format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    const QRect client = clientRect();
    const qreal ratio = image_->devicePixelRatio();
    const std::vector<int> columns =
        pixelSources(client.x(), client.width(), image_->width(), ratio, toDevice.m11(), toDevice.dx());
    const std::vector<int> rows =
        pixelSources(client.y(), client.height(), image_->height(), ratio, toDevice.m22(), toDevice.dy());
    const QRect clientPixels(devicePixel(client.x(), toDevice.m11(), toDevice.dx()),
                             devicePixel(client.y(), toDevice.m22(), toDevice.dy()), int(columns.size()),
                             int(rows.size()));
    for (const QRect& rect : pixels & clientPixels & canvas->rect()) {
        const int* sourceColumn = columns.data() + (rect.left() - clientPixels.x());
        const bool oneToOne = toDevice.m11() == 1.0 && ratio == 1.0 && sourceColumn[0] >= 0;
        const int plainCopy = oneToOne ? std::min(rect.width(), image_->width() - sourceColumn[0]) : 0;
        const QRgb* done = nullptr; // the last row written, and its image row
        int doneRow = -2;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            auto* target = reinterpret_cast<QRgb*>(canvas->scanLine(y)) + rect.left();
            const int row = rows[size_t(y - clientPixels.y())];
            if (row == doneRow) {
                std::memcpy(target, done, size_t(rect.width()) * sizeof(QRgb));
                continue;
            }
            writeRow(target, row < 0 ? nullptr : reinterpret_cast<const QRgb*>(image_->constScanLine(row)),
                     sourceColumn, rect.width(), plainCopy);
            done = target;
            doneRow = row;
        }
    }
    return true;
}

void PictureBox::paintImage(QPainter& painter, const QRect& area) const
{
    const QRect client = clientRect();
    const QRect wanted = area & client;
    if (image_ == nullptr || image_->isNull()) {
        painter.fillRect(wanted, Qt::black);
        return;
    }
    const QRect target(client.topLeft(), image_->deviceIndependentSize().toSize());
    const QRect shown = wanted & target;
    if (shown != wanted) {
        painter.save();
        painter.setClipRegion(QRegion(wanted).subtracted(shown));
        painter.fillRect(wanted, Qt::black);
        painter.restore();
    }
    if (shown.isEmpty())
        return;
    // Blocks are pixel art: on a high-density screen every pixel must grow
    // into a sharp square, never a blur. The whole image goes to its whole
    // place, so that each pixel lands where a full repaint puts it; the clip
    // keeps the rest.
    painter.save();
    painter.setClipRect(shown, Qt::IntersectClip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(target), *image_);
    painter.restore();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();

    // The sunken edge is two rings, each drawn top and left first, so that
    // the bottom and right lines own the two shared corners.
    const QColor shadow(128, 128, 128);
    const QColor highlight(255, 255, 255);
    const QColor darkShadow(0, 0, 0);
    const QColor light(192, 192, 192);
    painter.fillRect(0, 0, w, 1, shadow);
    painter.fillRect(0, 0, 1, h, shadow);
    painter.fillRect(0, h - 1, w, 1, highlight);
    painter.fillRect(w - 1, 0, 1, h, highlight);
    painter.fillRect(1, 1, w - 2, 1, darkShadow);
    painter.fillRect(1, 1, 1, h - 2, darkShadow);
    painter.fillRect(1, h - 2, w - 2, 1, light);
    painter.fillRect(w - 2, 1, 1, h - 2, light);

    // Straight into the pixels Qt is painting, where it paints into an image
    // (the backing store, a grab): the same device pixels whether the whole
    // box or a part of it is painted, at any scale.
    QPaintEngine* engine = painter.paintEngine();
    const QTransform toDevice = painter.deviceTransform();
    const QRegion pixels = engine->systemClip().isEmpty()
        ? QRegion(toDevice.mapRect(QRectF(event->rect())).toAlignedRect())
        : engine->systemClip();
    if (!writeImage(engine->paintDevice(), toDevice, pixels))
        paintImage(painter, event->rect());
}

void PictureBox::keyPressEvent(QKeyEvent* event)
{
    emit keyDown(event->key(), event->modifiers());
    event->accept();
}

void PictureBox::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit focusLost();
}

} // namespace quadix
