#pragma once

#include <QString>
#include <QStringList>

/// The program's folder, ending in "/": where cdinfo.dat, discs/ and the recorder's files lie.
/// It is the executable's folder, or $XDG_DATA_HOME/Platterly/ for an installed program (see
/// IsInstalled); decided on first use.
QString ProgramDir();

/// Where options.ini lies, ending in "/": the program's folder, or $XDG_CONFIG_HOME/Platterly/
/// for an installed program.
QString ConfigDir();

/// The executable's own folder, ending in "/": the tools and the manual lie there.
QString ExecutableDir();

/// True when the program runs from an installation (its prefix holds share/platterly/) or from
/// a folder it cannot write, rather than from its build folder.
bool IsInstalled();

/// Folders a helper tool of the program is looked for in, each ending in "/": the executable's
/// folder, then <prefix>/libexec/platterly/ of an installation.
QStringList HelperToolDirs();

/// The user manual: beside the executable, else <prefix>/share/doc/platterly/.
QString ManualPath();

/// The output folder a first run starts with: "Output" in the program's folder, or the user's
/// music folder for an installed program (created when missing).
QString DefaultOutputFolder();

/// For an installed program: copies the demo disc from <prefix>/share/platterly/discs/ into the
/// data folder's discs/ when that folder does not exist yet. Returns false when a copy failed.
bool ProvideDemoDisc();

/// Test seam: points every folder at dir (pass an empty string to go back to the real ones).
void SetProgramDirForTests(const QString& dir);
