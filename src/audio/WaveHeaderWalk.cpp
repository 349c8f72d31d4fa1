#include "audio/WaveHeaderWalk.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/ACSStream.h"
#include "audio/ByteOrder.h"

namespace {

constexpr int64_t kHeaderLimit = 8192;
constexpr uint16_t kExtensibleTag = 0xFFFE;
// The sub-format GUID after its leading 16-bit tag (xxxx0000-0000-0010-8000-00aa00389b71).
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool TagEquals(const uint8_t* bytes, const char* tag)
{
    for (int i = 0; i < 4; ++i) {
        const int a = bytes[i];
        const int b = static_cast<uint8_t>(tag[i]);
        if (a != b && a - b != 32 && b - a != 32)
            return false;
    }
    return true;
}

class Walker {
public:
    explicit Walker(TACSStream& s) : s_(s), end_(s.Size()) {}

    bool Read(void* p, int64_t n)
    {
        if (consumed_ + n > kHeaderLimit)
            return false;
        const int64_t got = s_.Read(p, n);
        consumed_ += std::max<int64_t>(got, 0);
        return got == n;
    }
    bool Read32(uint32_t& v)
    {
        uint8_t b[4];
        if (!Read(b, 4))
            return false;
        v = GetLE32(b);
        return true;
    }
    bool Skip(int64_t n)
    {
        const int64_t target = s_.Position() + n;
        if (target > end_)
            return false;
        s_.Seek(target);
        return true;
    }
    /// Sliding search: shifts one byte at a time until the last four read match tag.
    bool Find(uint8_t (&window)[4], const char* tag)
    {
        while (!TagEquals(window, tag)) {
            std::memmove(window, window + 1, 3);
            if (!Read(&window[3], 1))
                return false;
        }
        return true;
    }
    /// Skips whole chunks until one whose id matches tag; id holds the current id on entry.
    bool SkipUntil(uint8_t (&id)[4], const char* tag)
    {
        while (!TagEquals(id, tag)) {
            uint32_t size;
            if (!Read32(size) || !Skip(Padded(size)) || !Read(id, 4))
                return false;
        }
        return true;
    }
    /// A chunk of odd size is followed by a pad byte.
    static int64_t Padded(uint32_t size) { return static_cast<int64_t>(size) + (size & 1); }
    int64_t Position() const { return s_.Position(); }
    int64_t Remaining() const { return kHeaderLimit - consumed_; }

private:
    TACSStream& s_;
    int64_t end_;
    int64_t consumed_ = 0;
};

void ParseFmt(const std::vector<uint8_t>& body, TWaveHeaderInfo& info)
{
    // Fields beyond the body read as 0; the reader rejects formats that lack what they need.
    uint8_t fixed[22] = {};
    if (!body.empty())
        std::memcpy(fixed, body.data(), std::min<size_t>(body.size(), sizeof fixed));
    info.fmtSize = static_cast<uint16_t>(std::min<size_t>(body.size(), 0xFFFF));
    info.formatTag = GetLE16(fixed);
    info.channels = GetLE16(fixed + 2);
    info.sampleRate = GetLE32(fixed + 4);
    info.blockAlign = GetLE16(fixed + 12);
    info.bitsPerSample = GetLE16(fixed + 14);
    info.fmtFound = true;
    info.type = WavTypeOfTag(info.formatTag);
    if (info.formatTag == kExtensibleTag) {
        // Only PCM and float come wrapped this way; any other sub-format stays unsupported.
        if (body.size() >= 40 && std::memcmp(body.data() + 26, kSubFormatTail, 14) == 0)
            info.subFormat = GetLE16(body.data() + 24);
        const TWavType sub = WavTypeOfTag(info.subFormat);
        info.type = sub == wtPCM || sub == wtFloat ? sub : wtUnsupported;
    }
    if (info.type == wtDVIADPCM || info.type == wtMSADPCM || info.type == wtACM)
        info.samplesPerBlock = GetLE16(fixed + 18);
    if (info.type == wtMSADPCM) {
        info.coefCount = GetLE16(fixed + 20);
        info.coefsFit = body.size() >= 22 && info.coefCount <= info.coefs.size() &&
                        22 + 4 * static_cast<size_t>(info.coefCount) <= body.size();
        if (info.coefsFit) {
            for (size_t i = 0; i < info.coefCount; ++i) {
                info.coefs[i].coef1 = GetLE16s(body.data() + 22 + 4 * i);
                info.coefs[i].coef2 = GetLE16s(body.data() + 24 + 4 * i);
            }
        }
    }
}

} // namespace

TWavType WavTypeOfTag(uint16_t tag)
{
    switch (tag) {
    case 1:
        return wtPCM;
    case 17:
        return wtDVIADPCM;
    case 2:
        return wtMSADPCM;
    case 85:
        return wtACM;
    case 3:
        return wtFloat;
    default:
        return wtUnsupported;
    }
}

TWaveHeaderInfo WalkWaveHeader(TACSStream& stream, TWaveWalkMode mode)
{
    TWaveHeaderInfo info;
    Walker w(stream);
    uint8_t window[4];
    uint32_t size;

    if (!w.Read(window, 4) || !w.Find(window, "RIFF") || !w.Read32(size))
        return info;
    if (!w.Read(window, 4) || !w.Find(window, "WAVE"))
        return info;

    uint8_t id[4];
    if (!w.Read(id, 4) || !w.SkipUntil(id, "fmt ") || !w.Read32(size))
        return info;
    if (size > w.Remaining())
        return info;
    std::vector<uint8_t> body(size);
    if (size > 0 && !w.Read(body.data(), size))
        return info;
    if ((size & 1) && !w.Skip(1))
        return info;
    ParseFmt(body, info);
    // The writer continues only the plain headers it writes itself.
    if (mode == TWaveWalkMode::Append && info.formatTag != 1 && info.formatTag != 17)
        info.type = wtUnsupported;
    if (info.type == wtUnsupported)
        return info;
    if (!w.Read(id, 4))
        return info;

    // Float files need no fact chunk, as PCM does not: their frame count follows from the data.
    if (info.type != wtPCM && info.type != wtFloat) {
        if (!w.SkipUntil(id, "fact") || !w.Read32(size) || size < 4)
            return info;
        info.factValueOffset = w.Position();
        if (!w.Read32(info.factValue) || !w.Skip(Walker::Padded(size) - 4) || !w.Read(id, 4))
            return info;
    }

    if (!w.SkipUntil(id, "data"))
        return info;
    info.dataSizeOffset = w.Position();
    if (!w.Read32(info.dataSize))
        return info;
    info.firstAudioByte = w.Position();
    info.found = true;
    return info;
}

std::string DescribeWaveFormat(const TWaveHeaderInfo& info)
{
    if (!info.fmtFound)
        return "no RIFF WAVE format chunk";
    std::string text = "format tag " + std::to_string(info.formatTag);
    if (info.formatTag == kExtensibleTag)
        text += info.subFormat != 0 ? " (sub-format " + std::to_string(info.subFormat) + ")"
                                    : " (unknown sub-format)";
    text += ", " + std::to_string(info.bitsPerSample) + " bits, " + std::to_string(info.channels) +
            (info.channels == 1 ? " channel" : " channels");
    if (info.type != wtUnsupported && !info.found)
        text += info.type == wtPCM || info.type == wtFloat ? ", no data chunk"
                                                           : ", no fact or data chunk";
    return text;
}
