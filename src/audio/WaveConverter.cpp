#include "audio/WaveConverter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <mpg123.h>

#include "audio/ByteOrder.h"

namespace {

constexpr uint16_t kTagMpeg = 80;
constexpr uint16_t kTagMpegLayer3 = 85;
// The PCM image must fit a 32-bit RIFF size.
constexpr size_t kMaxPcmBytes = 0xFFFFFFFFu - 44;

struct HandleCloser {
    void operator()(mpg123_handle* h) const
    {
        mpg123_close(h);
        mpg123_delete(h);
    }
};

void InitDecoderOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

bool IsTag(const uint8_t* p, const char* tag)
{
    return std::memcmp(p, tag, 4) == 0;
}

} // namespace

TWaveConverter::TWaveConverter()
    // WAVEFORMATEX plus the longest MPEG format extension (MPEG1WAVEFORMAT's 22 bytes).
    : maxFormatSize_(18 + 22)
{
}

void TWaveConverter::ReadWaveFile(TACSStream& stream)
{
    Clear();
    SourceFormat.fill(0);
    stream.Seek(0);
    uint8_t head[12];
    if (!stream.ReadExact(head, 12) || !IsTag(head, "RIFF") || !IsTag(head + 8, "WAVE"))
        return;
    const int64_t length = stream.Size();
    int64_t scan = 12;
    while (scan < length - 1) {
        // Each window starts one byte after the last, so tags are found wherever they start;
        // a consumed body moves the window to 7 bytes before its end.
        stream.Seek(scan - 7);
        uint8_t chunk[8];
        if (!stream.ReadExact(chunk, 8))
            break;
        scan = stream.Position();
        const uint32_t size = GetLE32(chunk + 4);
        if (IsTag(chunk, "fmt ")) {
            if (size > SourceFormat.size()) {
                // A description longer than the area is refused, not copied.
                SourceFormat.fill(0);
                Clear();
                return;
            }
            SourceFormat.fill(0);
            const int64_t got = stream.Read(SourceFormat.data(), size);
            scan = stream.Position();
            if (got < static_cast<int64_t>(size))
                break;
        } else if (IsTag(chunk, "fact")) {
            stream.Seek(stream.Position() + size);
            scan = std::min(stream.Position(), length);
        } else if (IsTag(chunk, "data") && size > 0) {
            const int64_t available = std::max<int64_t>(length - stream.Position(), 0);
            std::vector<uint8_t> body(static_cast<size_t>(std::min<int64_t>(size, available)));
            const int64_t got = stream.Read(body.data(), static_cast<int64_t>(body.size()));
            body.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
            Assign(std::move(body));
            scan = stream.Position();
        }
    }
    Seek(0);
}

int TWaveConverter::SuggestFormat()
{
    const uint16_t tag = GetLE16(SourceFormat.data());
    const uint16_t channels = GetLE16(SourceFormat.data() + 2);
    const uint32_t rate = GetLE32(SourceFormat.data() + 4);
    if ((tag != kTagMpegLayer3 && tag != kTagMpeg) || channels < 1 || channels > 2 || rate == 0 ||
        rate > 48000 || GetLE16(TargetFormat.data()) != 1)
        return kErrorNotPossible;
    TargetFormat.fill(0);
    PutLE16(TargetFormat.data(), 1);
    PutLE16(TargetFormat.data() + 2, channels);
    PutLE32(TargetFormat.data() + 4, rate);
    PutLE32(TargetFormat.data() + 8, rate * channels * 2);
    PutLE16(TargetFormat.data() + 12, static_cast<uint16_t>(channels * 2));
    PutLE16(TargetFormat.data() + 14, 16);
    return 0;
}

int TWaveConverter::ConvertFormat()
{
    const uint16_t tag = GetLE16(SourceFormat.data());
    const int channels = GetLE16(TargetFormat.data() + 2);
    if ((tag != kTagMpegLayer3 && tag != kTagMpeg) || GetLE16(TargetFormat.data()) != 1 ||
        channels < 1 || channels > 2)
        return kErrorNotPossible;

    InitDecoderOnce();
    int err = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleCloser> mh(mpg123_new(nullptr, &err));
    if (!mh)
        return kErrorNoMemory;
    mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Any rate the stream has, always 16-bit with the channel count suggested.
    mpg123_format_none(mh.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh.get(), rates[i], channels == 1 ? MPG123_MONO : MPG123_STEREO,
                      MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(mh.get()) != MPG123_OK)
        return kErrorNotPossible;

    std::vector<uint8_t> pcm;
    std::vector<uint8_t> chunk(64 * 1024);
    const std::vector<uint8_t>& in = Data();
    size_t fed = 0;
    long rate = 0;
    int idleReads = 0;
    for (;;) {
        size_t got = 0;
        const int r = mpg123_read(mh.get(), chunk.data(), chunk.size(), &got);
        if (got > 0) {
            if (pcm.size() + got > kMaxPcmBytes)
                break;
            pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
            idleReads = 0;
        }
        if (r == MPG123_NEED_MORE) {
            if (fed >= in.size())
                break;
            const size_t n = std::min<size_t>(64 * 1024, in.size() - fed);
            if (mpg123_feed(mh.get(), in.data() + fed, n) != MPG123_OK)
                break;
            fed += n;
            continue;
        }
        if (r == MPG123_NEW_FORMAT) {
            long newRate = 0;
            int newChannels = 0, encoding = 0;
            mpg123_getformat(mh.get(), &newRate, &newChannels, &encoding);
            if (rate != 0 && newRate != rate)
                break; // a stream that changes rate midway ends there
            rate = newRate;
            continue;
        }
        if (r != MPG123_OK || (got == 0 && ++idleReads > 16))
            break;
    }
    if (pcm.empty() || rate <= 0)
        return kErrorNotPossible;
    pcm.resize(pcm.size() - pcm.size() % static_cast<size_t>(2 * channels));

    PutLE32(TargetFormat.data() + 4, static_cast<uint32_t>(rate));
    PutLE32(TargetFormat.data() + 8, static_cast<uint32_t>(rate * channels * 2));
    std::copy_n(TargetFormat.begin(), std::min(maxFormatSize_, kFormatAreaSize),
                SourceFormat.begin());
    Assign(std::move(pcm));
    return 0;
}

int TWaveConverter::WriteWaveImage(TACSStream& target)
{
    const int64_t saved = Position();
    try {
        uint8_t header[44];
        PutTag(header, "RIFF");
        PutLE32(header + 4, 0);
        PutTag(header + 8, "WAVE");
        PutTag(header + 12, "fmt ");
        PutLE32(header + 16, 16);
        std::memcpy(header + 20, SourceFormat.data(), 16);
        PutTag(header + 36, "data");
        PutLE32(header + 40, RiffSize(Size()));
        target.Write(header, sizeof header);
        target.Write(data_.data(), Size());
        const int64_t length = target.Size();
        target.Seek(0);
        uint8_t riff[8];
        PutTag(riff, "RIFF");
        PutLE32(riff + 4, RiffSize(length - 8));
        target.Write(riff, sizeof riff);
    } catch (...) {
        Seek(saved);
        return kErrorWrite;
    }
    Seek(saved);
    return 0;
}
