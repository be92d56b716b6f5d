#include "ui/PictureBox.h"

#include <QBackingStore>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QWindow>
#include <cstring>

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
    const QRect area = changed.translated(clientRect().topLeft()) & clientRect();
    if (area.isEmpty())
        return;
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    QBackingStore* store = top->backingStore();
    // Anything that covers a part of the area (another control, a window
    // that is not on the screen) leaves the painting to Qt.
    if (store == nullptr || handle == nullptr || !handle->isExposed() || !isVisible() || !updatesEnabled()
        || !visibleRegion().contains(area)) {
        update(area);
        return;
    }
    const QPoint offset = mapTo(top, QPoint(0, 0));
    const QRegion region(area.translated(offset));
    store->beginPaint(region);
    if (!copyImage(store->paintDevice(), area, offset)) {
        QPainter painter(store->paintDevice());
        painter.translate(offset);
        paintImage(painter, area);
    }
    store->endPaint();
    store->flush(region, handle);
}

// The usual case, one screen pixel for each image pixel and 32-bit pixels
// on both sides, needs no painter: the rows are copied as they are.
bool PictureBox::copyImage(QPaintDevice* device, const QRect& area, const QPoint& offset) const
{
    if (device->devType() != QInternal::Image || image_ == nullptr || image_->format() != QImage::Format_RGB32
        || image_->devicePixelRatio() != 1.0)
        return false;
    auto* canvas = static_cast<QImage*>(device);
    const QImage::Format format = canvas->format();
    if (canvas->devicePixelRatio() != 1.0
        || (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied))
        return false;
    const QRect source = area.translated(-clientRect().topLeft());
    const QRect target = area.translated(offset);
    if (!image_->rect().contains(source) || !canvas->rect().contains(target))
        return false;
    // Pixels of a 32-bit RGB image are opaque (0xffRRGGBB), as premultiplied ARGB wants them.
    const size_t bytes = size_t(source.width()) * sizeof(QRgb);
    for (int row = 0; row < source.height(); ++row)
        std::memcpy(reinterpret_cast<QRgb*>(canvas->scanLine(target.y() + row)) + target.x(),
                    reinterpret_cast<const QRgb*>(image_->constScanLine(source.y() + row)) + source.x(), bytes);
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
    // into a sharp square, never a blur.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const qreal ratio = image_->devicePixelRatio();
    const QRectF source(QPointF(shown.topLeft() - target.topLeft()) * ratio, QSizeF(shown.size()) * ratio);
    painter.drawImage(QRectF(shown), *image_, source);
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
