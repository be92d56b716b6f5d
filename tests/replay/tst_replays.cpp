// Recorded games played again and compared, as text, with how they ended when
// they were recorded. A change to the rules, the timing or the keys shows up
// here as a difference between two texts; each golden is also checked for
// what its name promises, so that a new recording cannot quietly lose it.
#include <QtTest>

#include <algorithm>
#include <map>

#include "replay/Replay.h"

using namespace quadix::replay;
using quadix::Command;

namespace {

const QString kGames = QStringLiteral(QUADIX_REPLAY_GAMES);

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

struct Golden {
    Script script;
    Result result;
    QString error; // set when the replay file could not be read
};

// Each golden is replayed once and shared by the tests that look at it.
const Golden& golden(const QString& name)
{
    static std::map<QString, Golden> cache;
    auto it = cache.find(name);
    if (it != cache.end())
        return it->second;
    Golden g;
    const QString text = readText(kGames + '/' + name + ".replay");
    std::string error;
    if (text.isEmpty()) {
        g.error = "cannot read " + name + ".replay";
    } else if (auto script = ParseScript(text.toStdString(), &error)) {
        g.script = *script;
        g.result = Play(g.script);
    } else {
        g.error = name + ".replay: " + QString::fromStdString(error);
    }
    return cache.emplace(name, std::move(g)).first->second;
}

// A line diff of the two texts (longest common subsequence) in the style of
// diff -u: '-' expected only, '+' replayed only, and three lines of context
// around each change.
QString lineDiff(const QStringList& a, const QStringList& b)
{
    const int n = static_cast<int>(a.size());
    const int m = static_cast<int>(b.size());
    std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
    for (int i = n - 1; i >= 0; --i)
        for (int j = m - 1; j >= 0; --j)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1
                                        : std::max(common[i + 1][j], common[i][j + 1]);
    QStringList lines;
    int i = 0;
    int j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            lines << ' ' + a[i++];
            ++j;
        } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
            lines << '-' + a[i++];
        } else {
            lines << '+' + b[j++];
        }
    }
    constexpr int kContext = 3;
    QStringList out{"--- expected", "+++ replayed"};
    int shownUpTo = -1;
    for (int k = 0; k < lines.size(); ++k) {
        if (lines[k].startsWith(' '))
            continue;
        const int from = std::max(k - kContext, shownUpTo + 1);
        if (from > shownUpTo + 1)
            out << "@@";
        const int to = std::min<int>(k + kContext, lines.size() - 1);
        for (int c = from; c <= to; ++c)
            out << lines[c];
        shownUpTo = std::max(shownUpTo, to);
    }
    return out.join('\n');
}

bool hasKey(const Script& script, Command command)
{
    return std::any_of(script.events.begin(), script.events.end(),
                       [command](const Event& e) { return e.command == command; });
}

Result playText(const char* text)
{
    std::string error;
    auto script = ParseScript(text, &error);
    if (script)
        return Play(*script);
    Result unreadable;
    unreadable.error = "unreadable: " + error;
    return unreadable;
}

const QStringList kGoldenNames{"short", "all_clears", "level10", "overlap_end", "monkey"};

} // namespace

class ReplayTest : public QObject {
    Q_OBJECT

private slots:
    void everyReplayHasItsExpectedText();
    void replayEndsAsRecorded_data();
    void replayEndsAsRecorded();
    void shortGameIsStoppedAfterAPause();
    void allClearsHasLocksOfOneToFourRows();
    void level10ShowsThreePiecesAhead();
    void overlapEndIsLostByAnOverlappingPiece();
    void monkeyPressesEveryKeyAndLoses();
    void readerRefusesBadLines_data();
    void readerRefusesBadLines();
    void readerSkipsCommentsBlanksAndCarriageReturns();
    void writtenScriptReadsBackUnchanged();
    void pausedGameWithNoKeyLeftIsAnError();
    void stopAtOnceLeavesTheFirstPieceOnly();
    void keysAfterTheEndAreCountedAsUnplayed();
};

void ReplayTest::everyReplayHasItsExpectedText()
{
    const QStringList replays = QDir(kGames).entryList({"*.replay"}, QDir::Files);
    for (const QString& name : kGoldenNames)
        QVERIFY2(replays.contains(name + ".replay"), qPrintable(name + ".replay is missing"));
    for (const QString& file : replays) {
        const QString expected = QFileInfo(file).completeBaseName() + ".expected";
        QVERIFY2(QFileInfo::exists(kGames + '/' + expected), qPrintable(expected + " is missing"));
    }
}

void ReplayTest::replayEndsAsRecorded_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& file : QDir(kGames).entryList({"*.replay"}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(file)) << QFileInfo(file).completeBaseName();
}

void ReplayTest::replayEndsAsRecorded()
{
    QFETCH(QString, name);
    const Golden& g = golden(name);
    QVERIFY2(g.error.isEmpty(), qPrintable(g.error));
    const QString expected = readText(kGames + '/' + name + ".expected");
    QVERIFY2(!expected.isEmpty(), qPrintable("no text in " + name + ".expected"));
    const QString replayed = QString::fromStdString(ResultText(g.result));
    if (replayed != expected) {
        const QString diff = lineDiff(expected.split('\n'), replayed.split('\n'));
        QFAIL(qPrintable(name + " no longer ends as recorded:\n" + diff));
    }
    QVERIFY2(g.result.error.empty(), g.result.error.c_str());
}

void ReplayTest::shortGameIsStoppedAfterAPause()
{
    const Golden& g = golden("short");
    QVERIFY2(g.error.isEmpty(), qPrintable(g.error));
    QVERIFY(hasKey(g.script, Command::Pause));
    QVERIFY(hasKey(g.script, Command::PauseResume));
    QVERIFY(!g.script.events.empty());
    QCOMPARE(int(g.script.events.back().command), int(Command::StartStop));
    QVERIFY(g.result.stoppedByPlayer);
    QVERIFY(g.result.pieces >= 3 && g.result.pieces <= 10);
    QCOMPARE(g.result.unplayedEvents, 0);
}

void ReplayTest::allClearsHasLocksOfOneToFourRows()
{
    const Golden& g = golden("all_clears");
    QVERIFY2(g.error.isEmpty(), qPrintable(g.error));
    for (int rows = 1; rows <= kMostRowsAtOnce; ++rows)
        QVERIFY2(g.result.locks[rows] > 0, qPrintable(QString("no lock of %1 rows").arg(rows)));
    int rowsCompleted = 0;
    for (int rows = 1; rows <= kMostRowsAtOnce; ++rows)
        rowsCompleted += rows * g.result.locks[rows];
    QCOMPARE(rowsCompleted, g.result.lines);
}

void ReplayTest::level10ShowsThreePiecesAhead()
{
    const Golden& g = golden("level10");
    QVERIFY2(g.error.isEmpty(), qPrintable(g.error));
    QVERIFY(g.result.level >= 10 && g.result.level < 20);
    QVERIFY(g.result.lines >= 100);
    QCOMPARE(g.result.previewCount, 3);
    // Every level on the way was played, and the fourth preview went at level 10.
    QCOMPARE(int(g.result.levels.size()), g.result.level + 1);
    for (int level = 0; level <= g.result.level; ++level) {
        const LevelReached& reached = g.result.levels[level];
        QCOMPARE(reached.level, level);
        QCOMPARE(reached.previewCount, level < 10 ? 4 : 3);
    }
}

void ReplayTest::overlapEndIsLostByAnOverlappingPiece()
{
    const Golden& g = golden("overlap_end");
    QVERIFY2(g.error.isEmpty(), qPrintable(g.error));
    QVERIFY(!hasKey(g.script, Command::StartStop));
    QVERIFY(!g.result.stoppedByPlayer);
    QCOMPARE(g.result.stopState, 2);
    QVERIFY(g.result.score > 0); // a lost game with points: the records are offered
}

void ReplayTest::monkeyPressesEveryKeyAndLoses()
{
    const Golden& g = golden("monkey");
    QVERIFY2(g.error.isEmpty(), qPrintable(g.error));
    for (Command command : {Command::ShiftLeft, Command::ShiftRight, Command::TurnClockwise,
                            Command::TurnCounterClockwise, Command::StepDown, Command::Pause, Command::PauseResume})
        QVERIFY2(hasKey(g.script, command), KeyName(command));
    QVERIFY(!hasKey(g.script, Command::StartStop));
    QVERIFY(!g.result.stoppedByPlayer);
    QCOMPARE(g.result.stopState, 2);
    QVERIFY(g.result.lines > 0);
}

void ReplayTest::readerRefusesBadLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("no seed") << "# nothing\n\n" << "no seed line";
    QTest::newRow("key before the seed") << "5 Left\nseed 1\n" << "line 1: an event before the seed";
    QTest::newRow("second seed") << "seed 1\nseed 2\n" << "line 2: a second seed";
    QTest::newRow("seed not a number") << "seed x1\n" << "line 1: the seed is not a number";
    QTest::newRow("seed too large") << "seed 4294967296\n" << "line 1: the seed is not a number";
    QTest::newRow("unknown key") << "seed 1\n5 Space\n" << "line 2: unknown key 'Space'";
    QTest::newRow("key names are case-sensitive") << "seed 1\n5 left\n" << "line 2: unknown key 'left'";
    QTest::newRow("no key") << "seed 1\n5\n" << "line 2: unknown key ''";
    QTest::newRow("negative time") << "seed 1\n-5 Left\n" << "line 2: expected <ms> <key>";
    QTest::newRow("time goes backwards") << "seed 1\n10 Left\n9 Right\n" << "line 3: time goes backwards";
    QTest::newRow("three words") << "seed 1\n5 Left Right\n" << "line 2: more than two words";
}

void ReplayTest::readerRefusesBadLines()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    std::string message;
    QVERIFY(!ParseScript(text.toStdString(), &message));
    QCOMPARE(QString::fromStdString(message), error);
}

void ReplayTest::readerSkipsCommentsBlanksAndCarriageReturns()
{
    std::string error;
    auto script = ParseScript("  # an indented comment\r\n\r\nseed 77\r\n0 Left\n0 Right\r\n\t12\tDown  \n13 Ctrl\n",
                              &error);
    QVERIFY2(script, error.c_str());
    QCOMPARE(script->seed, 77u);
    // Ctrl gives what Up gives.
    const std::vector<Event> expected{
        {0, Command::ShiftLeft}, {0, Command::ShiftRight}, {12, Command::StepDown}, {13, Command::TurnClockwise}};
    QVERIFY(script->events == expected);
}

void ReplayTest::writtenScriptReadsBackUnchanged()
{
    Script script{4000000000u, {}};
    uint32_t ms = 0;
    for (Command command : {Command::ShiftLeft, Command::ShiftRight, Command::TurnClockwise,
                            Command::TurnCounterClockwise, Command::StepDown, Command::Pause, Command::PauseResume,
                            Command::StartStop})
        script.events.push_back({ms += 7, command});
    const std::string text = WriteScript(script, {"a comment", "another"});
    QVERIFY(QString::fromStdString(text).startsWith("# a comment\n# another\nseed 4000000000\n7 Left\n"));
    std::string error;
    auto back = ParseScript(text, &error);
    QVERIFY2(back, error.c_str());
    QCOMPARE(back->seed, script.seed);
    QVERIFY(back->events == script.events);
}

void ReplayTest::pausedGameWithNoKeyLeftIsAnError()
{
    const Result r = playText("seed 1\n100 Esc\n");
    QCOMPARE(QString::fromStdString(r.error), QString("paused with no event left to resume the game"));
    QCOMPARE(r.endMs, 100u); // given up at once, not after hours of fake time
}

void ReplayTest::stopAtOnceLeavesTheFirstPieceOnly()
{
    const Result r = playText("seed 9\n0 F2\n");
    QVERIFY2(r.error.empty(), r.error.c_str());
    QCOMPARE(r.pieces, 1);
    QCOMPARE(r.locks, (LockCounts{0, 0, 0, 0, 0}));
    QVERIFY(r.stoppedByPlayer);
    QCOMPARE(r.endMs, 0u);
    QCOMPARE(r.board.size(), size_t(26));
    for (const auto& row : r.board)
        QCOMPARE(QString::fromStdString(row), QString(".........."));
}

void ReplayTest::keysAfterTheEndAreCountedAsUnplayed()
{
    const Result r = playText("seed 9\n50 Left\n60 F2\n70 Right\n70 Esc\n");
    QVERIFY2(r.error.empty(), r.error.c_str());
    QCOMPARE(r.unplayedEvents, 2);
    QCOMPARE(r.endMs, 60u);
    QVERIFY(QString::fromStdString(ResultText(r)).contains("\nunplayedEvents 2\n"));
}

QTEST_APPLESS_MAIN(ReplayTest)
#include "tst_replays.moc"
