#include "platform/waveaudio/WaveFormat.h"

#include <array>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void PutU16(QByteArray& b, uint16_t v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}

void PutU32(QByteArray& b, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        b.append(static_cast<char>((v >> shift) & 0xFF));
}

uint16_t GetU16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t GetU32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadExact(int fd, int64_t offset, void* buf, size_t size)
{
    auto* p = static_cast<char*>(buf);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        offset += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The PCM sub-format of WAVE_FORMAT_EXTENSIBLE: 00000001-0000-0010-8000-00aa00389b71.
constexpr std::array<unsigned char, 16> kPcmGuid = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

} // namespace

bool TWaveFormat::Supported() const
{
    return (BitsPerSample == 8 || BitsPerSample == 16) && (Channels == 1 || Channels == 2) &&
           SampleRate >= 1000 && SampleRate <= 384000;
}

int64_t TWaveFormat::BytesToMs(int64_t bytes) const
{
    const int64_t perSecond = BytesPerSecond();
    return perSecond > 0 ? bytes * 1000 / perSecond : 0;
}

int64_t TWaveFormat::MsToBytes(int64_t ms) const
{
    if (ms <= 0)
        return 0;
    const int64_t frames = ms * static_cast<int64_t>(SampleRate) / 1000;
    return frames * BlockAlign();
}

QByteArray BuildWaveHeader(const TWaveFormat& format, uint32_t dataSize)
{
    QByteArray h;
    h.reserve(kWaveHeaderSize);
    h.append("RIFF", 4);
    PutU32(h, dataSize + 36);
    h.append("WAVE", 4);
    h.append("fmt ", 4);
    PutU32(h, 16);
    PutU16(h, 1);
    PutU16(h, format.Channels);
    PutU32(h, format.SampleRate);
    PutU32(h, format.BytesPerSecond());
    PutU16(h, format.BlockAlign());
    PutU16(h, format.BitsPerSample);
    h.append("data", 4);
    PutU32(h, dataSize);
    return h;
}

bool ParseWaveFile(int fd, TWaveFileInfo& info, QString& error)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = QStringLiteral("It is not a regular file.");
        return false;
    }
    const int64_t fileSize = st.st_size;
    unsigned char head[12];
    if (fileSize < 12 || !ReadExact(fd, 0, head, sizeof head) ||
        std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        error = QStringLiteral("It is not a WAV file.");
        return false;
    }
    bool haveFormat = false;
    int64_t pos = 12;
    // A header with thousands of chunks before the sound is not a recording: stop looking.
    for (int chunks = 0; chunks < 1024 && pos + 8 <= fileSize; ++chunks) {
        unsigned char ch[8];
        if (!ReadExact(fd, pos, ch, sizeof ch))
            break;
        const int64_t size = GetU32(ch + 4);
        const int64_t body = pos + 8;
        if (std::memcmp(ch, "fmt ", 4) == 0) {
            unsigned char fmt[40] = {};
            if (size < 16 ||
                !ReadExact(fd, body, fmt, static_cast<size_t>(std::min<int64_t>(size, 40)))) {
                error = QStringLiteral("Its format description is damaged.");
                return false;
            }
            uint16_t tag = GetU16(fmt);
            if (tag == 0xFFFE && size >= 40 && std::memcmp(fmt + 24, kPcmGuid.data(), 16) == 0)
                tag = 1;
            info.Format.Channels = GetU16(fmt + 2);
            info.Format.SampleRate = GetU32(fmt + 4);
            info.Format.BitsPerSample = GetU16(fmt + 14);
            if (tag != 1 || GetU16(fmt + 12) != info.Format.BlockAlign() ||
                !info.Format.Supported()) {
                error = QStringLiteral("Its sound is not in a format the recorder can play "
                                       "(PCM, 8 or 16 bit, mono or stereo).");
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(ch, "data", 4) == 0) {
            if (!haveFormat)
                break;
            const int64_t avail = std::max<int64_t>(0, std::min(size, fileSize - body));
            info.DataOffset = body;
            info.DataSize = avail - avail % info.Format.BlockAlign();
            return true;
        }
        pos = body + size + (size & 1);
    }
    error = haveFormat ? QStringLiteral("It holds no sound data.")
                       : QStringLiteral("It is not a WAV file.");
    return false;
}
