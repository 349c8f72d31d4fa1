#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "cd/SectorReader.h"

/// A track's audio as the disc holds it, corrected for the drive's read offset: sample i of
/// the track is the disc's sample at (start sector x 588) + i + offset, so a nonzero offset
/// takes samples from the neighbouring sectors. Where that lies before the disc's first sector
/// or at or beyond its end (the first and last track), the samples are silence: no drive
/// reaches there. With offset 0 each call reads exactly the track's sectors it returns.
class TOffsetTrackReader {
public:
    TOffsetTrackReader(ISectorReader& reader, int32_t startSector, int32_t readOffset,
                       int32_t discEndSector);

    /// The next `sectors` sectors' worth of the track (sectors x 2352 bytes), valid until the
    /// next call; null when the reader failed.
    const uint8_t* Next(uint32_t sectors);

private:
    bool Fill(int64_t first, int64_t last, uint8_t* out);

    ISectorReader& reader_;
    int64_t nextSample_; // on the disc, of the track's next sample
    int32_t discEnd_;
    std::vector<uint8_t> buffer_;
    // The sector the last call took only the front of; the next call starts in it. (Sectors
    // before the disc have negative numbers.)
    static constexpr int64_t kNone = std::numeric_limits<int64_t>::min();
    int64_t carrySector_ = kNone;
    std::array<uint8_t, 2352> carry_{};
};
