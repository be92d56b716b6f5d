// libFuzzer entry: any bytes as Scores.dat. The reader must neither crash nor
// keep more than a line's worth of any line, and whatever it read must write
// back as exactly 30 lines.
#include "scores/HighScores.h"

#include <QBuffer>
#include <QByteArray>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    quadix::HighScoreTable table = quadix::ReadHighScores(buffer);

    for (const auto& row : table) {
        for (const QString& cell : row) {
            if (cell.size() > quadix::kMaxLineBytes || cell.contains(u'\r') || cell.contains(u'\n'))
                std::abort();
        }
    }
    // The same bytes taken as UTF-16 make a name with any character at all,
    // surrogates included.
    QString name(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(name.data(), data, size_t(name.size()) * sizeof(QChar));
    table[0][0] = name;
    const QByteArray written = quadix::EncodeHighScores(table);
    if (written.count('\n') != 30 || written.count('\r') != 30 || !written.endsWith("\r\n"))
        std::abort();
    return 0;
}
