// The table of records: reading Scores.dat, writing it, and ranking a score.
#include "scores/HighScores.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "support/TableText.h"

using namespace quadix;
using quadix::test::Table;
using namespace Qt::Literals::StringLiterals;

namespace {

// The table as rows of "name|score|lines", trailing empty rows left out, so
// that a failing comparison prints a readable picture.
QStringList Rows(const HighScoreTable& table)
{
    QStringList rows;
    for (const auto& row : table)
        rows << row[0] + u'|' + row[1] + u'|' + row[2];
    while (!rows.isEmpty() && rows.last() == u"||")
        rows.removeLast();
    return rows;
}

HighScoreTable ReadBytes(const QByteArray& bytes, ReadOutcome* outcome = nullptr)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadHighScores(buffer, outcome);
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Fails every read after the first `good` bytes, as a bad disk does.
class FailingDevice : public QIODevice {
public:
    FailingDevice(QByteArray data, qint64 good) : data_(std::move(data)), good_(good) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        if (served_ >= good_)
            return -1;
        const qint64 n = std::min({max, good_ - served_, qint64(data_.size()) - served_});
        memcpy(out, data_.constData() + served_, size_t(n));
        served_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data_;
    qint64 good_;
    qint64 served_ = 0;
};

QStringList Counted(const QString& pattern, int from, int to)
{
    QStringList rows;
    for (int i = from; i <= to; ++i)
        rows << pattern.arg(i);
    return rows;
}

QByteArray Lines(const QStringList& lines, const char* end = "\r\n")
{
    QByteArray out;
    for (const QString& line : lines)
        out += line.toLatin1() + end;
    return out;
}

} // namespace

class TestHighScores : public QObject {
    Q_OBJECT
private slots:
    void readerFillsRowsFromLines_data();
    void readerFillsRowsFromLines();
    void readerOfMissingFileLeavesTableEmpty();
    void readerOfFolderLeavesTableEmpty();
    void readErrorKeepsRowsReadSoFar();
    void readerCutsOverlongLineAndGoesOn();

    void writerProducesExactBytes_data();
    void writerProducesExactBytes();
    void writtenTableReadsBack_data();
    void writtenTableReadsBack();
    void writeReplacesLongerFileWhole();
    void everyByteOfANameWritesBackAsRead();

    void scoreValueReadsLeadingNumber_data();
    void scoreValueReadsLeadingNumber();
    void newScoreOpensFirstLowerPlace_data();
    void newScoreOpensFirstLowerPlace();
    void recordNameIsOneLine_data();
    void recordNameIsOneLine();
};

void TestHighScores::readerFillsRowsFromLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("fewer than 30 lines")
        << QByteArray("Anna\r\n900\r\n9\r\nBruno\r\n500\r\n5\r\n")
        << QStringList{"Anna|900|9", "Bruno|500|5"};
    QTest::newRow("33 lines fill the spare row")
        << Lines(Counted("N%1\r\n%1\r\n1", 1, 11)) << Counted("N%1|%1|1", 1, 11);
    QTest::newRow("lines after the 33rd are ignored")
        << Lines(Counted("N%1\r\n%1\r\n1", 1, 14)) << Counted("N%1|%1|1", 1, 11);
    QTest::newRow("commas and quotes belong to the value")
        << QByteArray("\"Rossi, Mario\"\r\n1,250\r\n\"12\"\r\n")
        << QStringList{"\"Rossi, Mario\"|1,250|\"12\""};
    QTest::newRow("a line of blanks is empty")
        << QByteArray("   \r\n \t \r\n7\r\n") << QStringList{"||7"};
    QTest::newRow("leading blanks dropped, trailing kept")
        << QByteArray("  Mario  \r\n 1250\r\n\t12\r\n") << QStringList{"Mario  |1250|12"};
    QTest::newRow("CR alone ends a line")
        << QByteArray("Anna\r900\r9\rBruno\r500\r5\r") << QStringList{"Anna|900|9", "Bruno|500|5"};
    QTest::newRow("LF alone ends a line")
        << QByteArray("Anna\n900\n9\nBruno\n500\n5\n") << QStringList{"Anna|900|9", "Bruno|500|5"};
    QTest::newRow("LF CR is two line ends")
        << QByteArray("Anna\n\r900\r\n9\r\n") << QStringList{"Anna||900", "9||"};
    QTest::newRow("row cut short after its name")
        << QByteArray("Anna\r\n900\r\n9\r\nBruno\r\n") << QStringList{"Anna|900|9", "Bruno||"};
    QTest::newRow("row cut short after its score")
        << QByteArray("Anna\r\n900\r\n9\r\nBruno\r\n500") << QStringList{"Anna|900|9", "Bruno|500|"};
    QTest::newRow("last line without line end")
        << QByteArray("Anna\r\n900\r\n9") << QStringList{"Anna|900|9"};
    QTest::newRow("Windows-1252 letters")
        << QByteArray("Niccol\xF2 \x80\r\n10\r\n1\r\n") << QStringList{u"Niccolò €|10|1"_s};
}

void TestHighScores::readerFillsRowsFromLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, rows);
    ReadOutcome outcome = ReadOutcome::Partial;
    QCOMPARE(Rows(ReadBytes(file, &outcome)), rows);
    QCOMPARE(outcome, ReadOutcome::Whole);
}

void TestHighScores::readerOfMissingFileLeavesTableEmpty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(Rows(ReadHighScores(dir.filePath("Scores.dat"))), QStringList());
}

void TestHighScores::readerOfFolderLeavesTableEmpty()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("Scores.dat"));
    QCOMPARE(Rows(ReadHighScores(dir.filePath("Scores.dat"))), QStringList());
}

void TestHighScores::readErrorKeepsRowsReadSoFar()
{
    const QByteArray file("Anna\r\n900\r\n9\r\nBruno\r\n500\r\n5\r\n");
    FailingDevice device(file, file.indexOf("500"));
    QVERIFY(device.open(QIODevice::ReadOnly));
    ReadOutcome outcome = ReadOutcome::Whole;
    QCOMPARE(Rows(ReadHighScores(device, &outcome)), (QStringList{"Anna|900|9", "Bruno||"}));
    QCOMPARE(outcome, ReadOutcome::Partial);  // a table to be kept, not written over
}

void TestHighScores::readerCutsOverlongLineAndGoesOn()
{
    const QByteArray name(kMaxLineBytes + 5000, 'a');
    const HighScoreTable table = ReadBytes("   " + name + "\r\n1250\r\n12\r\nBruno\r\n5\r\n1\r\n");
    QCOMPARE(table[0][0], QString(kMaxLineBytes, u'a'));
    QCOMPARE(Rows(table).mid(1), QStringList{"Bruno|5|1"});
    QCOMPARE(table[0][1], u"1250"_s);
}

void TestHighScores::writerProducesExactBytes_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray empty30 = QByteArray("\r\n").repeated(30);
    QTest::newRow("empty table") << QStringList() << empty30;
    QTest::newRow("spare row is not written")
        << Counted("N%1|%1|1", 1, 11) << Lines(Counted("N%1\r\n%1\r\n1", 1, 10));
    QTest::newRow("Windows-1252 letters")
        << QStringList{u"Niccolò €|5|1"_s} << "Niccol\xF2 \x80\r\n5\r\n1\r\n" + empty30.mid(6);
    QTest::newRow("characters outside the code page become ?")
        << QStringList{u"Łukasz 名前 \U0001F600|5|1"_s} << "?ukasz ?? ?\r\n5\r\n1\r\n" + empty30.mid(6);
    QTest::newRow("lone surrogate becomes ?")
        << QStringList{u"A"_s + QChar(0xD800) + u"B|5|1"_s} << "A?B\r\n5\r\n1\r\n" + empty30.mid(6);
    QTest::newRow("lone surrogate at the end becomes ?")
        << QStringList{u"AB"_s + QChar(0xD800) + u"|5|1"_s} << "AB?\r\n5\r\n1\r\n" + empty30.mid(6);
    QTest::newRow("invisible format characters become ?")
        << QStringList{u"A\u200BB\uFEFFC|5|1"_s} << "A?B?C\r\n5\r\n1\r\n" + empty30.mid(6);
    QTest::newRow("control character 0x1A is kept")
        << QStringList{u"A"_s + QChar(0x1A) + u"B|5|1"_s} << "A\x1A" "B\r\n5\r\n1\r\n" + empty30.mid(6);
    QTest::newRow("line breaks in a cell are dropped")
        << QStringList{"Ma\r\nrio|12\n50|1\r2"} << "Mario\r\n1250\r\n12\r\n" + empty30.mid(6);
}

void TestHighScores::writerProducesExactBytes()
{
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, bytes);
    QCOMPARE(EncodeHighScores(Table(rows)), bytes);
}

void TestHighScores::writtenTableReadsBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("nameReadBack");

    QTest::newRow("accented") << u"Niccolò"_s << u"Niccolò"_s;
    QTest::newRow("commas and quotes") << u"\"Rossi, Mario\", 2°"_s << u"\"Rossi, Mario\", 2°"_s;
    QTest::newRow("trailing blanks") << u"Ugo  "_s << u"Ugo  "_s;
    QTest::newRow("blanks only are no name") << u" \t "_s << u"Anonimo"_s;
    QTest::newRow("empty becomes Anonimo") << QString() << u"Anonimo"_s;
    QTest::newRow("long name") << QString(300, u'z') << QString(300, u'z');
}

void TestHighScores::writtenTableReadsBack()
{
    QFETCH(QString, name);
    QFETCH(QString, nameReadBack);
    QTemporaryDir dir;
    const QString path = dir.filePath("Scores.dat");

    HighScoreTable table = Table({"Anna|2000|20", "Bruno|100|1"});
    const int place = OpenPlaceFor(table, 1250);
    QCOMPARE(place, 1);
    StoreRecord(table, place, name, 1250, 12);
    QCOMPARE(table[1][1], u" 1250"_s);
    QVERIFY(WriteHighScores(table, path));

    // Numbers entered this run carry a blank that the reader drops.
    QCOMPARE(Rows(ReadHighScores(path)),
             (QStringList{"Anna|2000|20", nameReadBack + "|1250|12", "Bruno|100|1"}));
}

void TestHighScores::writeReplacesLongerFileWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Scores.dat");
    QVERIFY(WriteHighScores(Table(Counted("Giocatore numero %1|%1|%1", 1, 10)), path));

    HighScoreTable table;
    StoreRecord(table, OpenPlaceFor(table, 1250), u"Mario"_s, 1250, 12);
    QVERIFY(WriteHighScores(table, path));

    const QByteArray bytes = FileBytes(path);
    QCOMPARE(bytes.size(), 73);
    QCOMPARE(bytes, "Mario\r\n 1250\r\n 12\r\n" + QByteArray("\r\n").repeated(27));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Scores.dat"});
}

void TestHighScores::everyByteOfANameWritesBackAsRead()
{
    QByteArray name;
    for (int byte = 0x21; byte <= 0xFF; ++byte)
        name += char(byte);
    const QByteArray file = name + "\r\n5\r\n1\r\n" + QByteArray("\r\n").repeated(27);
    QCOMPARE(EncodeHighScores(ReadBytes(file)), file);
}

void TestHighScores::scoreValueReadsLeadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");

    QTest::newRow("empty") << QString() << qint64(0);
    QTest::newRow("digits") << u"1250"_s << qint64(1250);
    QTest::newRow("blank before") << u" 1250"_s << qint64(1250);
    QTest::newRow("blanks and tab") << u" \t 42"_s << qint64(42);
    QTest::newRow("text after the number") << u"42abc"_s << qint64(42);
    QTest::newRow("number after a blank inside") << u"12 34"_s << qint64(12);
    QTest::newRow("no number") << u"abc"_s << qint64(0);
    QTest::newRow("minus") << u"-5"_s << qint64(-5);
    QTest::newRow("beyond 32 bits") << u"99999999999"_s << qint64(99999999999);
}

void TestHighScores::scoreValueReadsLeadingNumber()
{
    QFETCH(QString, text);
    QFETCH(qint64, value);
    QCOMPARE(ScoreValue(text), value);
}

void TestHighScores::newScoreOpensFirstLowerPlace_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("score");
    QTest::addColumn<int>("place");
    QTest::addColumn<QStringList>("after");

    QStringList tenBest;
    for (int i = 10; i >= 1; --i)
        tenBest << QString("P%1|%2|%1").arg(i).arg(i * 200);  // 2000 down to 200
    QStringList withSpare = tenBest;
    withSpare << "Spare|9999|9";

    QTest::newRow("empty table takes place 0") << QStringList() << 1 << 0 << QStringList();
    QTest::newRow("equal score goes below")
        << QStringList{"A|1000|1", "B|800|1"} << 800 << 2 << QStringList{"A|1000|1", "B|800|1"};
    QTest::newRow("higher score pushes the equal one down")
        << QStringList{"A|1000|1", "B|800|1"} << 801 << 1
        << QStringList{"A|1000|1", "B|800|1", "B|800|1"};
    QTest::newRow("new best pushes out place 9")
        << tenBest << 5000 << 0 << QStringList{tenBest[0]} + tenBest.mid(0, 9);
    QTest::newRow("spare row untouched")
        << withSpare << 5000 << 0 << QStringList{tenBest[0]} + tenBest.mid(0, 9) + QStringList{"Spare|9999|9"};
    QTest::newRow("equal to place 9 qualifies nowhere") << tenBest << 200 << -1 << tenBest;
    QTest::newRow("lower than all qualifies nowhere") << tenBest << 1 << -1 << tenBest;
    QTest::newRow("blank before a number ranks by value")
        << QStringList{"A| 1000|1", "B|900|1"} << 950 << 1
        << QStringList{"A| 1000|1", "B|900|1", "B|900|1"};
    QTest::newRow("text that is no number counts as 0")
        << QStringList{"A|1000|1", "B|molti|1"} << 5 << 1
        << QStringList{"A|1000|1", "B|molti|1", "B|molti|1"};
}

void TestHighScores::newScoreOpensFirstLowerPlace()
{
    QFETCH(QStringList, before);
    QFETCH(int, score);
    QFETCH(int, place);
    QFETCH(QStringList, after);
    HighScoreTable table = Table(before);
    QCOMPARE(OpenPlaceFor(table, score), place);
    QCOMPARE(Rows(table), after);
}

void TestHighScores::recordNameIsOneLine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");

    QTest::newRow("empty") << QString() << u"Anonimo"_s;
    // Pins a name of blanks stored as typed and read back empty after a restart.
    QTest::newRow("blanks only") << u"   "_s << u"Anonimo"_s;
    QTest::newRow("blank and tab only") << u" \t"_s << u"Anonimo"_s;
    QTest::newRow("blanks around a name kept") << u" Ugo "_s << u" Ugo "_s;
    QTest::newRow("CR LF dropped") << u"Ma\r\nrio"_s << u"Mario"_s;
    QTest::newRow("Unicode separators dropped") << u"A\u2028B\u2029C\u0085D\u000BE\u000CF"_s << u"ABCDEF"_s;
    QTest::newRow("only line breaks") << u"\r\n"_s << u"Anonimo"_s;
    QTest::newRow("anything else kept") << u"\"Rossi, M.\" <b>&amp;"_s << u"\"Rossi, M.\" <b>&amp;"_s;
}

void TestHighScores::recordNameIsOneLine()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QCOMPARE(RecordName(typed), stored);
}

QTEST_GUILESS_MAIN(TestHighScores)
#include "tst_highscores.moc"
