#include "scores/HighScores.h"

#include "scores/ScoreFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <limits>
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

QString FolderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
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

HighScoreTable ReadFrom(ScoreFolder& place, ReadOutcome* outcome)
{
    bool missing = false;
    const int fd = place.OpenTable(missing);
    SetOutcome(outcome, missing ? ReadOutcome::Missing : ReadOutcome::Partial);
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        close(fd);
        return {};
    }
    return ReadTable(file, kMaxFileBytes, outcome);
}

// A game waits this long for another game's save before it saves in the
// user's place: long enough for any save, short enough not to be noticed.
constexpr int kLockWaitMs = 1000;

struct Record {
    const QString& typedName;
    int32_t score;
    int32_t lines;
};

// One try at saving the game in the table at `target`. True when it is done,
// `table` as saved and `outcome` Saved (or SavedAside when the table to start
// from could not be read); false with the reason to try the user's place.
bool SaveIn(const QString& target, const ScoreFilePaths& paths, const Record& record,
            const std::function<void(int)>& wait, HighScoreTable& table, SaveOutcome& outcome)
{
    ScoreFolder place = ScoreFolder::Open(target, ScoreFolder::Links::Followed);
    outcome = SaveOutcome::SavedAsideRefused;
    if (!place.CanReplace())
        return false;
    outcome = SaveOutcome::SavedAsideBusy;
    if (!place.Lock(kLockWaitMs, wait))
        return false;
    // Another game may have saved since this one started: its table is the
    // one to add to.
    ReadOutcome read;
    table = ReadFrom(place, &read);
    outcome = SaveOutcome::SavedAside;
    // What could not be read is not written over: it may hold records.
    if (read == ReadOutcome::Partial)
        return false;
    outcome = SaveOutcome::Saved;
    if (read == ReadOutcome::Missing && paths.readPath != target) {
        ReadOutcome copy;
        table = ReadHighScores(paths.readPath, &copy);
        if (copy == ReadOutcome::Partial)
            outcome = SaveOutcome::SavedAside;
    }
    place.RemoveLeftovers();
    const int row = OpenPlaceFor(table, record.score);
    if (row < 0)
        return true;
    StoreRecord(table, row, record.typedName, record.score, record.lines);
    if (place.Replace(EncodeHighScores(table)))
        return true;
    outcome = SaveOutcome::SavedAsideRefused;
    return false;
}

} // namespace

HighScoreTable ReadHighScores(QIODevice& in, ReadOutcome* outcome)
{
    return ReadTable(in, std::numeric_limits<qint64>::max(), outcome);
}

HighScoreTable ReadHighScores(const QString& path, ReadOutcome* outcome)
{
    ScoreFolder place = ScoreFolder::Open(path, ScoreFolder::Links::NotFollowed);
    return ReadFrom(place, outcome);
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
    if (!QDir().mkpath(FolderOf(path)))
        return false;
    // A link, a pipe or a device node at the name is not the table: the table
    // is not written through it, nor put in its place.
    ScoreFolder place = ScoreFolder::Open(path, ScoreFolder::Links::NotFollowed);
    return place.kind() != ScoreFolder::Unusable && place.Replace(EncodeHighScores(table));
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
    using Links = ScoreFolder::Links;
    const ScoreFolder exe = ScoreFolder::Open(QDir(exeDir).filePath(kScoreFileName.toString()), Links::Followed);
    const ScoreFolder data = ScoreFolder::Open(QDir(dataDir).filePath(kScoreFileName.toString()), Links::Followed);
    if (exe.CanReplace())
        return {exe.path(), exe.path(), data.path()};
    // Until the first record is saved in the data folder, the table that came
    // with the program is the one to show and to start from.
    if (data.kind() == ScoreFolder::Missing && exe.kind() == ScoreFolder::Regular)
        return {exe.path(), data.path()};
    return {data.path(), data.path()};
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
                      int32_t lines, const std::function<void(int ms)>& wait)
{
    QStringList targets{paths.writePath};
    if (!paths.sparePath.isEmpty() && paths.sparePath != paths.writePath)
        targets << paths.sparePath;
    // The first reason to leave the table's own place is the one to tell.
    SaveOutcome aside = SaveOutcome::Saved;
    for (const QString& target : targets) {
        // Only the user's own place is made when missing: the folder beside
        // the program was there at start-up, and one the player moved or
        // removed since is not brought back.
        if (target == targets.last())
            QDir().mkpath(FolderOf(target));
        HighScoreTable table;
        SaveOutcome outcome;
        if (SaveIn(target, paths, {typedName, score, lines}, wait, table, outcome))
            return {table, aside == SaveOutcome::Saved ? outcome : aside};
        if (aside == SaveOutcome::Saved)
            aside = outcome;
    }
    return {};
}

QStringView SaveMessage(SaveOutcome outcome)
{
    switch (outcome) {
    case SaveOutcome::Saved: return {};
    case SaveOutcome::SavedAside: return kSavedAsideMessage;
    case SaveOutcome::SavedAsideBusy: return kBusyAsideMessage;
    case SaveOutcome::SavedAsideRefused: return kRefusedAsideMessage;
    case SaveOutcome::Failed: break;
    }
    return kSaveFailedMessage;
}

} // namespace quadix
