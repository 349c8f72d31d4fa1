#pragma once

#include <QString>

/// The program's folder, ending in "/": where options.ini, cdinfo.dat, discs/, the recorder's
/// files and the default output folder lie. It is the executable's folder, or
/// $XDG_DATA_HOME/Platterly/ when that folder is not writable; decided on first use.
QString ProgramDir();

/// The executable's own folder, ending in "/": the tools and the manual lie there.
QString ExecutableDir();

/// Test seam: points both folders at dir (pass an empty string to go back to the real ones).
void SetProgramDirForTests(const QString& dir);
