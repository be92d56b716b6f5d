#pragma once
// A black drawing surface with the sunken 3-D edge of the classic picture
// box. It shows an image that someone else draws (the playfield's off-screen
// image, the preview) and hands every key press on to the game.
#include <QWidget>

class QPixmap;

namespace quadix {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int kBorder = 2;

    explicit PictureBox(QWidget* parent = nullptr);

    // The image stays owned by the caller and must outlive its use here;
    // nullptr shows the bare black client area.
    void setImage(const QPixmap* image);
    const QPixmap* image() const { return image_; }

    // The area inside the edge, in widget coordinates.
    QRect clientRect() const;

    // Paints now rather than at the next turn of the event loop: the game
    // loop shows each gravity step before it goes on.
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
    const QPixmap* image_ = nullptr;
};

} // namespace quadix
