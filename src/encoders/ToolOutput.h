#pragma once

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

/// One progress report a parser derives from a line of tool output.
struct TProgressReport {
    int32_t Percent = 0;
    QString ElapsedText;
    QString TotalText;
};

/// Turns one chunk read from a tool's pipe into lines: the text ends at the first zero byte,
/// every CR, LF or CR LF is a line break, and lines that are empty once blanks and control
/// characters are trimmed are dropped. The lines themselves are returned untrimmed. Nothing is
/// carried between chunks, so a line cut by a read arrives as two partial lines. Bytes are read
/// as UTF-8 (invalid sequences become U+FFFD).
QStringList SplitToolOutput(const QByteArray& chunk);
