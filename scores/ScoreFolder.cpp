#include "scores/ScoreFolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace quadix {

namespace {

// Links followed at most from the table's name to the file, as the kernel
// gives up on a long chain.
constexpr int kMaxLinks = 8;
constexpr int kLockRetryMs = 10;
// A save lasts milliseconds; a file of the game's pattern that has not been
// written to for this long belongs to a save that was killed.
constexpr time_t kLeftoverAgeSeconds = 10 * 60;
// A new table is written under ".Scores.dat.quadix-" and 16 hexadecimal
// digits: a name the player would not choose, so clean-up never takes a
// player's own copy (Scores.dat.bak, Scores.dat.old, ...).
constexpr char kTempInfix[] = ".quadix-";
constexpr int kTempDigits = 16;

QByteArray TempPrefix(const QByteArray& table)
{
    return '.' + table + kTempInfix;
}

QByteArray TempName(const QByteArray& table)
{
    const quint64 random = QRandomGenerator::system()->generate64();
    return TempPrefix(table) + QByteArray::number(random, 16).rightJustified(kTempDigits, '0');
}

bool IsTempName(const QByteArray& table, const QByteArray& name)
{
    const QByteArray prefix = TempPrefix(table);
    if (!name.startsWith(prefix) || name.size() != prefix.size() + kTempDigits)
        return false;
    return std::all_of(name.cbegin() + prefix.size(), name.cend(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// An unnamed file gets its name through /proc; a system without /proc has
// the named kind only.
bool CanNameUnnamedFiles()
{
    static const bool proc = access("/proc/self/fd", X_OK) == 0;
    return proc;
}

// Where the link at `name` points, when it belongs to the player or to the
// owner of its folder; -1 otherwise. The link is held open from the look at
// its owner to the read of its target, so that one swapped in between by
// someone else who can write the folder is never the one followed.
ssize_t ReadTrustedLink(int folder, const QByteArray& name, char (&target)[PATH_MAX])
{
    const int link = openat(folder, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    struct stat owner {};
    const bool trusted = link >= 0 && fstat(link, &st) == 0 && S_ISLNK(st.st_mode) && fstat(folder, &owner) == 0
        && (st.st_uid == geteuid() || st.st_uid == owner.st_uid);
    const ssize_t size = trusted ? readlinkat(link, "", target, sizeof target) : -1;
    if (link >= 0)
        close(link);
    return size;
}

} // namespace

ScoreFolder ScoreFolder::Open(const QString& path, Links links)
{
    ScoreFolder place;
    place.path_ = path;
    QString at = path;
    place.name_ = QFile::encodeName(QFileInfo(at).fileName());
    // O_PATH: looking up a name needs no read permission on its folder.
    place.folder_ = open(QFile::encodeName(QFileInfo(at).absolutePath()).constData(),
                         O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (place.folder_ < 0) {
        place.kind_ = errno == ENOENT || errno == ENOTDIR ? Missing : Unusable;
        return place;
    }
    const int hops = links == Links::Followed ? kMaxLinks : 0;
    for (int hop = 0;; ++hop) {
        struct stat st {};
        if (fstatat(place.folder_, place.name_.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            place.kind_ = hop == 0 && (errno == ENOENT || errno == ENOTDIR) ? Missing : Unusable;
            return place;
        }
        if (S_ISREG(st.st_mode)) {
            place.kind_ = Regular;
            place.path_ = at;
            place.table_ = st;
            place.haveTable_ = true;
            return place;
        }
        if (!S_ISLNK(st.st_mode) || hop == hops)
            return place;
        char target[PATH_MAX];
        const ssize_t size = ReadTrustedLink(place.folder_, place.name_, target);
        if (size <= 0 || size == ssize_t(sizeof target))
            return place;
        const QByteArray link(target, size);
        const qsizetype slash = link.lastIndexOf('/');
        if (slash >= 0) {
            const QByteArray folderPart = slash == 0 ? QByteArray("/") : link.left(slash);
            const int next = openat(place.folder_, folderPart.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (next < 0)
                return place;
            close(place.folder_);
            place.folder_ = next;
        }
        place.name_ = link.mid(slash + 1);
        at = QDir(QFileInfo(at).absolutePath()).absoluteFilePath(QFile::decodeName(link));
        if (place.name_.isEmpty())
            return place;
    }
}

ScoreFolder::ScoreFolder(ScoreFolder&& other) noexcept
{
    *this = std::move(other);
}

ScoreFolder& ScoreFolder::operator=(ScoreFolder&& other) noexcept
{
    if (this != &other) {
        Close();
        folder_ = std::exchange(other.folder_, -1);
        name_ = std::move(other.name_);
        path_ = std::move(other.path_);
        kind_ = other.kind_;
        haveTable_ = other.haveTable_;
        table_ = other.table_;
    }
    return *this;
}

ScoreFolder::~ScoreFolder()
{
    Close();
}

void ScoreFolder::Close()
{
    if (folder_ >= 0)
        close(folder_);
    folder_ = -1;
}

// Locking, syncing and listing the folder take a descriptor opened for
// reading, not the O_PATH one the look-up needed.
bool ScoreFolder::Readable()
{
    if (folder_ < 0)
        return false;
    const int flags = fcntl(folder_, F_GETFL);
    if (flags >= 0 && !(flags & O_PATH))
        return true;
    const int fd = openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    close(folder_);
    folder_ = fd;
    return true;
}

bool ScoreFolder::CanReplace() const
{
    struct stat folder {};
    if (kind_ == Unusable || folder_ < 0 || fstat(folder_, &folder) != 0
        || faccessat(folder_, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    if (kind_ == Missing)
        return true;
    // In a sticky folder (as /tmp) the kernel lets a name be renamed over only
    // by the owner of the file there or of the folder, whatever the modes say.
    const uid_t me = geteuid();
    if ((folder.st_mode & S_ISVTX) && me != 0 && table_.st_uid != me && folder.st_uid != me)
        return false;
    return faccessat(folder_, name_.constData(), R_OK | W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0;
}

bool ScoreFolder::Lock(int waitMs, const std::function<void(int ms)>& wait)
{
    // Only another game holding the lock is a reason to wait: a folder that
    // cannot be opened for reading, or a file system without locks, is saved
    // to unlocked, still whole.
    if (!Readable())
        return true;
    const QDeadlineTimer deadline(waitMs);
    while (flock(folder_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return true;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        const int ms = int(std::min<qint64>(kLockRetryMs, left));
        if (wait)
            wait(ms);
        else
            QThread::msleep(ulong(ms));
    }
    return true;
}

int ScoreFolder::OpenTable(bool& missing)
{
    missing = kind_ == Missing && folder_ < 0;
    if (kind_ == Unusable || folder_ < 0)
        return -1;
    // Looked at before it is opened, so that a pipe or a device is never
    // opened at all, and again once open in case the name changed in between.
    struct stat st {};
    if (fstatat(folder_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        missing = errno == ENOENT;
        haveTable_ = false;
        return -1;
    }
    if (!S_ISREG(st.st_mode))
        return -1;
    const int fd = openat(folder_, name_.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        table_ = st;
        haveTable_ = true;
        return fd;
    }
    if (fd >= 0)
        close(fd);
    return -1;
}

// An unnamed file in the folder where the file system has them, so that
// nothing is left with a name unless the table is whole; otherwise a new
// name of the game's own pattern, which no link or file may already hold.
int ScoreFolder::Create(const QByteArray& tempName, bool& unnamed) const
{
    int fd = -1;
    if (CanNameUnnamedFiles()) {
        fd = openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
            unnamed = true;
            return fd;
        }
    }
    unnamed = false;
    return openat(folder_, tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool ScoreFolder::Replace(const QByteArray& bytes)
{
    // Creating, naming and renaming need no read permission on the folder;
    // only its sync does, so a folder the player may write but not list
    // still takes the table.
    if (kind_ == Unusable || folder_ < 0)
        return false;
    const QByteArray temp = TempName(name_);
    bool unnamed = false;
    const int fd = Create(temp, unnamed);
    if (fd < 0)
        return false;
    // The old table's group and mode, so that a table shared by a group stays
    // shared. A group the player is not in cannot be given (EPERM), nor one
    // that a sandbox's user namespace does not know (EINVAL): the folder's
    // then stands. A game run as root also leaves the table to its owner, who
    // could not write it again otherwise.
    const uid_t owner = geteuid() == 0 ? table_.st_uid : uid_t(-1);
    bool ok = (!haveTable_ || fchown(fd, owner, table_.st_gid) == 0 || errno == EPERM || errno == EINVAL)
        && (!haveTable_ || fchmod(fd, table_.st_mode & 0777) == 0)
        && WriteAll(fd, bytes) && fsync(fd) == 0;
    bool named = !unnamed;
    if (ok && unnamed) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        named = ok = linkat(AT_FDCWD, self.constData(), folder_, temp.constData(), AT_SYMLINK_FOLLOW) == 0;
    }
    ok = close(fd) == 0 && ok;
    ok = ok && renameat(folder_, temp.constData(), folder_, name_.constData()) == 0;
    if (!ok && named)
        unlinkat(folder_, temp.constData(), 0);
    // A rename is kept on disk only once its folder is; without this a power
    // cut soon after a save could bring back the old table, or none.
    if (ok && Readable())
        fsync(folder_);
    return ok;
}

void ScoreFolder::RemoveLeftovers() const
{
    const int fd = folder_ < 0 ? -1 : openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = fd < 0 ? nullptr : fdopendir(fd);
    if (!listing) {
        if (fd >= 0)
            close(fd);
        return;
    }
    const time_t oldest = time(nullptr) - kLeftoverAgeSeconds;
    const uid_t me = geteuid();
    while (const dirent* entry = readdir(listing)) {
        struct stat st {};
        if (IsTempName(name_, entry->d_name) && fstatat(folder_, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(st.st_mode) && st.st_uid == me && st.st_mtime < oldest)
            unlinkat(folder_, entry->d_name, 0);
    }
    closedir(listing);
}

} // namespace quadix
