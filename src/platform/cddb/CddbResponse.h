#pragma once

#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/cddb/CddbTypes.h"

// Reading what a CDDB server answers over HTTP: a status line ("200 rock 0a0b0c03 A / B"),
// then, for list and record answers, lines up to a line holding only ".". A list or record
// without that line was cut short and is refused whole: half a record would rename half the
// tracks.

/// The answer's lines: LF or CR LF ends a line; each line is read as UTF-8 when it is valid
/// UTF-8 and as ISO-8859-1 otherwise; control characters are dropped.
QStringList DecodeCddbLines(const QByteArray& body);

/// The status code of a status line (three digits, then a blank or the end), -1 otherwise.
int CddbStatusCode(const QString& line);

/// A match line "category discid title"; false when the line is not one.
bool ParseCddbMatchLine(const QString& line, CddbMatch& match);

/// The answer to "cddb query": 200 gives one match; 210 and 211 the listed matches (up to
/// capacity, lines that are no match skipped); 202 none. Ok is false for any other status, for
/// an answer without a status line, and for a list without its end (Cut).
struct CddbQueryAnswer {
    bool Ok = false;
    int Status = -1;
    bool Cut = false;
    QString StatusLine; ///< the server's first line, as it gave it
    std::vector<CddbMatch> Matches;
};
CddbQueryAnswer ParseCddbQueryAnswer(const QByteArray& body, int capacity);

/// The answer to "cddb read": status 210, then the record, whose lines are joined with "\n".
/// A record of bufferSize characters or more does not fit the caller's buffer (it keeps room
/// for a terminating NUL): TooLong is set and Ok is false, rather than a record cut short. A
/// record without its end sets Cut.
struct CddbReadAnswer {
    bool Ok = false;
    int Status = -1;
    bool TooLong = false;
    bool Cut = false;
    QString StatusLine; ///< the server's first line, as it gave it
    QString Record;
};
CddbReadAnswer ParseCddbReadAnswer(const QByteArray& body, int bufferSize);
