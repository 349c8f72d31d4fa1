#pragma once

#include <QString>

/// What a finished job leaves for the main window to show in its result bar: a line of plain
/// text, how much it matters, the folder the job wrote to, and optionally one file to open
/// (a rip's log).
struct TResultNotice {
    enum class Severity { Information, Warning, Error };
    QString Summary;
    Severity Level = Severity::Information;
    QString Folder;    ///< "Open Folder" opens it; empty: no button
    QString File;      ///< the link opens it; empty: no link
    QString FileLabel; ///< the link's text
};
