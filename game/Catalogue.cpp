#include "game/Catalogue.h"

namespace quadix {

namespace {

// Reads the string from its start: the counter is advanced before each
// character is read, so the first character read is character 1 of the
// one-based original; here that is index 0.
class OffsetReader {
public:
    explicit OffsetReader(const char* text) : text_(text) {}
    int16_t next() { return static_cast<int16_t>(text_[pos_++] - 48); }
    int consumed() const { return pos_; }

private:
    const char* text_;
    int pos_ = 0;
};

void readTypes(GameState& s, OffsetReader& reader, int firstType, int lastType, int lastSlot)
{
    for (int type = firstType; type <= lastType; ++type) {
        for (int slot = 1; slot <= lastSlot; ++slot) {
            s.shapeDX(type, slot) = reader.next();
            s.shapeDY(type, slot) = reader.next();
        }
    }
}

} // namespace

ShapeReadCount BuildShapes(GameState& s)
{
    OffsetReader four(kFourBlockShapes);
    readTypes(s, four, 1, 7, 3);
    OffsetReader five(kFiveBlockShapes);
    readTypes(s, five, 8, 22, 4);
    return {four.consumed(), five.consumed()};
}

void BuildTables(GameState& s)
{
    const int16_t points[] = {40, 100, 300, 1200, 2400};
    for (int rows = 1; rows <= 5; ++rows)
        s.lineScore[rows] = points[rows - 1];

    const int16_t fourBlockSpawn[] = {3, 2, 2, 2, 2, 3, 2};
    for (int type = 1; type <= 7; ++type) {
        s.spawnOffset[type] = fourBlockSpawn[type - 1];
        s.lastBlock[type] = 3;
    }
    for (int type = 8; type <= 22; ++type) {
        s.spawnOffset[type] = 3;
        s.lastBlock[type] = 4;
    }
}

void BuildWalls(GameState& s)
{
    for (int row = 0; row <= kFloorRow; ++row) {
        s.board(kFirstColumn - 1, row) = kWall;
        s.board(kLastColumn + 1, row) = kWall;
    }
    for (int column = kFirstColumn; column <= kLastColumn; ++column)
        s.board(column, kFloorRow) = kWall;
}

} // namespace quadix
