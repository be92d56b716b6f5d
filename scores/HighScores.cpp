#include "scores/HighScores.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace quadix {

HighScoreTable highScores;

namespace {

constexpr const char* kCodePage = "windows-1252";
constexpr qsizetype kChunkBytes = 64 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits a device into lines. A line ends at CR LF, or at a lone CR or LF, so
// files edited on any system read alike. It holds one chunk of input and at
// most kMaxLineBytes of the current line, whatever the size of the file, and
// takes no more than `budget` bytes from the device.
class LineReader {
public:
    LineReader(QIODevice& in, qint64 budget) : in_(in), budget_(budget) {}

    // Whether the input ended early, on a read error or the budget.
    bool Cut() const { return cut_; }

    // The next line without its end and its leading blanks; false when the
    // input has no line left.
    bool ReadLine(QByteArray& line)
    {
        line.clear();
        if (pendingLF_) {
            if (!Available())
                return false;
            if (chunk_[pos_] == '\n')
                ++pos_;
            pendingLF_ = false;
        }
        if (!Available())
            return false;
        bool leading = true;
        while (Available()) {
            const char* start = chunk_.constData() + pos_;
            const qsizetype left = len_ - pos_;
            const char* end = FindLineEnd(start, left);
            const char* take = start;
            if (leading) {
                while (take < end && IsBlank(*take))
                    ++take;
                leading = take == end;
            }
            const qsizetype room = kMaxLineBytes - line.size();
            line.append(take, std::min<qsizetype>(end - take, room));
            pos_ += end - start;
            if (pos_ < len_) {
                pendingLF_ = chunk_[pos_] == '\r';
                ++pos_;
                return true;
            }
        }
        return true;  // the last line has no line end
    }

private:
    static const char* FindLineEnd(const char* p, qsizetype n)
    {
        auto cr = static_cast<const char*>(std::memchr(p, '\r', size_t(n)));
        auto lf = static_cast<const char*>(std::memchr(p, '\n', size_t(n)));
        if (!cr)
            return lf ? lf : p + n;
        return lf && lf < cr ? lf : cr;
    }

    // Whether unread input is in the chunk, reading the next chunk if needed.
    // A read error or a spent budget ends the input like the end of the file
    // does, but marks it cut.
    bool Available()
    {
        if (pos_ < len_)
            return true;
        if (ended_)
            return false;
        if (budget_ == 0) {
            // The input is cut only if something lies beyond the budget.
            char probe;
            cut_ = in_.read(&probe, 1) != 0;
            ended_ = true;
            return false;
        }
        const qint64 got = in_.read(chunk_.data(), std::min(kChunkBytes, budget_));
        if (got <= 0) {
            ended_ = true;
            cut_ = got < 0;
            return false;
        }
        budget_ -= got;
        pos_ = 0;
        len_ = qsizetype(got);
        return true;
    }

    QIODevice& in_;
    qint64 budget_;
    QByteArray chunk_{kChunkBytes, Qt::Uninitialized};
    qsizetype pos_ = 0;
    qsizetype len_ = 0;
    bool ended_ = false;
    bool cut_ = false;
    bool pendingLF_ = false;  // the last line ended in CR; a LF may complete it
};

// Characters that would start a new line in the file or in a label.
bool IsLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x000A: case 0x000B: case 0x000C: case 0x000D:
    case 0x0085: case 0x2028: case 0x2029:
        return true;
    default:
        return false;
    }
}

QString WithoutLineBreaks(const QString& text)
{
    QString out = text;
    out.removeIf(IsLineBreak);
    return out;
}

// The code page as a map from character to byte, taken from the decoder so
// that writing and reading agree byte for byte. The encoder is no help here:
// it silently drops some characters (invisible format characters, a lone
// surrogate at the end) and its error flag cannot tell which one failed.
const QHash<char16_t, char>& CodePageBytes()
{
    static const QHash<char16_t, char> bytes = [] {
        QByteArray all(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        QStringDecoder decoder(kCodePage);
        QString chars = decoder.isValid() ? QString(decoder.decode(all)) : QString();
        if (chars.size() != 256)
            chars = QString::fromLatin1(all);
        QHash<char16_t, char> map;
        for (int i = 0; i < 256; ++i) {
            if (chars[i] != QChar::ReplacementCharacter)
                map.insert(chars[i].unicode(), char(i));
        }
        return map;
    }();
    return bytes;
}

// A character the code page lacks is written as "?", as the user would
// expect from a plain text file.
QByteArray EncodeLine(const QString& text)
{
    const QHash<char16_t, char>& bytes = CodePageBytes();
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += '?';  // beyond the 16-bit range: never in the code page
            ++i;
            continue;
        }
        const auto found = bytes.constFind(text[i].unicode());
        out += found == bytes.cend() ? '?' : *found;
    }
    return out;
}

QString NumberText(int32_t value)
{
    // The blank stands where a minus sign would be.
    return value < 0 ? QString::number(value) : u' ' + QString::number(value);
}

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

QString FolderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

// Checked for the player's own user, as the kernel will check the writes.
bool CanAccess(const QString& path, int mode)
{
    return faccessat(AT_FDCWD, Native(path).constData(), mode, AT_EACCESS) == 0;
}

void SetOutcome(ReadOutcome* outcome, ReadOutcome value)
{
    if (outcome)
        *outcome = value;
}

HighScoreTable ReadTable(QIODevice& in, qint64 budget, ReadOutcome* outcome)
{
    HighScoreTable table;
    LineReader reader(in, budget);
    // Converters stay where they are built: moving one loses its error state.
    QStringDecoder codePage(kCodePage);
    QStringDecoder latin1(QStringConverter::Latin1);
    QStringDecoder& decoder = codePage.isValid() ? codePage : latin1;
    QByteArray line;
    // A row cut short ends the table.
    bool more = true;
    for (int row = 0; more && row < kTableRows; ++row) {
        for (int column = 0; more && column < 3; ++column) {
            more = reader.ReadLine(line);
            if (more)
                table[row][column] = decoder.decode(line);
        }
    }
    SetOutcome(outcome, reader.Cut() ? ReadOutcome::Partial : ReadOutcome::Whole);
    return table;
}

// What stands at a name once links are followed as the kernel follows them in
// a folder shared with others (protected_symlinks): only a link owned by the
// player or by the owner of its folder. Whatever a link ends at must be a
// regular file; a link to a device, a pipe, a folder or nothing is not used.
struct Place {
    enum Kind { Missing, Regular, Unusable } kind;
    QString path;  // the file at the end of the links; the name itself otherwise
};

Place Resolve(const QString& name)
{
    QString path = name;
    for (int hop = 0; hop < 8; ++hop) {
        struct stat link {};
        if (lstat(Native(path).constData(), &link) != 0) {
            const bool nothing = hop == 0 && (errno == ENOENT || errno == ENOTDIR);
            return {nothing ? Place::Missing : Place::Unusable, name};
        }
        if (S_ISREG(link.st_mode))
            return {Place::Regular, path};
        struct stat folder {};
        if (!S_ISLNK(link.st_mode) || stat(Native(FolderOf(path)).constData(), &folder) != 0
            || (link.st_uid != geteuid() && link.st_uid != folder.st_uid))
            break;
        char target[PATH_MAX];
        const ssize_t size = readlink(Native(path).constData(), target, sizeof target);
        if (size <= 0 || size == ssize_t(sizeof target))
            break;
        path = QDir(FolderOf(path)).absoluteFilePath(QFile::decodeName(QByteArray(target, size)));
    }
    return {Place::Unusable, name};
}

// Replacing a file takes its folder as well as the file: the new table is
// written aside and renamed over it.
bool CanReplace(const Place& place)
{
    if (place.kind == Place::Unusable)
        return false;
    return CanAccess(FolderOf(place.path), W_OK | X_OK)
        && (place.kind == Place::Missing || CanAccess(place.path, R_OK | W_OK));
}

// A save that is killed between writing the new table aside and renaming it
// leaves "Scores.dat.XXXXXX" behind (six letters or digits, QSaveFile's
// pattern). Called with the lock held, when no other save is under way; only
// the player's own regular files of that name are removed.
void RemoveLeftovers(const QString& path)
{
    const QFileInfo table(path);
    const QRegularExpression pattern(u'^' + QRegularExpression::escape(table.fileName())
                                     + u"\\.[A-Za-z0-9]{6}$"_s);
    const QDir folder = table.absoluteDir();
    const QStringList names = folder.entryList({table.fileName() + u".??????"_s},
                                               QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QByteArray leftover = Native(folder.filePath(name));
        struct stat st {};
        if (pattern.match(name).hasMatch() && lstat(leftover.constData(), &st) == 0
            && S_ISREG(st.st_mode) && st.st_uid == geteuid())
            unlink(leftover.constData());
    }
}

// A rename is kept on disk only once its folder is; without this a power cut
// soon after a save could bring back the old table, or none.
void SyncFolder(const QString& folder)
{
    const int fd = open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// A save that holds the lock for longer than this is taken to be stuck; the
// wait for the lock is a little longer, so a stuck game never blocks another.
constexpr int kStaleLockMs = 5000;
constexpr int kLockWaitMs = 6000;

} // namespace

HighScoreTable ReadHighScores(QIODevice& in, ReadOutcome* outcome)
{
    return ReadTable(in, std::numeric_limits<qint64>::max(), outcome);
}

HighScoreTable ReadHighScores(const QString& path, ReadOutcome* outcome)
{
    // Checked before opening, so that a pipe or a device is never opened at
    // all, and again on the open file in case the name changed in between.
    const QByteArray name = Native(path);
    struct stat st {};
    if (lstat(name.constData(), &st) != 0) {
        SetOutcome(outcome, errno == ENOENT || errno == ENOTDIR ? ReadOutcome::Missing
                                                                : ReadOutcome::Partial);
        return {};
    }
    SetOutcome(outcome, ReadOutcome::Partial);
    if (!S_ISREG(st.st_mode))
        return {};
    const int fd = open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    QFile file;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        close(fd);
        return {};
    }
    return ReadTable(file, kMaxFileBytes, outcome);
}

QByteArray EncodeHighScores(const HighScoreTable& table)
{
    QByteArray out;
    for (int i = 0; i < kPlaces; ++i) {
        for (const QString& cell : table[i]) {
            // A stray line break would shift every later cell by a line.
            out += EncodeLine(WithoutLineBreaks(cell));
            out += "\r\n";
        }
    }
    return out;
}

bool WriteHighScores(const HighScoreTable& table, const QString& path)
{
    const QByteArray bytes = EncodeHighScores(table);
    const QString folder = FolderOf(path);
    if (!QDir().mkpath(folder))
        return false;
    // QSaveFile would write through a link, and replace a pipe or a device
    // node with the table.
    struct stat st {};
    if (lstat(Native(path).constData(), &st) == 0 ? !S_ISREG(st.st_mode) : errno != ENOENT)
        return false;
    // No direct-write fallback: a folder that refuses new files is a place
    // where the table cannot be saved, not one to write over it in place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The flush is checked here because commit() passes over a failure to
    // write the buffered bytes (a full disk) and would put a cut-short file
    // in place of the old one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    SyncFolder(folder);
    return true;
}

int64_t ScoreValue(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Clamped well inside 64 bits; any stored score fits in 32.
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10 - 10;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min(kLimit, value * 10 + (text[i].unicode() - u'0'));
    return negative ? -value : value;
}

int OpenPlaceFor(HighScoreTable& table, int32_t score)
{
    for (int i = 0; i < kPlaces; ++i) {
        if (ScoreValue(table[i][kScoreColumn]) < score) {
            for (int j = kPlaces - 2; j >= i; --j)
                table[j + 1] = table[j];
            return i;
        }
    }
    return -1;
}

QString RecordName(const QString& typed)
{
    const QString name = WithoutLineBreaks(typed);
    // The reader drops the blanks a line starts with, so a name of blanks
    // would come back as no name at all after a restart.
    const bool none = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return IsBlank(c.toLatin1()); });
    return none ? kAnonymousName.toString() : name;
}

void StoreRecord(HighScoreTable& table, int place, const QString& typedName,
                 int32_t score, int32_t lines)
{
    if (place < 0 || place >= kPlaces)
        return;
    table[place] = {RecordName(typedName), NumberText(score), NumberText(lines)};
}

ScoreFilePaths ChooseScoreFile(const QString& exeDir, const QString& dataDir)
{
    const Place exe = Resolve(QDir(exeDir).filePath(kScoreFileName.toString()));
    const Place data = Resolve(QDir(dataDir).filePath(kScoreFileName.toString()));
    if (CanReplace(exe))
        return {exe.path, exe.path, data.path};
    // Until the first record is saved in the data folder, the table that came
    // with the program is the one to show and to start from.
    if (data.kind == Place::Missing && exe.kind == Place::Regular)
        return {exe.path, data.path};
    return {data.path, data.path};
}

ScoreFilePaths ScoreFileForThisProgram()
{
    return ChooseScoreFile(QCoreApplication::applicationDirPath(),
                           QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

HighScoreTable LoadHighScores(const ScoreFilePaths& paths)
{
    ReadOutcome outcome;
    HighScoreTable table = ReadHighScores(paths.readPath, &outcome);
    if (outcome == ReadOutcome::Partial && !paths.sparePath.isEmpty()) {
        ReadOutcome spare;
        HighScoreTable aside = ReadHighScores(paths.sparePath, &spare);
        if (spare == ReadOutcome::Whole)
            table = aside;
    }
    return table;
}

SavedTable SaveRecord(const ScoreFilePaths& paths, const QString& typedName, int32_t score,
                      int32_t lines)
{
    QString target = paths.writePath;
    bool aside = false;
    for (;;) {
        if (!QDir().mkpath(FolderOf(target)))
            return {};
        QLockFile lock(target + u".lock"_s);
        lock.setStaleLockTime(kStaleLockMs);
        if (!lock.tryLock(kLockWaitMs))
            return {};
        // Another game may have saved since this one started: its table is
        // the one to add to.
        ReadOutcome outcome;
        HighScoreTable table = ReadHighScores(target, &outcome);
        if (outcome == ReadOutcome::Missing && paths.readPath != target) {
            ReadOutcome copy;
            table = ReadHighScores(paths.readPath, &copy);
            aside = aside || copy == ReadOutcome::Partial;
        }
        if (outcome == ReadOutcome::Partial) {
            // What could not be read is not written over: it may hold records.
            if (paths.sparePath.isEmpty() || target == paths.sparePath)
                return {};
            target = paths.sparePath;
            aside = true;
            continue;
        }
        RemoveLeftovers(target);
        const SaveOutcome saved = aside ? SaveOutcome::SavedAside : SaveOutcome::Saved;
        const int place = OpenPlaceFor(table, score);
        if (place < 0)
            return {table, SaveOutcome::Saved};
        StoreRecord(table, place, typedName, score, lines);
        if (!WriteHighScores(table, target))
            return {};
        return {table, saved};
    }
}

} // namespace quadix
