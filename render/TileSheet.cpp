#include "render/TileSheet.h"

#include <limits>
#include <map>
#include <QImage>

namespace quadix {

namespace {

// The contexts made by GenerateDC, by handle. The game makes one at start-up
// and keeps it until the main window goes; tests make and release several.
struct Registry {
    std::map<int32_t, QImage> sheets;
    int32_t lastHandle = 0;
};

Registry& registry()
{
    static Registry r;
    return r;
}

// Handles start at 1 and only grow; after the last 32-bit value they wrap
// round to 1, skipping any still in use, so a caller never sees 0 or less.
int32_t nextFreeHandle(Registry& r)
{
    do {
        r.lastHandle = r.lastHandle == std::numeric_limits<int32_t>::max() ? 1 : r.lastHandle + 1;
    } while (r.sheets.contains(r.lastHandle));
    return r.lastHandle;
}

} // namespace

int32_t GenerateDC()
{
    Registry& r = registry();
    const int32_t dc = nextFreeHandle(r);
    // Blocks are copied row by row from this image onto the playfield's, so
    // both hold the same 32-bit pixels.
    r.sheets.emplace(dc, QImage(QStringLiteral(":/tiles.bmp")).convertToFormat(QImage::Format_RGB32));
    return dc;
}

int32_t DeleteTileDC(int32_t dc)
{
    if (dc <= 0)
        return 0;
    return registry().sheets.erase(dc) > 0 ? 1 : 0;
}

const QImage* TileSheetOf(int32_t dc)
{
    auto& sheets = registry().sheets;
    const auto it = sheets.find(dc);
    return it == sheets.end() ? nullptr : &it->second;
}

} // namespace quadix
