#include "support/FileFaults.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quadix::test {
namespace {

struct Fault {
    int error = 0;
    bool always = false;
};
std::array<Fault, size_t(FileCall::Count)> faults;

struct Swap {
    QByteArray path;
    int look = 0;
    int seen = 0;
    bool done = false;
    std::function<void()> run;
} swap;
std::function<void()> beforeReadLink;

// False, with errno set, when the call is to fail.
bool Allowed(FileCall call)
{
    Fault& fault = faults[size_t(call)];
    if (fault.error == 0)
        return true;
    errno = fault.error;
    if (!fault.always)
        fault = {};
    return false;
}

QByteArray PathAt(int dirfd, const char* name)
{
    if (name[0] == '/' || dirfd == AT_FDCWD)
        return name;
    char folder[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(dirfd);
    const ssize_t size = readlink(link.constData(), folder, sizeof folder);
    return size > 0 ? QByteArray(folder, size) + '/' + name : QByteArray();
}

void Looked(int result, const struct stat* st, int dirfd, const char* name)
{
    if (swap.run && !swap.done && result == 0 && S_ISREG(st->st_mode) && PathAt(dirfd, name) == swap.path
        && ++swap.seen == swap.look) {
        swap.done = true;
        swap.run();
    }
}

} // namespace

void FailCall(FileCall call, int error, bool always)
{
    faults[size_t(call)] = {error, always};
}

void AfterLook(const QByteArray& path, int look, std::function<void()> run)
{
    swap = {path, look, 0, false, std::move(run)};
}

bool LookSwapped()
{
    return swap.done;
}

void BeforeReadLink(std::function<void()> run)
{
    beforeReadLink = std::move(run);
}

void ResetFileFaults()
{
    faults = {};
    swap = {};
    beforeReadLink = {};
}

} // namespace quadix::test

using quadix::test::Allowed;
using quadix::test::FileCall;

extern "C" {
int __real_lstat(const char*, struct stat*);
int __real_fstatat(int, const char*, struct stat*, int);
int __real_openat(int, const char*, int, ...);
ssize_t __real_write(int, const void*, size_t);
int __real_renameat(int, const char*, int, const char*);
int __real_fchown(int, uid_t, gid_t);
ssize_t __real_readlinkat(int, const char*, char*, size_t);

int __wrap_lstat(const char* path, struct stat* st)
{
    const int result = __real_lstat(path, st);
    quadix::test::Looked(result, st, AT_FDCWD, path);
    return result;
}

int __wrap_fstatat(int dirfd, const char* path, struct stat* st, int flags)
{
    const int result = __real_fstatat(dirfd, path, st, flags);
    quadix::test::Looked(result, st, dirfd, path);
    return result;
}

int __wrap_openat(int dirfd, const char* path, int flags, ...)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = mode_t(va_arg(args, int));
        va_end(args);
    }
    if ((flags & O_TMPFILE) == O_TMPFILE && !Allowed(FileCall::CreateUnnamed))
        return -1;
    return __real_openat(dirfd, path, flags, mode);
}

ssize_t __wrap_write(int fd, const void* data, size_t size)
{
    return Allowed(FileCall::Write) ? __real_write(fd, data, size) : -1;
}

int __wrap_renameat(int from, const char* name, int to, const char* newName)
{
    return Allowed(FileCall::Rename) ? __real_renameat(from, name, to, newName) : -1;
}

int __wrap_fchown(int fd, uid_t owner, gid_t group)
{
    return Allowed(FileCall::GiveGroup) ? __real_fchown(fd, owner, group) : -1;
}

ssize_t __wrap_readlinkat(int dirfd, const char* path, char* target, size_t size)
{
    if (const auto swap = std::exchange(quadix::test::beforeReadLink, {}))
        swap();
    return __real_readlinkat(dirfd, path, target, size);
}
}
