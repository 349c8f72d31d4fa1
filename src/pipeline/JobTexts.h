#pragma once

#include <QString>

// What the sequential and the parallel job both say and check about their output files.

/// "<path> could not be written (<the system's reason>)."
QString CouldNotWrite(const QString& path, int error);
/// A plain file nobody may write: the user's way to keep it, which even a program run as root
/// must respect.
bool IsWriteProtected(const QString& path);
/// The lame step's failure, as the job window has always said it.
QString CreateMp3Error();
