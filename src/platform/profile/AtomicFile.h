#pragma once

#include <QByteArray>
#include <QString>

/// Replaces the file at path with data in one step: the data goes to a temporary file in the
/// same folder, is flushed to disk, and is renamed over the old file, so a crash leaves either
/// the old or the new file, never half of one. A symbolic link is written through to its target;
/// the old file's permissions are kept. A read-only file is refused rather than replaced.
/// Returns false (and leaves everything as it was) on any failure.
bool WriteFileAtomically(const QString& path, const QByteArray& data);
/// The same write, but the name path itself is replaced and never followed: a symbolic link or
/// special file there is refused, and one planted there meanwhile is replaced by the rename,
/// never written through.
bool WriteFileOverName(const QString& path, const QByteArray& data);

/// Copies the file at source over the file at target in the same way: the copy goes to a
/// temporary file beside the target and is renamed into place, so the target is either left
/// as it was or holds the whole copy. Only a regular source is read (a FIFO is refused without
/// blocking). Copying a file onto itself leaves it intact. On failure returns false with the
/// reason in error.
bool CopyFileAtomically(const QString& source, const QString& target, QString* error = nullptr);

/// The same copy over the name target itself, as WriteFileOverName writes (a link or special
/// file there fails with "Unable to write to ...").
bool CopyFileOverName(const QString& source, const QString& target, QString* error = nullptr);
