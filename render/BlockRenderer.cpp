#include "render/BlockRenderer.h"

#include <cstring>

#include "render/TileSheet.h"

namespace quadix {

namespace {

constexpr int kLargeTile = 14;
constexpr int kSmallTile = 7;
constexpr int kLastTile = 8;
constexpr int kSmallTileRow = 14;   // the preview tiles sit under the large ones

// A plain copy of one tile, row by row: the tile replaces what was there, as
// erasing with tile 0 relies on, and nothing is blended. The part outside
// the target (a block above the well) is cut off. Returns the target pixels
// that were written.
QRect copyTile(QImage& target, int x, int y, const QImage& sheet, const QRect& tile)
{
    const QRect written = QRect(QPoint(x, y), tile.size()) & target.rect();
    if (written.isEmpty())
        return {};
    const QPoint from = tile.topLeft() + (written.topLeft() - QPoint(x, y));
    const size_t bytes = size_t(written.width()) * sizeof(QRgb);
    for (int row = 0; row < written.height(); ++row) {
        const auto* source = reinterpret_cast<const QRgb*>(sheet.constScanLine(from.y() + row)) + from.x();
        auto* dest = reinterpret_cast<QRgb*>(target.scanLine(written.y() + row)) + written.x();
        std::memcpy(dest, source, bytes);
    }
    return written;
}

} // namespace

BlockRenderer::BlockRenderer(const int32_t& tileDC)
    : BlockRenderer()
{
    attach(tileDC);
}

BlockRenderer::BlockRenderer()
    : field_(kFieldWidth, kFieldHeight, QImage::Format_RGB32)
    , preview_(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32)
{
    field_.fill(Qt::black);
    preview_.fill(Qt::black);
}

void BlockRenderer::DrawBlock(int x, int y, int colour, int target, int scale)
{
    if (scale == 0)
        scale = kLargeTile;
    if (colour > kLastTile)
        colour = kLastTile;
    // The game never passes a negative colour; refusing it keeps the source
    // rectangle on the sheet.
    if (colour < 0 || (target != 1 && target != 2))
        return;
    const QImage* sheet = tileDC_ ? TileSheetOf(*tileDC_) : nullptr;
    if (sheet == nullptr || sheet->isNull())
        return;

    if (target == 1) {
        fieldChanged_ |= copyTile(field_, x * scale, y * scale, *sheet,
                                  QRect(kLargeTile * colour, 0, kLargeTile, kLargeTile));
    } else {
        copyTile(preview_, kSmallTile * x, kSmallTile * y, *sheet,
                 QRect(kSmallTile * colour, kSmallTileRow, kSmallTile, kSmallTile));
        if (onPreviewChanged)
            onPreviewChanged();
    }
}

void BlockRenderer::RefreshField()
{
    const QRect changed = fieldChanged_;
    fieldChanged_ = QRect();
    if (onFieldRefresh)
        onFieldRefresh(changed);
}

void BlockRenderer::ClearField()
{
    field_.fill(Qt::black);
    fieldChanged_ = field_.rect();
}

void BlockRenderer::ClearPreview()
{
    preview_.fill(Qt::black);
    if (onPreviewChanged)
        onPreviewChanged();
}

} // namespace quadix
