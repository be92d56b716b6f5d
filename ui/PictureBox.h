#pragma once
// A black drawing surface with the sunken 3-D edge of the classic picture
// box. It shows an image that someone else draws (the playfield's off-screen
// image, the preview) and hands every key press on to the game.
#include <QWidget>

class QImage;

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
    // the game loop shows each gravity step before it goes on. Nothing lies
    // on top of the playfield, so the part is drawn straight into the
    // window's backing store and only it is sent to the screen, without a
    // repaint of the widget. Where the window cannot be drawn now (hidden,
    // not yet exposed, partly covered by another control) it is repainted at
    // the next turn of the event loop instead.
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
    // Draws the image over the client area, clipped to `area` (widget coordinates).
    void paintImage(QPainter& painter, const QRect& area) const;
    // The same into the window's backing store, `offset` being where the box
    // lies in the window, where a plain copy of the rows will do; false if not.
    bool copyImage(QPaintDevice* device, const QRect& area, const QPoint& offset) const;

    const QImage* image_ = nullptr;
};

} // namespace quadix
