#pragma once
// The board's invariants, checked by the soak tests after every step.
#include <QString>

#include "support/BoardText.h"

namespace quadix::test {

// What must hold of the counters and the piece at any time; empty when all is well.
inline QString checkCounters(const GameState& s, int32_t lastScore)
{
    if (s.score < lastScore)
        return QString("score fell from %1 to %2").arg(lastScore).arg(s.score);
    if (s.pieceType < 1 || s.pieceType > 7)
        return QString("piece type %1").arg(s.pieceType);
    if (s.fallPixel < 0 || s.fallPixel > 14 || s.dropHeld < 0 || s.dropHeld > 5)
        return QString("fallPixel %1, dropHeld %2").arg(s.fallPixel).arg(s.dropHeld);
    if (s.level > s.lines / 10 || s.linesThisLock != 0)
        return QString("level %1 for %2 lines").arg(s.level).arg(s.lines);
    return {};
}

// What must hold of the board between any two steps. Only a lock changes
// the board, and every lock ends in a new piece or in the end of the game.
inline QString checkBoard(const GameState& s)
{
    for (int r = 0; r <= kFloorRow; ++r)
        if (s.board(9, r) != kWall || s.board(20, r) != kWall)
            return QString("wall broken in row %1").arg(r);
    for (int c = kFirstColumn; c <= kLastColumn; ++c)
        if (s.board(c, kFloorRow) != kWall)
            return QString("floor broken in column %1").arg(c);
    for (int c = 0; c < kBoardColumns; ++c) {
        for (int r = 0; r < kBoardRows; ++r) {
            bool inWell = c >= kFirstColumn && c <= kLastColumn && r <= kBottomRow;
            bool wall = ((c == 9 || c == 20) && r <= kFloorRow)
                || (r == kFloorRow && c >= kFirstColumn && c <= kLastColumn);
            if (!inWell && !wall && s.board(c, r) != 0)
                return QString("cell (%1, %2) outside the well holds %3").arg(c).arg(r).arg(s.board(c, r));
            if (inWell && (s.board(c, r) < 0 || s.board(c, r) > 7))
                return QString("cell (%1, %2) holds %3").arg(c).arg(r).arg(s.board(c, r));
        }
    }
    // A lost game's last piece may be locked over the stack; the game is over then.
    if (s.stopState != 2) {
        for (int r = 0; r <= kBottomRow; ++r) {
            int cells = 0;
            for (int c = kFirstColumn; c <= kLastColumn; ++c)
                cells += s.board(c, r) != 0;
            if (s.rowFill[r] != cells)
                return QString("row %1: rowFill %2, cells %3\n%4").arg(r).arg(s.rowFill[r]).arg(cells).arg(rowsText(s, 0));
        }
    }
    return {};
}

inline QString checkInvariants(const GameState& s, int32_t lastScore)
{
    QString failure = checkCounters(s, lastScore);
    return failure.isEmpty() ? checkBoard(s) : failure;
}

} // namespace quadix::test
