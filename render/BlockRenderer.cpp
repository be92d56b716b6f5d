#include "render/BlockRenderer.h"

#include <QPainter>

#include "render/TileSheet.h"

namespace quadix {

namespace {

constexpr int kLargeTile = 14;
constexpr int kSmallTile = 7;
constexpr int kLastTile = 8;
constexpr int kSmallTileRow = 14;   // the preview tiles sit under the large ones

// A plain copy: the tile replaces what was there, as erasing with tile 0
// relies on, and nothing is blended or smoothed.
void copyTile(QPixmap& target, int x, int y, const QPixmap& sheet, const QRect& tile)
{
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(QPoint(x, y), sheet, tile);
}

} // namespace

BlockRenderer::BlockRenderer(const int32_t& tileDC)
    : BlockRenderer()
{
    attach(tileDC);
}

BlockRenderer::BlockRenderer()
    : field_(kFieldWidth, kFieldHeight)
    , preview_(kPreviewWidth, kPreviewHeight)
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
    const QPixmap* sheet = tileDC_ ? TileSheetOf(*tileDC_) : nullptr;
    if (sheet == nullptr || sheet->isNull())
        return;

    if (target == 1) {
        copyTile(field_, x * scale, y * scale, *sheet,
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
    if (onFieldRefresh)
        onFieldRefresh();
}

void BlockRenderer::ClearField()
{
    field_.fill(Qt::black);
}

void BlockRenderer::ClearPreview()
{
    preview_.fill(Qt::black);
    if (onPreviewChanged)
        onPreviewChanged();
}

} // namespace quadix
