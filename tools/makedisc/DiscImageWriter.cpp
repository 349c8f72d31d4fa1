#include "DiscImageWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace makedisc {
namespace {

constexpr int kSampleRate = 44100;
constexpr int kTableBits = 12;
constexpr int kChordSeconds = 2;
constexpr int kFadeSamples = 441; // 10 ms, so track edges do not click

struct SineTable {
    std::array<int16_t, 1 << kTableBits> values{};
    SineTable()
    {
        const double twoPi = 6.283185307179586;
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<int16_t>(
                std::lround(std::sin(twoPi * double(i) / double(values.size())) * 32767.0));
    }
};

const SineTable& Table()
{
    static const SineTable table;
    return table;
}

// Frequencies in millihertz of a few triads; each track walks its own path through them.
constexpr std::array<std::array<uint32_t, 3>, 6> kChords = {{
    {261626, 329628, 391995}, // C
    {220000, 261626, 329628}, // Am
    {174614, 220000, 261626}, // F
    {195998, 246942, 293665}, // G
    {293665, 369994, 440000}, // D
    {164814, 207652, 246942}, // E
}};

uint32_t PhaseStep(uint32_t milliHertz)
{
    // Phase increment per sample in 1/2^32 turns.
    return static_cast<uint32_t>((uint64_t(milliHertz) << 32) / (uint64_t(kSampleRate) * 1000));
}

int16_t ToneAt(uint32_t milliHertz, uint64_t sampleIndex)
{
    const uint32_t phase = static_cast<uint32_t>(sampleIndex * PhaseStep(milliHertz));
    return Table().values[phase >> (32 - kTableBits)];
}

uint32_t Hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

int16_t Clamp16(int32_t v)
{
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

bool WriteAll(std::FILE* f, const void* data, size_t size)
{
    return std::fwrite(data, 1, size, f) == size;
}

std::string Frame2(int v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

} // namespace

std::string SheetTime(int64_t sectors)
{
    const int64_t frames = sectors % kSectorsPerSecond;
    const int64_t seconds = (sectors / kSectorsPerSecond) % 60;
    const int64_t minutes = sectors / (kSectorsPerSecond * 60);
    return Frame2(int(minutes)) + ":" + Frame2(int(seconds)) + ":" + Frame2(int(frames));
}

bool ParseLength(const std::string& text, int64_t& sectors)
{
    if (text.empty() || text.size() > 12)
        return false;
    std::string digits = text;
    int64_t scale = 1;
    if (digits.back() == 's') {
        digits.pop_back();
        scale = kSectorsPerSecond;
    }
    if (digits.empty())
        return false;
    int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    sectors = value * scale;
    return sectors > 0;
}

void RenderTrackSector(int track, int64_t sector, uint32_t seed, uint8_t* out)
{
    const int64_t samplesPerSector = kSectorBytes / 4;
    const uint64_t first = uint64_t(sector) * samplesPerSector;
    for (int64_t i = 0; i < samplesPerSector; ++i) {
        const uint64_t n = first + uint64_t(i);
        const uint64_t step = n / (uint64_t(kSampleRate) * kChordSeconds);
        const auto& chord =
            kChords[(uint64_t(track) * 2 + seed + step * (uint64_t(track) % 3 + 1)) %
                    kChords.size()];
        // Left favours the root, right the fifth, so swapped channels are told apart.
        const int32_t a = ToneAt(chord[0], n), b = ToneAt(chord[1], n), c = ToneAt(chord[2], n);
        int32_t left = (a * 5 + b * 3 + c * 2) / 40;
        int32_t right = (a * 2 + b * 3 + c * 5) / 40;
        // Fade each chord in and out so neither the track start nor a chord change clicks.
        const uint64_t segment = uint64_t(kSampleRate) * kChordSeconds;
        const uint64_t inSegment = n % segment;
        const uint64_t edge = std::min(inSegment, segment - 1 - inSegment);
        if (edge < uint64_t(kFadeSamples)) {
            left = left * int32_t(edge) / kFadeSamples;
            right = right * int32_t(edge) / kFadeSamples;
        }
        const uint32_t h =
            Hash(uint32_t(n) ^ (uint32_t(track) << 24) ^ (seed * 0x9e3779b9U) ^ uint32_t(n >> 32));
        left += int32_t(h & 3) - 1;
        right += int32_t((h >> 2) & 3) - 1;
        const int16_t l = Clamp16(left), r = Clamp16(right);
        uint8_t* p = out + i * 4;
        p[0] = uint8_t(uint16_t(l) & 0xff);
        p[1] = uint8_t(uint16_t(l) >> 8);
        p[2] = uint8_t(uint16_t(r) & 0xff);
        p[3] = uint8_t(uint16_t(r) >> 8);
    }
}

bool WriteDiscImage(const std::string& dir, const std::string& name,
                    const std::vector<int64_t>& trackSectors, const DiscImageOptions& options,
                    std::string* error)
{
    auto fail = [error](const std::string& text) {
        if (error != nullptr)
            *error = text;
        return false;
    };
    if (trackSectors.empty() || trackSectors.size() > 99)
        return fail("a disc holds 1 to 99 tracks");
    if (name.empty() || name.find('/') != std::string::npos || name.find('"') != std::string::npos)
        return fail("the image name must be a plain file name without quotes");
    if (options.PregapSectors < 0)
        return fail("the pregap cannot be negative");
    // libcdio places a .toc track's lead-out after START as well, so pregaps need a cue sheet.
    if (options.TocSheet && options.PregapSectors > 0)
        return fail("pregaps are written to cue sheets only");
    for (int64_t len : trackSectors) {
        if (len < 1)
            return fail("every track needs at least one sector");
    }

    const std::string base = (dir.empty() ? std::string(".") : dir) + "/" + name;
    const std::string binName = name + ".bin";
    const std::string sheetPath = base + (options.TocSheet ? ".toc" : ".cue");

    using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
    FilePtr bin(std::fopen((base + ".bin").c_str(), "wb"), &std::fclose);
    if (!bin)
        return fail("cannot create " + base + ".bin: " + std::strerror(errno));

    std::string sheet;
    if (options.TocSheet)
        sheet = "CD_DA\n";
    else
        sheet = "FILE \"" + binName + "\" BINARY\n";

    constexpr int kChunkSectors = 256;
    std::vector<uint8_t> chunk(size_t(kChunkSectors) * kSectorBytes);
    int64_t position = 0; // sectors written so far
    for (size_t t = 0; t < trackSectors.size(); ++t) {
        const int track = int(t) + 1;
        const int64_t pregap = options.PregapSectors;
        if (options.TocSheet) {
            sheet += "\nTRACK AUDIO\n";
            sheet += "FILE \"" + binName + "\" " +
                     (position == 0 ? std::string("0") : SheetTime(position)) + " " +
                     SheetTime(trackSectors[t]) + "\n";
        } else {
            sheet += "  TRACK " + Frame2(track) + " AUDIO\n";
            if (pregap > 0)
                sheet += "    INDEX 00 " + SheetTime(position) + "\n";
            sheet += "    INDEX 01 " + SheetTime(position + pregap) + "\n";
        }
        // Pregap: silence.
        std::fill(chunk.begin(), chunk.end(), uint8_t(0));
        for (int64_t s = 0; s < pregap; s += kChunkSectors) {
            const int64_t n = std::min<int64_t>(kChunkSectors, pregap - s);
            if (!WriteAll(bin.get(), chunk.data(), size_t(n) * kSectorBytes))
                return fail("cannot write " + base + ".bin");
        }
        for (int64_t s = 0; s < trackSectors[t]; s += kChunkSectors) {
            const int64_t n = std::min<int64_t>(kChunkSectors, trackSectors[t] - s);
            for (int64_t k = 0; k < n; ++k)
                RenderTrackSector(track, s + k, options.Seed, chunk.data() + k * kSectorBytes);
            if (!WriteAll(bin.get(), chunk.data(), size_t(n) * kSectorBytes))
                return fail("cannot write " + base + ".bin");
        }
        position += pregap + trackSectors[t];
    }
    if (std::fclose(bin.release()) != 0)
        return fail("cannot write " + base + ".bin");

    FilePtr out(std::fopen(sheetPath.c_str(), "wb"), &std::fclose);
    if (!out || !WriteAll(out.get(), sheet.data(), sheet.size()) || std::fclose(out.release()) != 0)
        return fail("cannot write " + sheetPath);
    return true;
}

} // namespace makedisc
