#pragma once
// The piece catalogue: 22 piece types, written as two strings of offsets.
#include "game/GameState.h"

namespace quadix {

// Offsets of blocks 1..3 of types 1..7, then of blocks 1..4 of types 8..22,
// one character per offset: its code minus 48 ("0" 0, "1" 1, "2" 2, "/" -1, "." -2).
inline constexpr char kFourBlockShapes[] = ".0/010/001111001/1/1/010/01011/0/101/01001";
inline constexpr char kFiveBlockShapes[] =
    ".0/010201101/0.0/1011020/10110111101/0/101//0/1//00/1020.0/00/10///010201/10/0.00//01//1/1/00/1//01/10011001/0//0.0/1020";

// Reads both strings into shapeDX/shapeDY, in the order dx1, dy1, dx2, dy2, ...
// Returns how many characters of each string were consumed.
struct ShapeReadCount { int fourBlock = 0; int fiveBlock = 0; };
ShapeReadCount BuildShapes(GameState& s);

// Points table, spawn offsets and block counts (reset steps 3 to 5).
void BuildTables(GameState& s);

// Walls in columns 9 and 20 of rows 0..36 and the floor in row 36.
void BuildWalls(GameState& s);

} // namespace quadix
