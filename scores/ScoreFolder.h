#pragma once
// The folder that holds a table of records, kept open, and the table's name in
// it. Every step of a save (reading the table afresh, locking, writing the new
// one, renaming it into place, syncing) goes through the folder's descriptor,
// so a folder or a name swapped for a link after it was looked at can never
// send the table somewhere else.
#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/stat.h>

namespace quadix {

class ScoreFolder {
public:
    enum Kind { Missing, Regular, Unusable };
    enum class Links { Followed, NotFollowed };

    // Looks up the table at `path`. With Links::Followed a link there is
    // followed hop by hop, each hop relative to the folder it stands in, and
    // only when it belongs to the player or to the owner of that folder, as
    // the kernel follows links in folders shared with others; whatever it ends
    // at must be a regular file. Anything else there is Unusable.
    static ScoreFolder Open(const QString& path, Links links);

    ScoreFolder(ScoreFolder&& other) noexcept;
    ScoreFolder& operator=(ScoreFolder&& other) noexcept;
    ScoreFolder(const ScoreFolder&) = delete;
    ScoreFolder& operator=(const ScoreFolder&) = delete;
    ~ScoreFolder();

    Kind kind() const { return kind_; }
    // The file at the end of the links; the name itself when there is none.
    const QString& path() const { return path_; }

    // Whether the kernel will let the player put a new table in the table's
    // place: new files in the folder, read and write on the table, and in a
    // sticky folder a table or a folder of the player's own.
    bool CanReplace() const;
    // Takes the folder's lock, trying again after `wait` (which is handed the
    // milliseconds to pass) until `waitMs` have gone by. The kernel lets go
    // of the lock when the descriptor is closed or the process dies, so a
    // game killed in the middle of a save leaves nothing that stops the next.
    bool Lock(int waitMs, const std::function<void(int ms)>& wait);
    // The table as it is now, opened for reading: never anything but a regular
    // file. -1 when there is none, `missing` saying whether nothing is there.
    int OpenTable(bool& missing);
    // Puts a new table whole in place of the old one, with the old one's group
    // and permissions. False, the old table left as it was, when any step fails.
    bool Replace(const QByteArray& bytes);
    // Removes what killed saves left behind: only names of the game's own
    // pattern, only regular files of the player's, only old enough that no
    // save can still be writing them.
    void RemoveLeftovers() const;

private:
    ScoreFolder() = default;
    bool Readable();
    int Create(const QByteArray& tempName, bool& unnamed) const;
    void Close();

    int folder_ = -1;
    QByteArray name_;
    QString path_;
    Kind kind_ = Unusable;
    bool haveTable_ = false;
    struct stat table_ {};  // of the table last looked at: its group and mode are kept
};

} // namespace quadix
