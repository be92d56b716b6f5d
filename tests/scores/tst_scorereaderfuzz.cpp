// The reader against any file: random bytes, endless lines, thousands of
// lines, input that arrives in odd pieces, and a file of 100 MB. Whatever the
// input, it must give the table a plain whole-file reading gives, and keep
// within a small, fixed amount of memory; of a file, it reads no more than
// kMaxFileBytes.
#include "scores/HighScores.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace quadix;

namespace {

// The reading rule applied the obvious way, to the whole input at once.
HighScoreTable ReferenceRead(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    qsizetype i = 0;
    while (i < bytes.size() && lines.size() < 3 * kTableRows) {
        const qsizetype cr = bytes.indexOf('\r', i);
        const qsizetype lf = bytes.indexOf('\n', i);
        const qsizetype end = std::min(cr < 0 ? bytes.size() : cr, lf < 0 ? bytes.size() : lf);
        qsizetype start = i;
        while (start < end && (bytes[start] == ' ' || bytes[start] == '\t'))
            ++start;
        lines << bytes.mid(start, std::min(end - start, kMaxLineBytes));
        const bool crlf = end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n';
        i = end + (crlf ? 2 : 1);
    }
    HighScoreTable table;
    QStringDecoder decoder("windows-1252");
    for (int row = 0; row < kTableRows && 3 * row < lines.size(); ++row) {
        for (int column = 0; column < 3 && 3 * row + column < lines.size(); ++column)
            table[row][column] = decoder.decode(lines[3 * row + column]);
    }
    return table;
}

// Hands out its data in pieces of random size, as a pipe or a slow disk may.
class TricklingDevice : public QIODevice {
public:
    TricklingDevice(const QByteArray& data, quint32 seed, qint64 largestPiece)
        : data_(data), random_(seed), largestPiece_(largestPiece)
    {
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        const qint64 left = data_.size() - served_;
        if (left == 0)
            return 0;
        const qint64 n = std::min({max, left, 1 + qint64(random_.bounded(quint64(largestPiece_)))});
        memcpy(out, data_.constData() + served_, size_t(n));
        served_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray& data_;
    QRandomGenerator random_;
    qint64 largestPiece_;
    qint64 served_ = 0;
};

QByteArray RandomBytes(QRandomGenerator& random, qsizetype size, const QByteArray& alphabet)
{
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out)
        c = alphabet.isEmpty() ? char(random.bounded(256)) : alphabet[random.bounded(int(alphabet.size()))];
    return out;
}

// Lines whose lengths sit around the limits of the reader: empty, short,
// just under, at and over the line limit, several reading chunks long.
QByteArray RandomLines(QRandomGenerator& random)
{
    static const QByteArray text("ab1 ,\"\t\x80\xF2\xFF");
    static const char* const ends[] = {"\r\n", "\r", "\n", "\n\r", ""};
    const qsizetype lengths[] = {0, 1, 7, kMaxLineBytes - 1, kMaxLineBytes, kMaxLineBytes + 1,
                                 kMaxLineBytes + 3, 3 * kMaxLineBytes + 17};
    QByteArray out;
    const int count = random.bounded(45);
    for (int i = 0; i < count; ++i) {
        qsizetype length = random.bounded(4) == 0 ? lengths[random.bounded(8)] : random.bounded(12);
        if (random.bounded(6) == 0)
            out += QByteArray(random.bounded(2) ? 3 : kMaxLineBytes + 2, ' ');  // leading blanks
        if (length > 100) {
            // Long lines mostly repeat one byte; drawing each byte is too slow.
            QByteArray line(length, text[random.bounded(int(text.size()))]);
            for (int k = 0; k < 8; ++k)
                line[random.bounded(int(length))] = text[random.bounded(int(text.size()))];
            out += line;
        } else {
            out += RandomBytes(random, length, text);
        }
        out += ends[random.bounded(i + 1 == count ? 5 : 4)];
    }
    return out;
}

QByteArray RandomInput(QRandomGenerator& random)
{
    switch (random.bounded(3)) {
    case 0:
        return RandomBytes(random, random.bounded(4000), {});
    case 1:
        return RandomBytes(random, random.bounded(2000), QByteArray("\r\n\r\n \ta1,\"\x80\0", 12));
    default:
        return RandomLines(random);
    }
}

QStringList Rows(const HighScoreTable& table)
{
    QStringList rows;
    for (const auto& row : table) {
        for (const QString& cell : row)
            rows << (cell.size() > 40 ? QString("<%1 characters from %2>").arg(cell.size()).arg(cell.left(8)) : cell);
    }
    return rows;
}

// The most memory this process has held at once, in KiB.
qint64 PeakMemoryKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

class TestScoreReaderFuzz : public QObject {
    Q_OBJECT
private slots:
    void hugeFileReadsOnlyItsFirstBytesInBoundedMemory();
    void randomInputReadsAsWholeFileReading();
};

void TestScoreReaderFuzz::hugeFileReadsOnlyItsFirstBytesInBoundedMemory()
{
    // Runs first, while the process is still small, so that its peak shows.
    constexpr qint64 kMiB = 1024 * 1024;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("Scores.dat");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("Mario\r\n") == 7);
        const QByteArray block(kMiB, 'x');
        for (int i = 0; i < 100; ++i)
            QVERIFY(file.write(block) == block.size());
        QVERIFY(file.write("\r\n 12\r\nAnna\r\n900") > 0);
    }
    QVERIFY(QFileInfo(path).size() > 100 * kMiB);

    const qint64 peakBefore = PeakMemoryKiB();
    ReadOutcome outcome = ReadOutcome::Whole;
    const HighScoreTable table = ReadHighScores(path, &outcome);
    const qint64 peakAfter = PeakMemoryKiB();

    // Reading stops kMaxFileBytes into the long line: the rows after it are
    // not read, and the file is marked as not read whole.
    QCOMPARE(table[0][0], QString("Mario"));
    QCOMPARE(table[0][1], QString(kMaxLineBytes, u'x'));
    QCOMPARE(table[0][2], QString());
    QCOMPARE(table[1][0], QString());
    QCOMPARE(outcome, ReadOutcome::Partial);
    if (peakBefore < 0)
        QSKIP("no /proc/self/status to measure memory with");
    QVERIFY2(peakAfter - peakBefore < 8 * 1024,
             qPrintable(QString("peak grew by %1 KiB").arg(peakAfter - peakBefore)));
}

void TestScoreReaderFuzz::randomInputReadsAsWholeFileReading()
{
    const quint32 seed = 20240611;
    QRandomGenerator random(seed);
    for (int round = 0; round < 1500; ++round) {
        const QByteArray input = RandomInput(random);
        const HighScoreTable expected = ReferenceRead(input);

        QByteArray copy = input;
        QBuffer buffer(&copy);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const HighScoreTable whole = ReadHighScores(buffer);

        TricklingDevice device(input, random.generate(), 1 + random.bounded(3 * kMaxLineBytes));
        QVERIFY(device.open(QIODevice::ReadOnly));
        const HighScoreTable trickled = ReadHighScores(device);

        if (whole != expected || trickled != expected) {
            qWarning("seed %u, round %d, input of %lld bytes: %s", seed, round,
                     qint64(input.size()), input.left(200).toPercentEncoding().constData());
            QCOMPARE(Rows(whole), Rows(expected));
            QCOMPARE(Rows(trickled), Rows(expected));
            QVERIFY2(false, "cells differ beyond what the summary shows");
        }
    }
}

QTEST_GUILESS_MAIN(TestScoreReaderFuzz)
#include "tst_scorereaderfuzz.moc"
