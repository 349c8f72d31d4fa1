#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

#include "platform/cdaccess/CdAccessTypes.h"

/// A disc as CDDB identifies it: where each track starts and where the lead-out starts, in
/// frames counted with the 2-second lead-in (track 1 of most discs starts at 150).
struct CddbDisc {
    std::vector<int32_t> Offsets;
    int32_t LeadOut = 0;

    /// From an MSF-form table of contents; nothing when its track range or addresses are
    /// impossible (no track, tracks out of order, lead-out before the last track).
    static std::optional<CddbDisc> FromToc(const TocRecord& toc);

    /// The standard CDDB disc id: ((n mod 255) << 24) | (t << 8) | track count, where n sums
    /// the decimal digits of every track's start in whole seconds and t is the lead-out's
    /// whole seconds less the first track's.
    uint32_t DiscId() const;
    /// Playing length in whole seconds as the query states it: the lead-out's start / 75.
    int32_t LengthSeconds() const { return LeadOut / 75; }

    /// "cddb query <id> <tracks> <offset>... <seconds>", the id as 8 lower-case hex digits.
    QString QueryCommand() const;
};

/// The id as the protocol writes it: 8 lower-case hex digits.
QString CddbDiscIdText(uint32_t id);
