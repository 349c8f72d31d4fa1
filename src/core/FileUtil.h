#pragma once

#include <cstddef>

#include <sys/types.h>

#include <QString>

/// True when the file exists and either cannot be opened for reading and writing or another
/// open file description holds a lock on it.
bool IsFileInUse(const QString& path);

/// Opens path as a regular file only. The open itself never blocks (a FIFO without a writer
/// would hold the caller for good): O_NONBLOCK for the open, then fstat, then blocking mode
/// again. Anything but a regular file fails with errno EINVAL. With O_CREAT in flags the last
/// component is never followed when it is a symbolic link (O_NOFOLLOW, errno ELOOP), so an
/// output cannot be written through a link planted in the output folder. Returns the
/// descriptor (close-on-exec) or -1 with errno set.
int OpenRegularFile(const QString& path, int flags, mode_t mode = 0644);
/// The same for a path in the file system's own bytes.
int OpenRegularFile(const char* nativePath, int flags, mode_t mode = 0644);

/// Whether nativePath can be opened for reading as a regular file, checked the same way.
bool CanReadRegularFile(const char* nativePath);

/// Whether path names an existing regular file (following links), without opening it.
bool IsRegularFile(const QString& path);

/// Whether something exists at path that is a symbolic link or not a regular file (the link
/// itself is looked at, not what it points to).
bool IsLinkOrSpecialFile(const QString& path);
/// What the program says when it refuses to write at such a path: "<path> is a link or a
/// special file; it was not written."
QString LinkOrSpecialFileText(const QString& path);

/// Whether two paths name the same file: the same device and inode when both exist, else the
/// same absolute path once cleaned.
bool SameFile(const QString& a, const QString& b);

/// The system's text for an errno value ("No space left on device").
QString SystemErrorText(int error);

/// Takes a non-blocking exclusive flock on an open descriptor; the program's own exclusive
/// opens call this so IsFileInUse sees them. Returns false when someone else holds a lock.
bool LockExclusive(int fd);

/// Empties an open file for rewriting. One already empty (just created) is left alone: ext4
/// writes out at its close a file that was truncated, which guards a rewritten file against a
/// crash but made each track of an image rip wait for the disk.
bool EmptyFile(int fd);

/// write(2) until every byte is written, retrying interrupted calls; false on any error (a full
/// disk among them).
bool WriteAllBytes(int fd, const void* data, size_t size);

bool FileExists(const QString& path);
bool DirectoryExists(const QString& path);

/// Size of a file in bytes, or -1 when it does not exist.
qint64 FileSizeOrMinus1(const QString& path);

/// Adds a "/" unless the path already ends in one.
QString IncludeTrailingSlash(const QString& path);

/// Path with its extension replaced (or appended when it has none), as in "X as .mp3".
QString ChangeFileExt(const QString& path, const QString& ext);

/// File name part of a path (after the last "/").
QString ExtractFileName(const QString& path);

/// True when name can be a single file name in a folder here: not empty, not "." or "..",
/// no "/" or NUL, and at most 255 bytes in UTF-8.
bool IsValidFileName(const QString& name);
