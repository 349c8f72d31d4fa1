#include "cd/OffsetTrackReader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int64_t kSectorSamples = 588;
constexpr size_t kSectorBytes = 2352;

int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

/// Bytes of a count of sectors.
size_t Bytes(int64_t sectors)
{
    return size_t(sectors) * kSectorBytes;
}

} // namespace

TOffsetTrackReader::TOffsetTrackReader(ISectorReader& reader, int32_t startSector,
                                       int32_t readOffset, int32_t discEndSector)
    : reader_(reader), nextSample_(int64_t{startSector} * kSectorSamples + readOffset),
      discEnd_(discEndSector)
{
}

const uint8_t* TOffsetTrackReader::Next(uint32_t sectors)
{
    const int64_t from = nextSample_;
    const int64_t to = from + int64_t{sectors} * kSectorSamples; // exclusive
    const int64_t first = FloorDiv(from, kSectorSamples);
    const int64_t last = FloorDiv(to - 1, kSectorSamples);
    // Whole sectors all on the disc (every call, for an offset of whole sectors): as the
    // reader holds them.
    if (from % kSectorSamples == 0 && first >= 0 && last < discEnd_ && carrySector_ == kNone) {
        const uint8_t* sectorsRead = reader_.View(int32_t(first), sectors);
        if (sectorsRead != nullptr)
            nextSample_ = to;
        return sectorsRead;
    }
    buffer_.resize(Bytes(last - first + 1));
    int64_t readFrom = first;
    if (carrySector_ == first) {
        std::memcpy(buffer_.data(), carry_.data(), kSectorBytes);
        ++readFrom;
    }
    if (readFrom <= last && !Fill(readFrom, last, buffer_.data() + Bytes(readFrom - first)))
        return nullptr;
    // Unless the offset is whole sectors, the next call begins inside this call's last sector.
    carrySector_ = kNone;
    if (to % kSectorSamples != 0) {
        std::memcpy(carry_.data(), buffer_.data() + Bytes(last - first), kSectorBytes);
        carrySector_ = last;
    }
    nextSample_ = to;
    return buffer_.data() + size_t(from - first * kSectorSamples) * 4;
}

bool TOffsetTrackReader::Fill(int64_t first, int64_t last, uint8_t* out)
{
    const int64_t readFirst = std::max<int64_t>(first, 0);
    const int64_t readLast = std::min<int64_t>(last, int64_t{discEnd_} - 1);
    if (readFirst > readLast) {
        std::memset(out, 0, Bytes(last - first + 1));
        return true;
    }
    std::memset(out, 0, Bytes(readFirst - first));
    std::memset(out + Bytes(readLast + 1 - first), 0, Bytes(last - readLast));
    return reader_.Read(int32_t(readFirst), uint32_t(readLast - readFirst + 1),
                        out + Bytes(readFirst - first));
}
