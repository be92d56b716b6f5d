#pragma once
// Tables of records written as text in tests: one "name|score|lines" string
// per row; rows not given stay empty.
#include <QStringList>

#include "scores/HighScores.h"

namespace quadix::test {

inline HighScoreTable Table(const QStringList& rows)
{
    HighScoreTable table;
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList cells = rows[i].split(u'|');
        for (int c = 0; c < 3; ++c)
            table[i][c] = cells.value(c);
    }
    return table;
}

} // namespace quadix::test
