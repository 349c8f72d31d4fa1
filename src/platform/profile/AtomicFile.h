#pragma once

#include <QByteArray>
#include <QString>

/// Replaces the file at path with data in one step: the data goes to a temporary file in the
/// same folder, is flushed to disk, and is renamed over the old file, so a crash leaves either
/// the old or the new file, never half of one. A symbolic link is written through to its target;
/// the old file's permissions are kept. A read-only file is refused rather than replaced.
/// Returns false (and leaves everything as it was) on any failure.
bool WriteFileAtomically(const QString& path, const QByteArray& data);
