#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/cdaccess/CdAccessTypes.h"

/// frames(M, S, F) = (M x 60 + S) x 75 + F.
constexpr int32_t Frames(int32_t minutes, int32_t seconds, int32_t frames)
{
    return (minutes * 60 + seconds) * 75 + frames;
}

/// Frames of an MSF-form TOC entry's start address.
inline int32_t EntryFrames(const TocEntry& e)
{
    return Frames(e.Minutes(), e.Seconds(), e.Frames());
}

/// Where a track lies: its absolute start sector (LSN, the entry's frames less the 150-frame
/// lead-in) and its length up to the next entry, so the lead-out closes the last track.
struct TrackSpan {
    int32_t StartSector = 0;
    int32_t LengthSectors = 0;
};

/// The span of track k of an MSF-form TOC; nothing when k is not between the first and last
/// track, or when the TOC puts the track before the lead-in or gives it no sectors.
std::optional<TrackSpan> TrackGeometry(const TocRecord& toc, int track);

/// Where a track sits on its disc, for the read offset and the AccurateRip rules.
struct DiscPlace {
    bool FirstAudio = false; ///< no audio track comes before it
    bool LastAudio = false;  ///< no audio track comes after it
    int32_t EndSector = 0;   ///< the lead-out's LSN: no drive reads audio there or beyond
};

/// The place of track k of an MSF-form TOC whose geometry TrackGeometry accepted.
DiscPlace PlaceOnDisc(const TocRecord& toc, int track);

/// A track's length as the track list shows it: whole minutes and seconds of the starts.
struct TrackLength {
    int32_t Minutes = 0;
    int32_t Seconds = 0;
};

/// One length per track, first to last: the difference of the minutes and seconds of a
/// track's start and the next start (the lead-out after the last), frames ignored, a negative
/// seconds difference borrowing a minute. Empty when the TOC's track range is impossible.
std::vector<TrackLength> TrackListLengths(const TocRecord& toc);
