// Where Scores.dat is kept, and what a write that fails, a file that cannot be
// read, a link, a folder shared with others, two games at once or a killed
// save leave behind.
//
// Folder and file modes decide the place, but they do not stop root. When the
// tests run as root, the checks that depend on modes run in a child process
// that has given up root for the "nobody" user.
#include "scores/HighScores.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "support/FileFaults.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <optional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quadix;
using namespace quadix::test;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kPlayersGroup = 4242;  // a group that nobody is in but the tests' player

// Runs the check in a child process as an ordinary user (also in
// kPlayersGroup when `inGroup`) and returns what it reports; nothing when the
// test runs as root and cannot switch user. A check that hangs (a pipe opened
// for reading, say) is killed and reported so.
std::optional<QByteArray> RunUnprivileged(const std::function<QByteArray()>& check, bool inGroup = false)
{
    int fds[2];
    if (pipe(fds) != 0)
        return std::nullopt;
    const pid_t pid = fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        close(fds[0]);
        alarm(20);
        QByteArray report = "\x01";
        if (geteuid() != 0
            || (setgroups(inGroup ? 1 : 0, &kPlayersGroup) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0))
            report = check();
        const ssize_t written = write(fds[1], report.constData(), size_t(report.size()));
        _exit(written == report.size() ? 0 : 1);
    }
    close(fds[1]);
    QByteArray report;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return "killed by signal " + QByteArray::number(WTERMSIG(status));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report == "\x01")
        return std::nullopt;
    return report;
}

bool SetMode(const QString& path, QFile::Permissions mode)
{
    return QFile::setPermissions(path, mode);
}

const QFile::Permissions kOpenFolder = QFile::Permissions(0x7777);   // rwx for all
const QFile::Permissions kClosedFolder = QFile::Permissions(0x5555); // r-x for all
const QFile::Permissions kOpenFile = QFile::Permissions(0x6666);     // rw- for all
const QFile::Permissions kClosedFile = QFile::Permissions(0x4444);   // r-- for all

bool MakeFile(const QString& path, const QByteArray& bytes, QFile::Permissions mode)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
        && (file.close(), SetMode(path, mode));
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A base folder that the ordinary user can enter, with "bin" for the
// executable's folder and "data" for the user's data folder.
struct Folders {
    QTemporaryDir base;
    QString exe = base.filePath("bin");
    QString data = base.filePath("data");
    bool Make()
    {
        return base.isValid() && SetMode(base.path(), QFile::Permissions(0x7755))
            && QDir().mkdir(exe) && QDir().mkdir(data) && SetMode(data, kOpenFolder);
    }
    // "exe/Scores.dat" or "data/Scores.dat" for a path below the base.
    QString Short(const QString& path) const
    {
        return QDir(base.path()).relativeFilePath(path).replace("bin/", "exe/");
    }
};

// The names of the rows that have a score.
QString Names(const HighScoreTable& table)
{
    QStringList names;
    for (const auto& row : table)
        names << (row[kScoreColumn].isEmpty() ? QString() : row[kNameColumn]);
    names.removeAll(QString());
    return names.join(u',');
}

// Inode, size and time of what stands at a name and at its link's end.
QByteArray Snapshot(const QString& path)
{
    QByteArray out;
    struct stat st {};
    for (auto get : {lstat, stat})
        out += get(QFile::encodeName(path).constData(), &st) ? QByteArray("none ")
            : QByteArray::number(st.st_ino) + ':' + QByteArray::number(st.st_size) + ':' + QByteArray::number(st.st_mtim.tv_nsec) + ' ';
    return out;
}

// Puts a layout of savingKeepsWhatCannotBeRead beside the executable.
bool Lay(const Folders& folders, const QString& layout)
{
    const QByteArray file = QFile::encodeName(folders.exe + "/Scores.dat");
    const QByteArray anna = "Anna\r\n900\r\n9\r\n";
    if (!MakeFile(folders.data + "/notes.txt", anna, kOpenFile) || !SetMode(folders.exe, kOpenFolder))
        return false;
    if (layout == u"closed")
        return MakeFile(file, anna, kOpenFile) && SetMode(folders.exe, kClosedFolder);
    if (layout == u"write-only")
        return MakeFile(file, anna, QFile::Permissions(0x2222));
    if (layout == u"8GB")
        return MakeFile(file, anna, kOpenFile) && truncate(file.constData(), 8LL << 30) == 0;
    if (layout == u"pipe")
        return mkfifo(file.constData(), 0666) == 0;
    // A link, "owner target", in a folder that all can write, as /tmp.
    const QStringList link = layout.split(u' ');
    const uid_t owner = link[0] == u"mine" ? kNobody : link[0] == u"folder" ? 0 : 1;
    const QString target = link[1] == u"dev" ? u"/dev/zero"_s : folders.data + u'/' + link[1];
    return chmod(QFile::encodeName(folders.exe).constData(), 01777) == 0
        && symlink(QFile::encodeName(target).constData(), file.constData()) == 0
        && lchown(file.constData(), owner, owner) == 0;
}

const char* OutcomeName(SaveOutcome outcome)
{
    const char* names[] = {"saved", "aside", "busy", "refused", "failed"};
    return names[int(outcome)];
}

// Which table holds Mario's record: "exe", "data" or "none".
QByteArray Holder(const Folders& folders)
{
    for (const QString& where : {u"exe"_s, u"data"_s}) {
        const QString folder = where == u"exe" ? folders.exe : folders.data;
        if (Names(ReadHighScores(folder + "/Scores.dat")).contains(u"Mario"))
            return where.toUtf8();
    }
    return "none";
}

// Sets the time a file was last written to an hour ago.
bool Age(const QString& path)
{
    const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), hourAgo, AT_SYMLINK_NOFOLLOW) == 0;
}

HighScoreTable OneRecord(const QString& name)
{
    HighScoreTable table;
    StoreRecord(table, OpenPlaceFor(table, 1250), name, 1250, 12);
    return table;
}

} // namespace

class TestScoreFilePlace : public QObject {
    Q_OBJECT
private slots:
    void placeFollowsWhatCanBeWritten_data();
    void placeFollowsWhatCanBeWritten();
    void exeFolderThatCannotExistUsesDataFolder();
    void exeFolderMovedAwayIsNotMadeAgain();
    void firstRecordMovesReadingToDataFolder();
    void writableFileInClosedFolderIsNotWrittenInPlace();
    void thisProgramKeepsScoresBesideItWhenItCan();

    void writeBelowRegularFileFails();
    void fullDiskKeepsOldFile();
    void closedFolderAndFileKeepOldFile();
    void rootsSaveLeavesTableToItsOwner();

    void savingKeepsWhatCannotBeRead_data();
    void savingKeepsWhatCannotBeRead();
    void gamesSavingAtOnceKeepEveryRecord();
    void killedSavesLeaveWholeTableAndNoLeftovers_data();
    void killedSavesLeaveWholeTableAndNoLeftovers();
    void cleanUpTakesOnlyGameLeftovers_data();
    void cleanUpTakesOnlyGameLeftovers();

    void sharedFolderKeepsRecordAndTable_data();
    void sharedFolderKeepsRecordAndTable();
    void linkSwappedInAfterALookIsNotWrittenThrough();
    void playersLinkSwappedBeforeItIsReadIsNotFollowed();
    void failingStepSendsRecordToUserPlace_data();
    void failingStepSendsRecordToUserPlace();
};

void TestScoreFilePlace::placeFollowsWhatCanBeWritten_data()
{
    QTest::addColumn<bool>("exeFolderWritable");
    QTest::addColumn<QString>("exeFile");     // "none", "writable" or "read-only"
    QTest::addColumn<bool>("dataFileExists");
    QTest::addColumn<QString>("readFrom");
    QTest::addColumn<QString>("writeTo");

    const QString exe = u"exe/Scores.dat"_s;
    const QString data = u"data/Scores.dat"_s;
    QTest::newRow("writable folder, no file") << true << "none" << false << exe << exe;
    QTest::newRow("writable folder and file") << true << "writable" << false << exe << exe;
    QTest::newRow("writable folder wins over data folder") << true << "writable" << true << exe << exe;
    QTest::newRow("writable folder, read-only file") << true << "read-only" << false << exe << data;
    QTest::newRow("read-only folder, no file") << false << "none" << false << data << data;
    QTest::newRow("read-only folder, file beside") << false << "read-only" << false << exe << data;
    QTest::newRow("read-only folder, data folder has its own") << false << "read-only" << true << data << data;
    QTest::newRow("read-only folder, writable file") << false << "writable" << false << exe << data;
}

void TestScoreFilePlace::placeFollowsWhatCanBeWritten()
{
    QFETCH(bool, exeFolderWritable);
    QFETCH(QString, exeFile);
    QFETCH(bool, dataFileExists);
    QFETCH(QString, readFrom);
    QFETCH(QString, writeTo);

    Folders folders;
    QVERIFY(folders.Make());
    if (exeFile != u"none")
        QVERIFY(MakeFile(folders.exe + "/Scores.dat", "A\r\n1\r\n1\r\n",
                         exeFile == u"writable" ? kOpenFile : kClosedFile));
    if (dataFileExists)
        QVERIFY(MakeFile(folders.data + "/Scores.dat", "B\r\n2\r\n2\r\n", kOpenFile));
    QVERIFY(SetMode(folders.exe, exeFolderWritable ? kOpenFolder : kClosedFolder));

    const auto report = RunUnprivileged([&] {
        const ScoreFilePaths paths = ChooseScoreFile(folders.exe, folders.data);
        return (folders.Short(paths.readPath) + u' ' + folders.Short(paths.writePath)).toUtf8();
    });
    if (!report)
        QSKIP("running as root without a way to become an ordinary user");
    QCOMPARE(QString::fromUtf8(*report), readFrom + u' ' + writeTo);
}

void TestScoreFilePlace::exeFolderThatCannotExistUsesDataFolder()
{
    // No user, root included, can create a folder below a regular file.
    Folders folders;
    QVERIFY(folders.Make());
    QVERIFY(MakeFile(folders.base.filePath("plain"), "x", kOpenFile));
    const ScoreFilePaths paths = ChooseScoreFile(folders.base.filePath("plain/bin"), folders.data);
    QCOMPARE(folders.Short(paths.readPath), u"data/Scores.dat"_s);
    QCOMPARE(folders.Short(paths.writePath), u"data/Scores.dat"_s);
}

void TestScoreFilePlace::exeFolderMovedAwayIsNotMadeAgain()
{
    // The player moves the game's folder while it runs. Pins the save making
    // the old folder again, holding a table of the new record alone, and
    // saying nothing.
    Folders folders;
    QVERIFY(folders.Make() && SetMode(folders.exe, kOpenFolder));
    QVERIFY(MakeFile(folders.exe + "/Scores.dat", "Anna\r\n900\r\n9\r\n", kOpenFile));
    const ScoreFilePaths paths = ChooseScoreFile(folders.exe, folders.data);
    QVERIFY(QDir().rename(folders.exe, folders.base.filePath("moved")));
    QCOMPARE(SaveRecord(paths, u"Mario"_s, 1250, 12).outcome, SaveOutcome::SavedAsideRefused);
    QVERIFY(!QFileInfo::exists(folders.exe));
    QCOMPARE(Names(ReadHighScores(folders.data + "/Scores.dat")), u"Mario"_s);
}

void TestScoreFilePlace::firstRecordMovesReadingToDataFolder()
{
    Folders folders;
    QVERIFY(folders.Make());
    QVERIFY(MakeFile(folders.exe + "/Scores.dat", "Anna\r\n900\r\n9\r\n", kClosedFile));
    QVERIFY(SetMode(folders.exe, kClosedFolder));
    // The data folder does not exist yet: the first write makes it.
    QVERIFY(QDir(folders.data).removeRecursively());
    QVERIFY(SetMode(folders.base.path(), kOpenFolder));

    const auto report = RunUnprivileged([&] {
        const ScoreFilePaths first = ChooseScoreFile(folders.exe, folders.data);
        HighScoreTable table = ReadHighScores(first.readPath);
        StoreRecord(table, OpenPlaceFor(table, 1250), u"Mario"_s, 1250, 12);
        const bool written = WriteHighScores(table, first.writePath);
        const ScoreFilePaths next = ChooseScoreFile(folders.exe, folders.data);
        return QByteArray(written ? "written " : "failed ") + folders.Short(next.readPath).toUtf8()
            + ' ' + ReadHighScores(next.readPath)[1][0].toUtf8();
    });
    if (!report)
        QSKIP("running as root without a way to become an ordinary user");
    QCOMPARE(*report, QByteArray("written data/Scores.dat Anna"));
    QCOMPARE(FileBytes(folders.exe + "/Scores.dat"), QByteArray("Anna\r\n900\r\n9\r\n"));
}

void TestScoreFilePlace::writableFileInClosedFolderIsNotWrittenInPlace()
{
    // A kill or a full disk in the middle of a write in place cut the table.
    Folders folders;
    QVERIFY(folders.Make());
    const QString path = folders.exe + "/Scores.dat";
    QVERIFY(MakeFile(path, QByteArray(500, 'x'), kOpenFile));
    QVERIFY(SetMode(folders.exe, kClosedFolder));

    const auto report = RunUnprivileged([&] {
        return QByteArray(WriteHighScores(OneRecord(u"Mario"_s), path) ? "written" : "failed");
    });
    if (!report)
        QSKIP("running as root without a way to become an ordinary user");
    QCOMPARE(*report, QByteArray("failed"));
    QCOMPARE(FileBytes(path), QByteArray(500, 'x'));
}

void TestScoreFilePlace::thisProgramKeepsScoresBesideItWhenItCan()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    QVERIFY2(QFileInfo(exeDir).isWritable(), "the build folder is expected to be writable");
    const ScoreFilePaths paths = ScoreFileForThisProgram();
    QCOMPARE(paths.readPath, QDir(exeDir).filePath("Scores.dat"));
    QCOMPARE(paths.writePath, paths.readPath);
}

void TestScoreFilePlace::writeBelowRegularFileFails()
{
    QTemporaryDir dir;
    QVERIFY(MakeFile(dir.filePath("plain"), "x", kOpenFile));
    QVERIFY(!WriteHighScores(OneRecord(u"Mario"_s), dir.filePath("plain/Scores.dat")));
    QCOMPARE(FileBytes(dir.filePath("plain")), QByteArray("x"));
}

void TestScoreFilePlace::fullDiskKeepsOldFile()
{
    // A file size limit makes writes fail as a full disk does, for root too.
    // Pins a cut-short file replacing the old one when only commit() was checked.
    QTemporaryDir dir;
    const QString path = dir.filePath("Scores.dat");
    QVERIFY(WriteHighScores(OneRecord(u"Mario"_s), path));
    const QByteArray old = FileBytes(path);

    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    rlimit tight = saved;
    tight.rlim_cur = 40;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &tight) == 0);
    const bool written = WriteHighScores(OneRecord(QString(100, u'L')), path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QCOMPARE(FileBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Scores.dat"});
}

void TestScoreFilePlace::closedFolderAndFileKeepOldFile()
{
    Folders folders;
    QVERIFY(folders.Make());
    const QString path = folders.exe + "/Scores.dat";
    QVERIFY(MakeFile(path, "Anna\r\n900\r\n9\r\n", kClosedFile));
    QVERIFY(SetMode(folders.exe, kClosedFolder));

    const auto report = RunUnprivileged([&] {
        return QByteArray(WriteHighScores(OneRecord(u"Mario"_s), path) ? "written" : "failed");
    });
    if (!report)
        QSKIP("running as root without a way to become an ordinary user");
    QCOMPARE(*report, QByteArray("failed"));
    QCOMPARE(FileBytes(path), QByteArray("Anna\r\n900\r\n9\r\n"));
}

void TestScoreFilePlace::rootsSaveLeavesTableToItsOwner()
{
    // A game run with sudo (for a gamepad that only root may open, say).
    // Pins the player's table handed to root, after which the player's
    // records could only go to the user's data folder.
    if (geteuid() != 0)
        QSKIP("needs root to save as root");
    QTemporaryDir dir;
    const QString path = dir.filePath("Scores.dat");
    const QByteArray table = QFile::encodeName(path);
    QVERIFY(MakeFile(path, "Anna\r\n900\r\n9\r\n", QFile::Permissions(0x6644)));
    QVERIFY(chown(table, kNobody, kPlayersGroup) == 0);
    QCOMPARE(SaveRecord({path, path}, u"Mario"_s, 1250, 12).outcome, SaveOutcome::Saved);
    struct stat st {};
    QVERIFY(stat(table, &st) == 0);
    QCOMPARE(st.st_uid, kNobody);
    QCOMPARE(st.st_gid, kPlayersGroup);
    QCOMPARE(st.st_mode & 0777, 0644u);
    QCOMPARE(Names(ReadHighScores(path)), u"Mario,Anna"_s);
}

void TestScoreFilePlace::savingKeepsWhatCannotBeRead_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("report");  // start-up | saved: table | where the table went
    QTest::addColumn<bool>("untouched");  // what stood at exe/Scores.dat and at its link's end

    QTest::newRow("closed folder, writable file") << "closed" << "Anna | saved: Mario,Anna | data" << true;
    QTest::newRow("file that cannot be read") << "write-only" << " | aside: Mario | data" << true;
    QTest::newRow("8 GB on one line") << "8GB" << "Anna | aside: Mario,Anna | data" << true;
    QTest::newRow("pipe") << "pipe" << " | saved: Mario | data" << true;
    QTest::newRow("my link to /dev/zero") << "mine dev" << " | saved: Mario | data" << true;
    QTest::newRow("my dangling link") << "mine gone" << " | saved: Mario | data" << true;
    QTest::newRow("my link to a file") << "mine notes.txt" << "Anna | saved: Mario,Anna | link" << false;
    QTest::newRow("folder owner's link") << "folder notes.txt" << "Anna | saved: Mario,Anna | link" << false;
    QTest::newRow("stranger's link") << "stranger notes.txt" << " | saved: Mario | data" << true;
}

void TestScoreFilePlace::savingKeepsWhatCannotBeRead()
{
    QFETCH(QString, layout);
    QFETCH(QString, report);
    QFETCH(bool, untouched);
    if (geteuid() != 0)
        QSKIP("needs root to hand links to other users");
    Folders folders;
    QVERIFY(folders.Make() && Lay(folders, layout));
    const QString file = folders.exe + "/Scores.dat";
    const QByteArray before = Snapshot(file);
    const auto seen = RunUnprivileged([&] {
        const ScoreFilePaths paths = ChooseScoreFile(folders.exe, folders.data);
        const QString shown = Names(LoadHighScores(paths));
        const SavedTable saved = SaveRecord(paths, u"Mario"_s, 1250, 12);
        const char* where = QFile::exists(folders.data + "/Scores.dat") ? "data" : "link";
        return (shown + " | " + OutcomeName(saved.outcome) + ": " + Names(saved.table) + " | " + where).toUtf8();
    });
    QCOMPARE(QString::fromUtf8(seen.value()), report);
    QCOMPARE(Snapshot(file) == before, untouched);
    QVERIFY(QFileInfo(file).isSymLink() == layout.contains(u' '));
    QCOMPARE(Names(ReadHighScores(folders.data + "/notes.txt")), untouched ? u"Anna"_s : u"Mario,Anna"_s);
}

void TestScoreFilePlace::gamesSavingAtOnceKeepEveryRecord()
{
    // Three games save eight records each at once: the table ends as the ten
    // best, and each save returns a table holding its record, unless ten
    // better ones were saved before it.
    QTemporaryDir dir;
    const QString path = dir.filePath("Scores.dat");
    int start[2];
    QVERIFY(pipe(start) == 0);
    std::vector<pid_t> games;
    for (int game = 0; game < 3; ++game) {
        games.push_back(fork());
        if (games.back() != 0)
            continue;
        char go;
        close(start[1]);
        bool shown = read(start[0], &go, 1) == 0;
        for (int i = 0; i < 8; ++i) {
            const int32_t score = 2000 - 10 * (3 * i + game);
            const QString name = u"G%1.%2"_s.arg(game).arg(i);
            const SavedTable saved = SaveRecord({path, path}, name, score, 1);
            const bool tenBetter = ScoreValue(saved.table[kPlaces - 1][kScoreColumn]) >= score;
            shown = shown && saved.outcome == SaveOutcome::Saved
                && (tenBetter || Names(saved.table).split(u',').contains(name));
        }
        _exit(shown ? 0 : 1);
    }
    close(start[0]);
    close(start[1]);  // the end of the pipe starts all games at once
    for (pid_t pid : games) {
        int status = 1;
        waitpid(pid, &status, 0);
        QCOMPARE(status, 0);
    }
    QStringList best;
    for (int k = 0; k < kPlaces; ++k)
        best << u"G%1.%2"_s.arg(k % 3).arg(k / 3);
    QCOMPARE(Names(ReadHighScores(path)), best.join(u','));
}

void TestScoreFilePlace::killedSavesLeaveWholeTableAndNoLeftovers_data()
{
    QTest::addColumn<bool>("named");  // the file system has no unnamed files
    QTest::newRow("unnamed new tables") << false;
    QTest::newRow("named new tables") << true;
}

void TestScoreFilePlace::killedSavesLeaveWholeTableAndNoLeftovers()
{
    QFETCH(bool, named);
    QTemporaryDir dir;
    const QString path = dir.filePath("Scores.dat");
    QVERIFY(WriteHighScores(OneRecord(u"Anna"_s), path));
    QRandomGenerator random(1250);
    for (int round = 0; round < 30; ++round) {
        const pid_t pid = fork();
        if (pid == 0 && named)
            FailCall(FileCall::CreateUnnamed, EOPNOTSUPP, true);
        for (int i = 0; pid == 0; ++i)
            SaveRecord({path, path}, QString::number(i), 10 + i % 1000, 1);
        usleep(random.bounded(1000, 20000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        ReadOutcome outcome = ReadOutcome::Partial;
        ReadHighScores(path, &outcome);
        QVERIFY(outcome == ReadOutcome::Whole && FileBytes(path).count("\r\n") == 30);
    }
    // Once old enough that no save can still be writing them, what killed
    // saves left is removed by the next save; no lock is left to stop it.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        QVERIFY(Age(dir.filePath(name)));
    QCOMPARE(SaveRecord({path, path}, u"Mario"_s, 5000, 50).outcome, SaveOutcome::Saved);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"Scores.dat"});
}

void TestScoreFilePlace::cleanUpTakesOnlyGameLeftovers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("what");  // "file", "stranger's file", "folder" or "link"
    QTest::addColumn<bool>("old");      // last written an hour ago
    QTest::addColumn<bool>("removed");

    // Pins a save deleting the player's copies named Scores.dat. and six letters or digits.
    for (const char* copy : {"Scores.dat.backup", "Scores.dat.before", "Scores.dat.202401", "Scores.dat.ABCDEF"})
        QTest::newRow(copy) << copy << "file" << true << false;
    const QString leftover = u".Scores.dat.quadix-0123456789abcdef"_s;
    QTest::newRow("killed save's file") << leftover << "file" << true << true;
    QTest::newRow("file a save may be writing") << leftover << "file" << false << false;
    QTest::newRow("stranger's file") << leftover << "stranger's file" << true << false;
    QTest::newRow("folder") << leftover << "folder" << true << false;
    QTest::newRow("link") << leftover << "link" << true << false;
    QTest::newRow("15 digits") << leftover.chopped(1) << "file" << true << false;
    QTest::newRow("capital digits") << u".Scores.dat.quadix-0123456789ABCDEF"_s << "file" << true << false;
}

void TestScoreFilePlace::cleanUpTakesOnlyGameLeftovers()
{
    QFETCH(QString, name);
    QFETCH(QString, what);
    QFETCH(bool, old);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString path = dir.filePath("Scores.dat");
    const QString entry = dir.filePath(name);
    QVERIFY(WriteHighScores(OneRecord(u"Anna"_s), path));
    if (what == u"folder")
        QVERIFY(QDir().mkdir(entry));
    else if (what == u"link")
        QVERIFY(QFile::link(path, entry));
    else
        QVERIFY(MakeFile(entry, "x", kOpenFile));
    if (what == u"stranger's file" && chown(QFile::encodeName(entry).constData(), kNobody, kNobody) != 0)
        QSKIP("needs root to hand a file to another user");
    QVERIFY(!old || Age(entry));
    QCOMPARE(SaveRecord({path, path}, u"Mario"_s, 5000, 50).outcome, SaveOutcome::Saved);
    QStringList kept{"Scores.dat"};
    if (!removed)
        kept << name;
    QStringList seen = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    seen.sort();
    kept.sort();
    QCOMPARE(seen, kept);
}

void TestScoreFilePlace::sharedFolderKeepsRecordAndTable_data()
{
    QTest::addColumn<int>("folderOwner");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("tableOwner");
    QTest::addColumn<int>("tableMode");
    QTest::addColumn<QString>("lock");    // "left" by another user's game, "held" by another game's save
    QTest::addColumn<QString>("report");  // outcome | table holding the record | wait | mode and group of exe/Scores.dat

    // The player is kNobody, in kPlayersGroup; folder and table belong to that group.
    const int me = int(kNobody);
    // Pins every record lost to a rename that a sticky folder refuses.
    QTest::newRow("sticky folder, another user's table") << 0 << 01777 << 0 << 0666 << "" << "saved | data | - | 666 4242";
    QTest::newRow("sticky folder, player's table") << 0 << 01777 << me << 0644 << "" << "saved | exe | - | 644 4242";
    QTest::newRow("player's sticky folder") << me << 01777 << 0 << 0666 << "" << "saved | exe | - | 666 4242";
    // Pins each save handing the table to the saver's own group.
    QTest::newRow("group's folder without setgid") << 0 << 0775 << 0 << 0664 << "" << "saved | exe | - | 664 4242";
    // Pins a stranger's leftover lock file freezing the window for 6 s and losing the record.
    QTest::newRow("another user's leftover lock") << 0 << 0777 << 0 << 0666 << "left" << "saved | exe | - | 666 4242";
    QTest::newRow("save held by another game") << 0 << 0777 << 0 << 0666 << "held" << "busy | data | 1 s | 666 4242";
    // Pins every record sent aside from a folder the player may write but not list.
    QTest::newRow("folder that cannot be listed") << 0 << 0733 << 0 << 0666 << "" << "saved | exe | - | 666 4242";
}

void TestScoreFilePlace::sharedFolderKeepsRecordAndTable()
{
    QFETCH(int, folderOwner);
    QFETCH(int, folderMode);
    QFETCH(int, tableOwner);
    QFETCH(int, tableMode);
    QFETCH(QString, lock);
    QFETCH(QString, report);
    if (geteuid() != 0)
        QSKIP("needs root to share a folder with another user");
    Folders folders;
    QVERIFY(folders.Make());
    const QByteArray exe = QFile::encodeName(folders.exe);
    const QByteArray table = QFile::encodeName(folders.exe + "/Scores.dat");
    QVERIFY(MakeFile(table, "Anna\r\n900\r\n9\r\n", kOpenFile));
    QVERIFY(chown(exe, folderOwner, kPlayersGroup) == 0 && chmod(exe, folderMode) == 0);
    QVERIFY(chown(table, tableOwner, kPlayersGroup) == 0 && chmod(table, tableMode) == 0);
    QVERIFY(lock != u"left" || MakeFile(table + ".lock", "4194304\nquadix\n\n", QFile::Permissions(0x6444)));
    const int folder = open(exe.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QVERIFY(folder >= 0 && (lock != u"held" || flock(folder, LOCK_EX) == 0));
    const auto seen = RunUnprivileged(
        [&] {
            int waited = 0;
            const auto wait = [&](int ms) {
                waited += ms;
                usleep(useconds_t(ms) * 1000);
            };
            const SavedTable saved = SaveRecord(ChooseScoreFile(folders.exe, folders.data), u"Mario"_s, 1250, 12, wait);
            const QByteArray waits = waited == 0 ? "-" : waited <= 1000 ? "1 s" : QByteArray::number(waited) + " ms";
            return OutcomeName(saved.outcome) + QByteArray(" | ") + Holder(folders) + " | " + waits;
        },
        true);
    close(folder);
    struct stat st {};
    QVERIFY(seen && stat(table, &st) == 0);
    QCOMPARE(QString::fromUtf8(*seen + " | " + QByteArray::number(st.st_mode & 0777, 8) + ' '
                               + QByteArray::number(st.st_gid)),
             report);
    // Nothing is left beside the table.
    QCOMPARE(QDir(folders.exe).entryList(QDir::Files | QDir::Hidden).size(), lock == u"left" ? 2 : 1);
}

void TestScoreFilePlace::linkSwappedInAfterALookIsNotWrittenThrough()
{
    // Another user who can write the folder swaps Scores.dat for a link of
    // theirs to a file of the player's, right after one of the looks the save
    // takes at it: the first look in the first round, the second in the next...
    // Pins the table written through such a link, over the file it ends at.
    if (geteuid() != 0)
        QSKIP("needs root to hand a link to another user");
    int look = 1;
    for (;; ++look) {
        Folders folders;
        QVERIFY(folders.Make() && SetMode(folders.exe, kOpenFolder));
        const QByteArray path = QFile::encodeName(folders.exe + "/Scores.dat");
        const QByteArray notes = QFile::encodeName(folders.data + "/notes.txt");
        QVERIFY(MakeFile(path, "Anna\r\n900\r\n9\r\n", kOpenFile) && MakeFile(notes, "notes", kOpenFile));
        const ScoreFilePaths paths = ChooseScoreFile(folders.exe, folders.data);
        bool linked = false;
        AfterLook(path, look, [&] {
            linked = unlink(path) == 0 && symlink(notes, path) == 0 && lchown(path, kNobody, kNobody) == 0;
        });
        const SavedTable saved = SaveRecord(paths, u"Mario"_s, 1250, 12);
        const bool swapped = LookSwapped();
        ResetFileFaults();
        if (!swapped)
            break;
        QVERIFY(linked);
        QCOMPARE(FileBytes(notes), QByteArray("notes"));
        QVERIFY2(saved.outcome != SaveOutcome::Failed && Holder(folders) != "none",
                 qPrintable(u"record lost after look %1"_s.arg(look)));
    }
    QVERIFY2(look > 1, "the save never looked at Scores.dat");
}

void TestScoreFilePlace::playersLinkSwappedBeforeItIsReadIsNotFollowed()
{
    // Another user who can write the folder swaps the player's link for one of
    // theirs between the look at the link's owner and the read of where it
    // points. Pins the stranger's link followed at start-up, and every save
    // then written over the file it ends at.
    if (geteuid() != 0)
        QSKIP("needs root to hand a link to another user");
    Folders folders;
    QVERIFY(folders.Make() && SetMode(folders.exe, kOpenFolder));
    const QByteArray path = QFile::encodeName(folders.exe + "/Scores.dat");
    const QByteArray mine = QFile::encodeName(folders.data + "/mine.dat");
    const QByteArray notes = QFile::encodeName(folders.data + "/notes.txt");
    QVERIFY(MakeFile(mine, "Anna\r\n900\r\n9\r\n", kOpenFile) && MakeFile(notes, "notes", kOpenFile));
    QVERIFY(symlink(mine, path) == 0);
    bool swapped = false;
    BeforeReadLink([&] {
        swapped = unlink(path) == 0 && symlink(notes, path) == 0 && lchown(path, kNobody, kNobody) == 0;
    });
    const ScoreFilePaths paths = ChooseScoreFile(folders.exe, folders.data);
    ResetFileFaults();
    QVERIFY(swapped);
    QCOMPARE(SaveRecord(paths, u"Mario"_s, 1250, 12).outcome, SaveOutcome::Saved);
    QCOMPARE(FileBytes(notes), QByteArray("notes"));
    QCOMPARE(Names(ReadHighScores(mine)), u"Mario,Anna"_s);
}

void TestScoreFilePlace::failingStepSendsRecordToUserPlace_data()
{
    QTest::addColumn<int>("call");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("named");      // the file system has no unnamed files
    QTest::addColumn<QString>("report");  // outcome | table holding the record

    using C = FileCall;
    QTest::newRow("no unnamed files") << int(C::CreateUnnamed) << EOPNOTSUPP << false << "saved | exe";
    QTest::newRow("read-only file system") << int(C::CreateUnnamed) << EROFS << false << "refused | data";
    QTest::newRow("quota reached") << int(C::Write) << EDQUOT << false << "refused | data";
    QTest::newRow("rename refused") << int(C::Rename) << EPERM << false << "refused | data";
    QTest::newRow("named, rename across devices") << int(C::Rename) << EXDEV << true << "refused | data";
    // In a sandbox's user namespace a group the sandbox does not know cannot be
    // given (EINVAL), as one the player is not in cannot (EPERM) anywhere.
    // Pins every record sent aside from a table shared by such a group.
    QTest::newRow("table's group unknown here") << int(C::GiveGroup) << EINVAL << false << "saved | exe";
    QTest::newRow("group not the player's") << int(C::GiveGroup) << EPERM << true << "saved | exe";
}

void TestScoreFilePlace::failingStepSendsRecordToUserPlace()
{
    QFETCH(int, call);
    QFETCH(int, error);
    QFETCH(bool, named);
    QFETCH(QString, report);
    Folders folders;
    QVERIFY(folders.Make() && SetMode(folders.exe, kOpenFolder));
    const QString table = folders.exe + "/Scores.dat";
    QVERIFY(MakeFile(table, "Anna\r\n900\r\n9\r\n", kOpenFile));
    const ScoreFilePaths paths = ChooseScoreFile(folders.exe, folders.data);
    if (named)
        FailCall(FileCall::CreateUnnamed, EOPNOTSUPP, true);
    FailCall(FileCall(call), error);
    const SavedTable saved = SaveRecord(paths, u"Mario"_s, 1250, 12);
    ResetFileFaults();
    QCOMPARE(QString::fromUtf8(OutcomeName(saved.outcome) + QByteArray(" | ") + Holder(folders)), report);
    QCOMPARE(Names(saved.table), u"Mario,Anna"_s);
    QCOMPARE(QDir(folders.exe).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"Scores.dat"});
    QCOMPARE(FileBytes(table) == "Anna\r\n900\r\n9\r\n", report.endsWith(u"data"));
}

QTEST_GUILESS_MAIN(TestScoreFilePlace)
#include "tst_scorefileplace.moc"
