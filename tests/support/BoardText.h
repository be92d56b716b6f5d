#pragma once
// Boards drawn as text: one string per row, ten characters for columns
// 10..19. '.' is empty, a digit is a locked block of that type, '#' a wall cell.
#include <QString>
#include <QStringList>

#include "game/GameState.h"

namespace quadix::test {

inline int16_t cellFromChar(QChar ch)
{
    if (ch == '.')
        return 0;
    if (ch == '#')
        return kWall;
    return static_cast<int16_t>(ch.digitValue());
}

inline QChar charFromCell(int16_t v)
{
    if (v == 0)
        return '.';
    if (v == kWall)
        return '#';
    if (v >= 1 && v <= 9)
        return QChar('0' + v);
    return '?';
}

// Writes the rows from bottomRow upward (the last string is bottomRow) and
// counts the blocks of each row into rowFill.
inline void putRows(GameState& s, const QStringList& rows, int bottomRow = kBottomRow)
{
    int row = bottomRow - static_cast<int>(rows.size()) + 1;
    for (const QString& text : rows) {
        Q_ASSERT(text.size() == 10);
        int16_t fill = 0;
        for (int i = 0; i < 10; ++i) {
            int16_t v = cellFromChar(text[i]);
            s.board(kFirstColumn + i, row) = v;
            if (v != 0)
                ++fill;
        }
        s.rowFill[row] = fill;
        ++row;
    }
}

// The board's rows first..last as text, joined by newlines.
inline QString rowsText(const GameState& s, int first, int last = kBottomRow)
{
    QStringList out;
    for (int r = first; r <= last; ++r) {
        QString line;
        for (int c = kFirstColumn; c <= kLastColumn; ++c)
            line += charFromCell(s.board(c, r));
        out << line;
    }
    return out.join('\n');
}

// Where the current piece stands, drawn over the board with '@'.
inline QString pieceText(const GameState& s, int first, int last)
{
    QStringList out;
    for (int r = first; r <= last; ++r) {
        QString line;
        for (int c = kFirstColumn; c <= kLastColumn; ++c) {
            QChar ch = charFromCell(s.board(c, r));
            for (int i = 0; i <= s.lastBlock[s.pieceType]; ++i)
                if (s.pieceX + s.pieceDX[i] == c && s.pieceY + s.pieceDY[i] == r)
                    ch = '@';
            line += ch;
        }
        out << line;
    }
    return out.join('\n');
}

} // namespace quadix::test
