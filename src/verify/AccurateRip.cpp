#include "verify/AccurateRip.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <libdeflate.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define PLATTERLY_AVX2_SUMS 1
#endif

namespace {

uint32_t LE32(const char* p)
{
    const auto* b = reinterpret_cast<const uint8_t*>(p);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

/// The frames from i on, one at a time, added to the sums so far.
std::pair<uint64_t, uint64_t> FrameProductTail(const uint8_t* p, size_t n, uint32_t number,
                                               size_t i, uint64_t low, uint64_t all)
{
    for (; i < n; ++i) {
        const uint8_t* b = p + i * 4;
        const uint32_t sample =
            uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
        const uint64_t product = uint64_t{sample} * (number + static_cast<uint32_t>(i));
        all += product;
        low += static_cast<uint32_t>(product);
    }
    return {low, all};
}

/// The sums of the low halves and of the whole 64-bit products sample x frame number over n
/// frames numbered from number on. Four frames at a time where SSE2 is there (every x86-64):
/// two multiplies of two lanes each, and adds; the per-sample cost is what verifying a rip
/// adds to it.
std::pair<uint64_t, uint64_t> FrameProductSums(const uint8_t* p, size_t n, uint32_t number)
{
    uint64_t low = 0;
    uint64_t all = 0;
    size_t i = 0;
#if defined(__SSE2__) && (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
    if (n >= 4) {
        const __m128i mask = _mm_set1_epi64x(0xffffffff);
        const __m128i four = _mm_set1_epi32(4);
        __m128i f = _mm_setr_epi32(static_cast<int>(number), static_cast<int>(number + 1),
                                   static_cast<int>(number + 2), static_cast<int>(number + 3));
        __m128i lowSum = _mm_setzero_si128();
        __m128i allSum = _mm_setzero_si128();
        for (; i + 4 <= n; i += 4) {
            const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i * 4));
            const __m128i even = _mm_mul_epu32(s, f);
            const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(s, 32), _mm_srli_epi64(f, 32));
            allSum = _mm_add_epi64(allSum, _mm_add_epi64(even, odd));
            lowSum = _mm_add_epi64(
                lowSum, _mm_add_epi64(_mm_and_si128(even, mask), _mm_and_si128(odd, mask)));
            f = _mm_add_epi32(f, four);
        }
        uint64_t lanes[2];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), lowSum);
        low = lanes[0] + lanes[1];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), allSum);
        all = lanes[0] + lanes[1];
    }
#endif
    return FrameProductTail(p, n, number, i, low, all);
}

#if defined(PLATTERLY_AVX2_SUMS)
/// The same sums eight frames at a time, for processors that have AVX2.
__attribute__((target("avx2"))) std::pair<uint64_t, uint64_t>
FrameProductSumsAvx2(const uint8_t* p, size_t n, uint32_t number)
{
    uint64_t low = 0;
    uint64_t all = 0;
    size_t i = 0;
    if (n >= 8) {
        const __m256i mask = _mm256_set1_epi64x(0xffffffff);
        const __m256i eight = _mm256_set1_epi32(8);
        const auto k = static_cast<int>(number);
        __m256i f = _mm256_setr_epi32(k, k + 1, k + 2, k + 3, k + 4, k + 5, k + 6, k + 7);
        __m256i lowSum = _mm256_setzero_si256();
        __m256i allSum = _mm256_setzero_si256();
        for (; i + 8 <= n; i += 8) {
            const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i * 4));
            const __m256i even = _mm256_mul_epu32(s, f);
            const __m256i odd =
                _mm256_mul_epu32(_mm256_srli_epi64(s, 32), _mm256_srli_epi64(f, 32));
            allSum = _mm256_add_epi64(allSum, _mm256_add_epi64(even, odd));
            lowSum = _mm256_add_epi64(lowSum, _mm256_add_epi64(_mm256_and_si256(even, mask),
                                                               _mm256_and_si256(odd, mask)));
            f = _mm256_add_epi32(f, eight);
        }
        uint64_t lanes[4];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), lowSum);
        low = lanes[0] + lanes[1] + lanes[2] + lanes[3];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), allSum);
        all = lanes[0] + lanes[1] + lanes[2] + lanes[3];
    }
    return FrameProductTail(p, n, number, i, low, all);
}

#define PLATTERLY_FUSED __attribute__((target("avx2,pclmul,vpclmulqdq")))

/// Frame numbers of eight frames: of those in even places, of those in odd ones.
struct FrameNumbers {
    __m256i Even, Odd;
};

struct ProductSums {
    __m256i Low, All;
};

PLATTERLY_FUSED inline void AddProducts(__m256i samples, FrameNumbers& frames, ProductSums& sums)
{
    const __m256i mask = _mm256_set1_epi64x(0xffffffff);
    const __m256i even = _mm256_mul_epu32(samples, frames.Even);
    const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(samples, 32), frames.Odd);
    sums.All = _mm256_add_epi64(sums.All, _mm256_add_epi64(even, odd));
    sums.Low = _mm256_add_epi64(
        sums.Low, _mm256_add_epi64(_mm256_and_si256(even, mask), _mm256_and_si256(odd, mask)));
    const __m256i eight = _mm256_set1_epi64x(8);
    frames.Even = _mm256_add_epi64(frames.Even, eight);
    frames.Odd = _mm256_add_epi64(frames.Odd, eight);
}

/// 64 bytes copied, their frames summed; a and b get them for the CRC.
PLATTERLY_FUSED inline void CopyAndSum(uint8_t* dst, const uint8_t* src, __m256i& a, __m256i& b,
                                       FrameNumbers& frames, ProductSums& sums)
{
    a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 32), b);
    AddProducts(a, frames, sums);
    AddProducts(b, frames, sums);
}

/// Each 128-bit lane carried forward over the distance the constants are for, onto next.
PLATTERLY_FUSED inline __m256i Fold(__m256i lanes, __m256i constants, __m256i next)
{
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(lanes, constants, 0x00),
                                             _mm256_clmulepi64_epi128(lanes, constants, 0x11)),
                            next);
}

PLATTERLY_FUSED inline __m128i Fold(__m128i lane, __m128i constants, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x00),
                                       _mm_clmulepi64_si128(lane, constants, 0x11)),
                         next);
}

/// Copies n bytes (a multiple of 64, at least 64) and takes their CRC32 (from crc on, zlib's
/// convention) and the frame-product sums (frames numbered from number on) in the same pass:
/// the copy gathers the extraction's blocks anyway, and its loads serve the sums too, so
/// verifying a rip costs little more than the copy. The CRC folds four 128-bit lanes by 512
/// bits with carry-less multiplies, then the lanes into one, whose CRC is the data's.
PLATTERLY_FUSED uint32_t CopySumsVpclmul(uint8_t* dst, const uint8_t* src, size_t n, uint32_t crc,
                                         uint32_t number, uint64_t& low, uint64_t& all)
{
    // x^(d+32) and x^(d-32) modulo the CRC polynomial, bit-reflected, for distances d of 512
    // and 128 bits.
    const __m256i by512 = _mm256_setr_epi64x(0x154442bd4, 0x1c6e41596, 0x154442bd4, 0x1c6e41596);
    const __m128i by128 = _mm_set_epi64x(0xccaa009e, 0x1751997d0);
    const auto k = static_cast<int64_t>(number);
    FrameNumbers frames{_mm256_setr_epi64x(k, k + 2, k + 4, k + 6),
                        _mm256_setr_epi64x(k + 1, k + 3, k + 5, k + 7)};
    ProductSums sums{_mm256_setzero_si256(), _mm256_setzero_si256()};
    __m256i lanes01;
    __m256i lanes23;
    CopyAndSum(dst, src, lanes01, lanes23, frames, sums);
    // The register so far enters as the first four bytes' partner.
    lanes01 =
        _mm256_xor_si256(lanes01, _mm256_setr_epi32(static_cast<int>(~crc), 0, 0, 0, 0, 0, 0, 0));
    for (size_t at = 64; at < n; at += 64) {
        __m256i a;
        __m256i b;
        CopyAndSum(dst + at, src + at, a, b, frames, sums);
        lanes01 = Fold(lanes01, by512, a);
        lanes23 = Fold(lanes23, by512, b);
    }
    __m128i rest =
        Fold(_mm256_castsi256_si128(lanes01), by128, _mm256_extracti128_si256(lanes01, 1));
    rest = Fold(rest, by128, _mm256_castsi256_si128(lanes23));
    rest = Fold(rest, by128, _mm256_extracti128_si256(lanes23, 1));
    alignas(16) uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), rest);

    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums.Low);
    low += lanes[0] + lanes[1] + lanes[2] + lanes[3];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums.All);
    all += lanes[0] + lanes[1] + lanes[2] + lanes[3];
    // Sixteen bytes whose CRC from a register of zero is the data's: zlib's convention inverts
    // the register before and after.
    return static_cast<uint32_t>(libdeflate_crc32(0xffffffff, last, sizeof last));
}
#undef PLATTERLY_FUSED
#endif

std::pair<uint64_t, uint64_t> FrameProductSumsBest(const uint8_t* p, size_t n, uint32_t number)
{
#if defined(PLATTERLY_AVX2_SUMS)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return FrameProductSumsAvx2(p, n, number);
#endif
    return FrameProductSums(p, n, number);
}

/// Bytes summed in one go: the CRC and the AccurateRip sums read a piece while it is in the
/// first-level cache, so a block comes from memory once.
constexpr size_t kPieceBytes = 16 * 1024;

} // namespace

TTrackChecksums::TTrackChecksums(int64_t totalFrames, bool firstTrack, bool lastTrack)
    : checkFrom_(firstTrack ? 5 * kSectorFrames : 1),
      checkTo_(lastTrack ? totalFrames - 5 * kSectorFrames : totalFrames)
{
}

void TTrackChecksums::AddFrames(const uint8_t* frames, int64_t count)
{
    // Frames are numbered from 1; the sums take in those of [checkFrom_, checkTo_]. v1 adds the
    // low halves of frame x sample, v2 the low and high halves. Both come from two 64-bit sums:
    // the low halves exactly (fewer than 2^32 of them), all products modulo 2^64, whose
    // difference is the high halves' sum x 2^32.
    const int64_t first = std::max<int64_t>(frame_ + 1, checkFrom_);
    const int64_t last = std::min<int64_t>(frame_ + count, checkTo_);
    if (first <= last) {
        const auto [low, all] = FrameProductSumsBest(frames + (first - frame_ - 1) * 4,
                                                     static_cast<size_t>(last - first + 1),
                                                     static_cast<uint32_t>(first));
        v1_ += static_cast<uint32_t>(low);
        v2_ += static_cast<uint32_t>(low) + static_cast<uint32_t>((all - low) >> 32);
    }
    frame_ += count;
}

void TTrackChecksums::Add(const uint8_t* pcm, size_t bytes)
{
    for (size_t at = 0; at < bytes; at += kPieceBytes)
        AddPiece(pcm + at, std::min(kPieceBytes, bytes - at));
}

void TTrackChecksums::AddPiece(const uint8_t* pcm, size_t bytes)
{
    crc_ = libdeflate_crc32(crc_, pcm, bytes);
    size_t i = 0;
    while (partialBytes_ > 0 && partialBytes_ < 4 && i < bytes)
        partial_[partialBytes_++] = pcm[i++];
    if (partialBytes_ == 4) {
        AddFrames(partial_, 1);
        partialBytes_ = 0;
    }
    const size_t whole = (bytes - i) / 4;
    AddFrames(pcm + i, static_cast<int64_t>(whole));
    i += whole * 4;
    while (i < bytes)
        partial_[partialBytes_++] = pcm[i++];
}

void TTrackChecksums::AddCopy(uint8_t* dst, const uint8_t* src, size_t bytes)
{
    size_t done = 0;
#if defined(PLATTERLY_AVX2_SUMS)
    static const bool fused = __builtin_cpu_supports("avx2") &&
                              __builtin_cpu_supports("vpclmulqdq") &&
                              __builtin_cpu_supports("pclmul");
    // Whole frames, all inside the part the AccurateRip sums take in: the rest goes the plain
    // way.
    if (fused && partialBytes_ == 0 && frame_ + 1 >= checkFrom_ && frame_ < checkTo_) {
        const auto inside = static_cast<uint64_t>(checkTo_ - frame_) * 4;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, inside)) / 64 * 64;
        if (n > 0) {
            uint64_t low = 0;
            uint64_t all = 0;
            crc_ = CopySumsVpclmul(dst, src, n, crc_, static_cast<uint32_t>(frame_ + 1), low, all);
            v1_ += static_cast<uint32_t>(low);
            v2_ += static_cast<uint32_t>(low) + static_cast<uint32_t>((all - low) >> 32);
            frame_ += static_cast<int64_t>(n / 4);
            done = n;
        }
    }
#endif
    std::memcpy(dst + done, src + done, bytes - done);
    Add(src + done, bytes - done);
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
        // A CD holds at most 99 tracks: more is a damaged answer, whatever its size.
        if (block.Ids.AudioTracks > 99)
            return fail(QStringLiteral("the AccurateRip answer holds a block of %1 tracks")
                            .arg(block.Ids.AudioTracks));
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
