// Where Scores.dat is kept, and what a write that fails leaves behind.
//
// Folder and file modes decide the place, but they do not stop root. When the
// tests run as root, the checks that depend on modes run in a child process
// that has given up root for the "nobody" user.
#include "scores/HighScores.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <grp.h>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quadix;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr uid_t kNobody = 65534;

// Runs the check as an ordinary user and returns what it reports; nothing
// when the test runs as root and cannot switch user.
std::optional<QByteArray> RunUnprivileged(const std::function<QByteArray()>& check)
{
    if (geteuid() != 0)
        return check();
    int fds[2];
    if (pipe(fds) != 0)
        return std::nullopt;
    const pid_t pid = fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        close(fds[0]);
        QByteArray report = "\x01";
        if (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0)
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
    void firstRecordMovesReadingToDataFolder();
    void writableFileInClosedFolderIsNotWrittenInPlace();
    void thisProgramKeepsScoresBesideItWhenItCan();

    void writeBelowRegularFileFails();
    void fullDiskKeepsOldFile();
    void closedFolderAndFileKeepOldFile();
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

QTEST_GUILESS_MAIN(TestScoreFilePlace)
#include "tst_scorefileplace.moc"
