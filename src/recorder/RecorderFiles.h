#pragma once

#include <QString>

// How the recorder treats the files it writes: its own scratch files (the no-name file and the
// working copy) and the names the user saves under.

/// Moves a file to another name, replacing what is there: a rename, or across file systems a
/// copy into place and then the removal of the original. On failure both files are as before.
bool MoveFileReplacing(const QString& from, const QString& to);

/// Whether a link (even one leading nowhere) or a special file is at path. A folder is not: it
/// gets the messages of a file that cannot be replaced.
bool IsLinkOrDeviceFile(const QString& path);

/// Refuses to write at path when a link or a special file is there: shows the program's
/// message and returns true.
bool RefuseLinkTarget(const QString& path);

/// Copies source over a scratch file, replacing the name itself: never written through a link,
/// and a link or special file there is refused. Raises EAppException on failure.
void CopyOverScratchFile(const QString& source, const QString& scratch);

/// Removes a scratch file: only a plain file, never a link or a FIFO someone else put there.
void RemoveScratchFile(const QString& path);

/// Raises EAppException naming file when it is no WAV file the wave-audio device can use.
void CheckWaveFile(const QString& file);
