#pragma once
// The tile sheet held in a drawing context for the life of the main window.
#include <cstdint>

class QPixmap;

namespace quadix {

constexpr int kSheetWidth = 126;
constexpr int kSheetHeight = 21;

// Loads the embedded tile sheet into a new context and returns its handle (1 or more).
int32_t GenerateDC();
// Releases a context made by GenerateDC. Handles of 0 or below: returns 0, does nothing.
int32_t DeleteTileDC(int32_t dc);
// The sheet held by a context, or nullptr for an unknown handle.
const QPixmap* TileSheetOf(int32_t dc);

} // namespace quadix
