#include "verify/AccurateRip.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

namespace {

uint32_t LE32(const char* p)
{
    const auto* b = reinterpret_cast<const uint8_t*>(p);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

} // namespace

TTrackChecksums::TTrackChecksums(int64_t totalFrames, bool firstTrack, bool lastTrack)
    : checkFrom_(firstTrack ? 5 * kSectorFrames : 1),
      checkTo_(lastTrack ? totalFrames - 5 * kSectorFrames : totalFrames)
{
}

void TTrackChecksums::AddFrame(uint32_t sample)
{
    ++frame_;
    if (frame_ < checkFrom_ || frame_ > checkTo_)
        return;
    const auto mult = static_cast<uint32_t>(frame_);
    v1_ += mult * sample;
    const uint64_t product = uint64_t{sample} * mult;
    v2_ += static_cast<uint32_t>(product) + static_cast<uint32_t>(product >> 32);
}

void TTrackChecksums::Add(const uint8_t* pcm, size_t bytes)
{
    if (bytes == 0)
        return;
    // zlib takes at most 4 GB a call; a block is far smaller.
    crc_ = static_cast<uint32_t>(crc32(crc_, pcm, static_cast<uInt>(bytes)));
    size_t i = 0;
    while (partialBytes_ > 0 && partialBytes_ < 4 && i < bytes)
        partial_[partialBytes_++] = pcm[i++];
    if (partialBytes_ == 4) {
        AddFrame(uint32_t{partial_[0]} | uint32_t{partial_[1]} << 8 | uint32_t{partial_[2]} << 16 |
                 uint32_t{partial_[3]} << 24);
        partialBytes_ = 0;
    }
    for (; i + 4 <= bytes; i += 4)
        AddFrame(uint32_t{pcm[i]} | uint32_t{pcm[i + 1]} << 8 | uint32_t{pcm[i + 2]} << 16 |
                 uint32_t{pcm[i + 3]} << 24);
    while (i < bytes)
        partial_[partialBytes_++] = pcm[i++];
}

TAccurateRipIds AccurateRipIdsOf(const std::vector<int64_t>& trackStarts, int64_t leadOut,
                                 uint32_t cddbId)
{
    TAccurateRipIds ids;
    ids.AudioTracks = static_cast<int>(trackStarts.size());
    ids.Cddb = cddbId;
    uint32_t n = 1;
    for (int64_t start : trackStarts) {
        ids.Id1 += static_cast<uint32_t>(start);
        ids.Id2 += static_cast<uint32_t>(std::max<int64_t>(start, 1)) * n;
        ++n;
    }
    ids.Id1 += static_cast<uint32_t>(leadOut);
    ids.Id2 += static_cast<uint32_t>(leadOut) * n;
    return ids;
}

QString AccurateRipPath(const TAccurateRipIds& ids)
{
    const auto hex = [](uint32_t v, int width) {
        return QStringLiteral("%1").arg(v, width, 16, QLatin1Char('0'));
    };
    return QStringLiteral("/accuraterip/%1/%2/%3/dBAR-%4-%5-%6-%7.bin")
        .arg(hex(ids.Id1 & 0xf, 1), hex(ids.Id1 >> 4 & 0xf, 1), hex(ids.Id1 >> 8 & 0xf, 1))
        .arg(ids.AudioTracks, 3, 10, QLatin1Char('0'))
        .arg(hex(ids.Id1, 8), hex(ids.Id2, 8), hex(ids.Cddb, 8));
}

std::optional<std::vector<TAccurateRipBlock>> ParseDbar(const QByteArray& data, QString* error)
{
    const auto fail = [&](const QString& why) -> std::optional<std::vector<TAccurateRipBlock>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    std::vector<TAccurateRipBlock> blocks;
    qsizetype pos = 0;
    while (pos < data.size()) {
        if (data.size() - pos < 13)
            return fail(QStringLiteral("the AccurateRip answer is cut off"));
        TAccurateRipBlock block;
        block.Ids.AudioTracks = static_cast<uint8_t>(data[pos]);
        block.Ids.Id1 = LE32(data.constData() + pos + 1);
        block.Ids.Id2 = LE32(data.constData() + pos + 5);
        block.Ids.Cddb = LE32(data.constData() + pos + 9);
        pos += 13;
        if (block.Ids.AudioTracks == 0)
            return fail(QStringLiteral("the AccurateRip answer holds a block of no tracks"));
        if (data.size() - pos < qsizetype{9} * block.Ids.AudioTracks)
            return fail(QStringLiteral("the AccurateRip answer is cut off"));
        for (int t = 0; t < block.Ids.AudioTracks; ++t) {
            TAccurateRipBlock::Track track;
            track.Confidence = static_cast<uint8_t>(data[pos]);
            track.Crc = LE32(data.constData() + pos + 1);
            track.Frame450Crc = LE32(data.constData() + pos + 5);
            block.Tracks.push_back(track);
            pos += 9;
        }
        blocks.push_back(std::move(block));
    }
    if (blocks.empty())
        return fail(QStringLiteral("the AccurateRip answer is empty"));
    return blocks;
}

TVerifyResult MatchTrack(const std::vector<TAccurateRipBlock>& blocks, int trackIndex,
                         const TTrackChecksums& sums)
{
    if (!sums.HasAccurateRip())
        return {TVerifyStatus::NoChecksum, 0};
    TVerifyResult result{TVerifyStatus::Mismatch, 0};
    for (const TAccurateRipBlock& block : blocks) {
        if (trackIndex < 0 || trackIndex >= static_cast<int>(block.Tracks.size()))
            continue;
        const TAccurateRipBlock::Track& t = block.Tracks[static_cast<size_t>(trackIndex)];
        if (t.Crc == sums.V1() || t.Crc == sums.V2()) {
            result.Status = TVerifyStatus::Accurate;
            result.Confidence = std::max<int>(result.Confidence, t.Confidence);
        }
    }
    return result;
}

QString VerifyText(const TVerifyResult& result)
{
    switch (result.Status) {
    case TVerifyStatus::Accurate:
        return QStringLiteral("accurately ripped (confidence %1)").arg(result.Confidence);
    case TVerifyStatus::Mismatch:
        return QStringLiteral("mismatch");
    case TVerifyStatus::NotInDatabase:
        return QStringLiteral("not in database");
    case TVerifyStatus::NoChecksum:
        return QStringLiteral("too short for a checksum");
    case TVerifyStatus::CouldNotVerify:
        break;
    }
    return QStringLiteral("could not be verified");
}
