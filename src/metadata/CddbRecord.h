#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include <QString>

#include "metadata/DiscNames.h"

/// The fields of an xmcd record that name a disc. A key given on several lines is one value
/// continued: the parts are joined in order. Values are trimmed and their escapes ("\n",
/// "\t", "\\") resolved, line breaks and tabs to blanks, since each value is one line here.
struct TCddbRecord {
    std::optional<QString> DTitle;
    std::optional<QString> DYear;
    std::optional<QString> DGenre;
    /// TTITLEn values by n (0 is the disc's first track); only n in 0..98.
    std::map<int, QString> Titles;
};

/// Reads a record: "KEY=value" lines, comment lines ("#") and lines without "=" skipped.
TCddbRecord ParseCddbRecord(const QString& text);

/// Artist and album of a DTITLE value: split at the first " / " when there is one, else at
/// the first "/"; without any "/" the value names both (the format's convention).
struct TDiscTitle {
    QString Artist;
    QString Album;
};
TDiscTitle SplitDTitle(const QString& value);

/// Adds a match's record to the result, for the disc's tracks first..last: its disc fields
/// replace earlier ones; when it has the key of the first track (TTITLE0) its titles are taken
/// by key (TTITLEn for track first + n; keys beyond the disc, and empty titles, ignored) and
/// the result is complete: returns true, and no further record needs reading.
bool AddCddbRecord(const TCddbRecord& record, int first, int last, TDiscNames& result);
