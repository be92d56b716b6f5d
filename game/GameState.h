#pragma once
// The whole state of a game in one record. Field names and widths are the
// game's own: 16-bit cells and counters, 32-bit score and ticks.
#include <array>
#include <cassert>
#include <cstdint>

namespace quadix {

constexpr int kBoardColumns = 41;   // columns 0..40
constexpr int kBoardRows = 51;      // rows 0..50
constexpr int kRowSlots = 42;       // per-row arrays, rows 0..41
constexpr int kPieceTypes = 23;     // types 1..22; slot 0 unused
constexpr int kBlockSlots = 5;      // blocks 0..4
constexpr int16_t kWall = 16;       // wall and floor cells

// Well geometry: columns 10..19 between the walls in 9 and 20, rows 10..35
// visible, row 36 the floor, rows 0..9 hidden above the well.
constexpr int kFirstColumn = 10;
constexpr int kLastColumn = 19;
constexpr int kTopRow = 10;
constexpr int kBottomRow = 35;
constexpr int kFloorRow = 36;
constexpr int kCellPixels = 14;

// A fixed-size array whose indexing is checked in debug builds.
template <typename T, int N>
struct Checked {
    std::array<T, N> data{};
    T& operator[](int i) { assert(i >= 0 && i < N); return data[i]; }
    const T& operator[](int i) const { assert(i >= 0 && i < N); return data[i]; }
    void clear() { data.fill(T{}); }
    static constexpr int size() { return N; }
};

// The board, addressed (column, row), stored column-fastest.
struct Board {
    std::array<int16_t, kBoardColumns * kBoardRows> cells{};
    int16_t& operator()(int c, int r) { return cells[index(c, r)]; }
    int16_t operator()(int c, int r) const { return cells[index(c, r)]; }
    void clear() { cells.fill(0); }
    static int index(int c, int r)
    {
        assert(c >= 0 && c < kBoardColumns && r >= 0 && r < kBoardRows);
        return c + kBoardColumns * r;
    }
};

// A table indexed (piece type, block slot).
struct ShapeTable {
    std::array<int16_t, kPieceTypes * kBlockSlots> values{};
    int16_t& operator()(int type, int slot) { return values[index(type, slot)]; }
    int16_t operator()(int type, int slot) const { return values[index(type, slot)]; }
    static int index(int type, int slot)
    {
        assert(type >= 0 && type < kPieceTypes && slot >= 0 && slot < kBlockSlots);
        return slot + kBlockSlots * type;
    }
};

struct GameState {
    int32_t lastTick = 0;       // tick count after the last gravity step
    int32_t nowTick = 0;        // tick count at the start of a loop pass
    int32_t fallInterval = 0;   // ms to exceed between gravity steps
    bool looping = false;       // the game loop runs while true
    int32_t tileDC = 0;         // handle of the tile sheet context
    Board board;
    ShapeTable shapeDX;         // catalogue: column offsets per type and block
    ShapeTable shapeDY;         // catalogue: row offsets
    Checked<int16_t, kBlockSlots> pieceDX;  // current piece, current orientation
    Checked<int16_t, kBlockSlots> pieceDY;
    Checked<int16_t, kBlockSlots> rotDX;    // offsets before the last turn
    Checked<int16_t, kBlockSlots> rotDY;
    Checked<int16_t, kRowSlots> rowFill;    // locked cells per row
    Checked<int16_t, kRowSlots> rowCleared; // 1 while a full row awaits removal
    Checked<int16_t, 22> clearedRows;       // rows completed by this lock, from 1
    Checked<int16_t, kPieceTypes> spawnOffset;
    Checked<int16_t, kPieceTypes> lastBlock;
    int16_t linesThisLock = 0;
    Checked<int16_t, 5> nextPieces;         // queue in slots 1..4; 4 is dealt next
    int16_t stopState = 0;      // 0 playing, 1 spawn overlapped, 2 loop must end
    Checked<int16_t, 6> lineScore;          // points for 1..5 rows at once
    int16_t pieceTypeCount = 0;
    int16_t level = 0;
    int32_t score = 0;
    int16_t lines = 0;
    int16_t pieceX = 0;         // block 0 of the current piece
    int16_t pieceY = 0;
    int16_t pieceType = 0;
    int16_t prevX = 0;          // position before the move under test
    int16_t prevY = 0;
    Checked<int16_t, 6> drawnX; // where each block was last drawn, in pixels
    Checked<int16_t, 6> drawnY;
    int16_t fallPixel = 0;      // pixel step within the row, 1..14
    int16_t blocked = 0;        // result of the last collision test
    bool gameRunning = false;
    int16_t lockCounter = 0;    // refused row steps of the resting piece
    int16_t dropHeld = 0;       // spawn pause counter
    int16_t scoreFileNo = 0;
    bool enteringName = false;
    int16_t previewCount = 0;   // queued pieces shown: 4, 3, 2, 1
    int16_t entryRow = 0;       // place of the records table being entered
    bool stoppedByPlayer = false;
    bool paused = false;
    int16_t cellColour = 0;     // board cell being drawn by DrawAllBlocks
};

} // namespace quadix
