#pragma once
// The tile sheet held in a drawing context for the life of the main window.
#include <cstdint>

class QImage;

namespace quadix {

constexpr int kSheetWidth = 126;
constexpr int kSheetHeight = 21;

// Loads the embedded tile sheet into a new context and returns its handle (1 or more).
int32_t GenerateDC();
// Releases a context made by GenerateDC. Handles of 0 or below: returns 0, does nothing.
int32_t DeleteTileDC(int32_t dc);
// The sheet held by a context, as 32-bit RGB pixels, or nullptr for an
// unknown handle.
const QImage* TileSheetOf(int32_t dc);

} // namespace quadix
