#pragma once

#include <QString>
#include <QStringList>

/// A tool invocation: the argument vector handed to the system as it stands (element 0 names
/// the program; no shell, so blanks and quotes stay inside their argument), and the same
/// command as one line for messages and tests, with the paths in double quotes.
struct TToolCommand {
    QStringList Arguments;
    QString DisplayLine;
};

/// A path as the display line shows it.
inline QString QuotedForDisplay(const QString& path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}
