#pragma once
// A black drawing surface with the sunken 3-D edge of the classic picture
// box. It shows an image that someone else draws (the playfield's off-screen
// image, the preview) and hands every key press on to the game.
#include <QWidget>

class QImage;
class QTransform;

namespace quadix {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBorder = 2;

    explicit PictureBox(QWidget* parent = nullptr);

    // The image stays owned by the caller and must outlive its use here;
    // nullptr shows the bare black client area.
    void setImage(const QImage* image);
    const QImage* image() const { return image_; }

    // The area inside the edge, in widget coordinates.
    QRect clientRect() const;

    // Puts `changed`, a part of the image, on the screen before returning:
    // the game loop shows each gravity step before it goes on. Where nothing
    // lies over the part, it is drawn straight into the window's backing
    // store and only it is sent to the screen, without a repaint of the
    // widget; where another control lies over it (the score, once it is long
    // enough), the part is repainted at once with that control on top. Where
    // the window cannot be drawn now (hidden, not yet exposed) it is repainted
    // at the next turn of the event loop instead.
    void refreshNow(const QRect& changed);
    // The whole image.
    void refreshNow();

signals:
    // Every key press, auto-repeated ones included. Tab is not among them:
    // it still moves the focus along the tab order.
    void keyDown(int qtKey, Qt::KeyboardModifiers modifiers);
    // The focus went to another control of the same window. Switching to
    // another window or opening a menu does not count: the focus comes
    // back by itself when the window or the menu returns.
    void focusLost();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // True when a part of `area` (widget coordinates) is out of sight or lies
    // under another control drawn after this one.
    bool coveredWithin(const QRect& area) const;
    // Writes the image's pixels straight into `device` where it is a 32-bit
    // raster image: the device pixels of `pixels` that fall in the client
    // area, `toDevice` mapping widget coordinates to device pixels. False,
    // with nothing written, where that cannot be done.
    bool writeImage(QPaintDevice* device, const QTransform& toDevice, const QRegion& pixels) const;
    // Draws the image over the client area through the painter, clipped to
    // `area` (widget coordinates): for devices that cannot be written directly.
    void paintImage(QPainter& painter, const QRect& area) const;

    const QImage* image_ = nullptr;
};

} // namespace quadix
