#include "ui/PictureBox.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>

namespace quadix {

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent)
{
    // The edge and the client area cover every pixel, so Qt need not clear
    // the background before each of the many repaints of a game.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureBox::setImage(const QPixmap* image)
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
    repaint();
}

void PictureBox::paintEvent(QPaintEvent*)
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

    const QRect client = clientRect();
    painter.fillRect(client, Qt::black);
    if (image_ != nullptr && !image_->isNull()) {
        // Blocks are pixel art: on a high-density screen every pixel must
        // grow into a sharp square, never a blur.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.setClipRect(client);
        const QRect target(client.topLeft(), image_->deviceIndependentSize().toSize());
        painter.drawPixmap(target, *image_);
    }
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
