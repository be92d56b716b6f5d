#pragma once
// The table of records: ten places of name, score and lines, the file
// Scores.dat that keeps them between runs, and the rule that ranks a new score.
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <functional>

class QIODevice;

namespace quadix {

constexpr int kPlaces = 10;       // rows 0..9 are shown and stored
constexpr int kTableRows = 11;    // row 10 only catches an eleventh row of the file
constexpr int kNameColumn = 0;
constexpr int kScoreColumn = 1;
constexpr int kLinesColumn = 2;

// Rows of (name, score, lines), kept as text exactly as read or entered.
using HighScoreTable = std::array<std::array<QString, 3>, kTableRows>;

// The table of the running program; every cell starts empty.
extern HighScoreTable highScores;

inline constexpr QStringView kScoreFileName = u"Scores.dat";
inline constexpr QStringView kAnonymousName = u"Anonimo";

// Shown when the table could not be saved; the record stays in memory.
// Short enough for three lines of the message column.
inline constexpr QStringView kSaveFailedMessage = u"ATTENZIONE: impossibile salvare i record";
// Shown in the same place when Scores.dat beside the program could not be
// read and the record went to the user's data folder instead.
inline constexpr QStringView kSavedAsideMessage = u"Scores.dat illeggibile: record salvato a parte";
// ... when another game's save held Scores.dat for longer than a game waits.
inline constexpr QStringView kBusyAsideMessage = u"Scores.dat occupato: record salvato a parte";
// ... when Scores.dat could not be replaced (a folder or a file system that
// refuses it, a full disk).
inline constexpr QStringView kRefusedAsideMessage = u"Scores.dat non scrivibile: record salvato a parte";

// A line of the file is cut after this many bytes and the rest of it skipped,
// so that no file, however large or strange, can exhaust memory.
constexpr qsizetype kMaxLineBytes = 64 * 1024;
// Reading a file stops after this many bytes, so that a file with no end in
// sight (a link to an endless device, gigabytes on one line) costs no more
// time at start-up than a table does. 33 lines of kMaxLineBytes fit in it.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

// How much of a table a reading took in.
enum class ReadOutcome {
    Missing,  // nothing there: the state before the first record
    Whole,    // read to its end or to its 33rd line
    Partial,  // there, but not read whole: never to be written over
};

// Reads up to 33 lines (11 rows) from the device. Leading blanks of a line are
// dropped; the file ending inside a row leaves its other cells empty. A read
// error ends the table with the rows read so far and makes it Partial.
HighScoreTable ReadHighScores(QIODevice& in, ReadOutcome* outcome = nullptr);
// Reads the file when it is a regular file (never through a link, never
// waiting on a pipe or device) and at most kMaxFileBytes of it. A missing or
// unreadable file gives the rows read so far, none at all when it was not opened.
HighScoreTable ReadHighScores(const QString& path, ReadOutcome* outcome = nullptr);

// The 30 lines of rows 0..9, each ending in CR LF, in Windows-1252.
QByteArray EncodeHighScores(const HighScoreTable& table);
// Replaces the regular file whole, or creates it: written aside, renamed over
// the old one, and the folder synced. Never writes in place or through a link.
// The new file keeps the old one's group and permissions, and its owner when
// the game runs as root. False when it could not be written; the old file is
// then left as it was.
bool WriteHighScores(const HighScoreTable& table, const QString& path);

// The number a score text starts with, after leading blanks; 0 if none.
int64_t ScoreValue(QStringView text);
// Opens the place that a new score earns: the first of the ten whose score is
// lower, rows below it moving down one. Returns the place, or -1 if none.
int OpenPlaceFor(HighScoreTable& table, int32_t score);
// The name as it is stored: one line, "Anonimo" when nothing but blanks is left.
QString RecordName(const QString& typed);
// Fills a place opened by OpenPlaceFor with the finished game.
void StoreRecord(HighScoreTable& table, int place, const QString& typedName,
                 int32_t score, int32_t lines);

// Where the table is read from at start-up and written to after a record.
struct ScoreFilePaths {
    QString readPath;
    QString writePath;
    // Where a record goes when the file at writePath is there but cannot be
    // read whole; none when writePath is already the user's own place.
    QString sparePath = {};
};
// Beside the executable when that folder can take a new file and the file in
// it, if any, is a regular file that can be read and written. A link there is
// followed only when it belongs to the player or to the owner of its folder
// and ends at a regular file. Otherwise the table lives in the user's data
// folder, starting from the executable's copy until the data folder has its own.
ScoreFilePaths ChooseScoreFile(const QString& exeDir, const QString& dataDir);
// The same for the running program and the current user.
ScoreFilePaths ScoreFileForThisProgram();
// The table shown at start-up: readPath's, or the spare one when the file at
// readPath could not be read whole and a record was saved aside.
HighScoreTable LoadHighScores(const ScoreFilePaths& paths);

// Each way of saving aside leaves the table beside the program as it was.
enum class SaveOutcome {
    Saved,                // the table on disk is the one returned
    SavedAside,           // in the user's place: the table beside the program could not be read
    SavedAsideBusy,       // in the user's place: another game's save held the table too long
    SavedAsideRefused,    // in the user's place: the table's place refused the new table
    Failed,               // nothing written; the old files are as they were
};
// What the window says after a save; nothing when it was Saved.
QStringView SaveMessage(SaveOutcome outcome);
struct SavedTable {
    HighScoreTable table;  // as now saved; empty when the save failed
    SaveOutcome outcome = SaveOutcome::Failed;
};
// Saves a finished game: locks the table's folder, so that two games saving
// at once both keep their record, reads the table afresh, places the game in
// it by the ranking rule and writes it whole. The game is left out when the
// fresh table holds ten better scores. Another game's save is waited for
// about a second, in steps handed to `wait` (a sleep when there is none);
// after that, or when the table's place cannot take the new table, the
// record goes to the user's place (sparePath).
SavedTable SaveRecord(const ScoreFilePaths& paths, const QString& typedName, int32_t score,
                      int32_t lines, const std::function<void(int ms)>& wait = {});

} // namespace quadix
