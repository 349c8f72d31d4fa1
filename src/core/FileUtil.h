#pragma once

#include <cstddef>

#include <QString>

/// True when the file exists and either cannot be opened for reading and writing or another
/// open file description holds a lock on it.
bool IsFileInUse(const QString& path);

/// Takes a non-blocking exclusive flock on an open descriptor; the program's own exclusive
/// opens call this so IsFileInUse sees them. Returns false when someone else holds a lock.
bool LockExclusive(int fd);

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
