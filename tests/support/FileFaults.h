#pragma once
// What the records code asks of the C library, seen from a test: a call made
// to fail with a chosen error, or the table's name swapped for a link right
// after the code has looked at it or before it reads a link. Works in a test linked with
// FileFaults.cpp and the linker's --wrap of the calls (quadix_file_faults in
// tests/scores/CMakeLists.txt); only calls made by the code linked into the
// test are seen, not Qt's own.
#include <QByteArray>
#include <functional>

namespace quadix::test {

enum class FileCall { CreateUnnamed, Write, Rename, GiveGroup, Count };

// The next such call fails with `error`; every such call when `always`.
void FailCall(FileCall call, int error, bool always = false);
// Runs `swap` right after the look-th look at `path` (lstat or fstatat of
// that name) that found a regular file there.
void AfterLook(const QByteArray& path, int look, std::function<void()> swap);
// Whether the swap of AfterLook has run.
bool LookSwapped();
// Runs `swap` right before the code next reads where a link points
// (readlinkat).
void BeforeReadLink(std::function<void()> swap);
// Every call goes to the C library again.
void ResetFileFaults();

} // namespace quadix::test
