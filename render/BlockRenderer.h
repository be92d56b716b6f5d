#pragma once
// Draws tiles from the tile sheet onto the playfield's off-screen image and
// onto the preview image. Widgets in ui/ show these images.
#include <cstdint>
#include <functional>
#include <QImage>

#include "game/Ports.h"

namespace quadix {

constexpr int kFieldWidth = 141;    // playfield client area
constexpr int kFieldHeight = 365;
constexpr int kPreviewWidth = 45;   // preview client area
constexpr int kPreviewHeight = 93;

class BlockRenderer : public Screen {
public:
    // tileDC is read at every draw: the main window sets it when it loads.
    explicit BlockRenderer(const int32_t& tileDC);
    // Draws nothing until attached to the tile context handle.
    BlockRenderer();
    void attach(const int32_t& tileDC) { tileDC_ = &tileDC; }

    void DrawBlock(int x, int y, int colour, int target, int scale) override;
    void RefreshField() override;
    void ClearField() override;
    void ClearPreview() override;

    const QImage& fieldImage() const { return field_; }
    const QImage& previewImage() const { return preview_; }

    // The playfield widget shows the part of the image that changed since
    // the last refresh, now (called by RefreshField). A gravity step changes
    // a few tiles; only those go to the screen.
    std::function<void(const QRect& changed)> onFieldRefresh;
    // The preview widget schedules a repaint (called after each preview change).
    std::function<void()> onPreviewChanged;

private:
    const int32_t* tileDC_ = nullptr;
    QImage field_;
    QImage preview_;
    QRect fieldChanged_;
};

} // namespace quadix
