// Feeds arbitrary bytes to the reader of an AccurateRip answer (a dBAR file), then matches a
// track against whatever it accepted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "verify/AccurateRip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto blocks = ParseDbar(bytes, &error);
    if (!blocks) {
        if (error.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    // What was accepted accounts for every byte: a header and nine bytes per track per block.
    size_t used = 0;
    for (const TAccurateRipBlock& b : *blocks) {
        if (b.Ids.AudioTracks < 1 || b.Ids.AudioTracks > 99 ||
            b.Tracks.size() != static_cast<size_t>(b.Ids.AudioTracks))
            std::abort();
        used += 13 + 9 * b.Tracks.size();
    }
    if (blocks->empty() || used != size)
        std::abort();
    TTrackChecksums sums(20 * kSectorFrames, true, true);
    sums.Add(data, size);
    for (int track : {-1, 0, 1, 98, 254, 255, 256}) {
        const TVerifyResult r = MatchTrack(*blocks, track, sums);
        if (r.Status != TVerifyStatus::Accurate && r.Status != TVerifyStatus::Mismatch)
            std::abort();
        if (r.Confidence < 0 || r.Confidence > 255)
            std::abort();
    }
    return 0;
}
