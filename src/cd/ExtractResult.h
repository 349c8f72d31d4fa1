#pragma once

#include <cstdint>

#include "core/ProcessInfo.h"
#include "verify/AccurateRip.h"

/// What a track's end record (ExtractEnded) carries beyond its outcome, once reading began.
struct TExtractResult : TStepResult {
    TExtractResult(int64_t frames, bool firstAudio, bool lastAudio)
        : Checksums(frames, firstAudio, lastAudio)
    {
    }
    /// Of the audio as read, read offset applied, before any normalising.
    TTrackChecksums Checksums;
    bool Complete = false; ///< every sector was read and written: the checksums cover the track
    int64_t UncorrectedSectors = 0; ///< sectors paranoia could not correct, kept as read
};

/// The extraction's result carried by a record, or null.
inline const TExtractResult* ExtractResultOf(const TProcessInfo& info)
{
    return dynamic_cast<const TExtractResult*>(info.Result.get());
}
