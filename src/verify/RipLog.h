#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "verify/AccurateRip.h"

/// What a rip log says of one track.
struct TRipLogTrack {
    int Number = 0;
    bool Ripped = false; ///< false: stopped, failed or skipped before its audio was complete
    uint32_t CopyCrc = 0;
    bool HasAccurateRip = false;
    uint32_t V1 = 0;
    uint32_t V2 = 0;
    TVerifyResult Result;
    int64_t UncorrectedSectors = 0; ///< sectors a secure read could not correct
};

/// Everything a rip log holds, gathered by the job as it goes.
struct TRipLog {
    QString Program; ///< name and version
    QString Date;    ///< when the rip started, ISO 8601
    QString Drive;   ///< the drive's name, or the image's
    int ReadOffset = 0;
    QString Paranoia; ///< "off", "overlap only", "full", or "not used (disc image)"
    QString CddbId;
    QString MusicBrainzId;
    TAccurateRipIds AccurateRipIds;
    QString Artist;
    QString Album;
    QString Ending; ///< empty for a rip that ran to its end, else how it ended
    std::vector<TRipLogTrack> Tracks;
};

/// The log's text, UTF-8 when written: a header, one line per track in the form
/// "Track 03  copy CRC 1A2B3C4D  AccurateRip v1 0F0E0D0C  v2 AABBCCDD  accurately ripped
/// (confidence 12)", and a summary line.
QString RipLogText(const TRipLog& log);

/// The summary line alone ("All 12 tracks accurately ripped", or what was not).
QString RipLogSummary(const TRipLog& log);

/// One file of a cue sheet.
struct TCueTrack {
    int Number = 0;
    QString Title;
    QString Performer;
    QString File;             ///< relative to the cue sheet's folder
    int64_t PregapFrames = 0; ///< silence before the track that the files do not hold
};

/// A cue sheet naming one file per track, so the set plays gaplessly and burns back.
QString CueSheetText(const QString& performer, const QString& title,
                     const std::vector<TCueTrack>& tracks);
