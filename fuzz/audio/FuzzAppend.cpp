// Appending to an existing WAV file of arbitrary bytes: the append parse, its refusals, and
// the size patching afterwards, for a PCM and an IMA ADPCM input. Seeds: the fixture WAVs.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/ACSException.h"
#include "audio/ACSMemoryStream.h"
#include "audio/WaveOut.h"

namespace {

/// A small 16-bit source with a chosen format.
class TFixedSource : public TACSInput {
public:
    TFixedSource(int rate, int channels, int64_t bytes)
        : rate_(rate), channels_(channels), bytes_(bytes)
    {
    }
    ~TFixedSource() override { NotifyRemoval(); }
    int BitsPerSample() override { return 16; }
    int Channels() override { return channels_; }
    int SampleRate() override { return rate_; }
    void Init() override
    {
        SetPosition(0);
        SetSize(bytes_);
        SetBusy(true);
    }
    void Flush() override { SetBusy(false); }
    int64_t GetData(void* buffer, int64_t size) override
    {
        const int64_t n = std::min(size, bytes_ - Position());
        std::memset(buffer, 0x35, static_cast<size_t>(n));
        SetPosition(Position() + n);
        return n;
    }

private:
    int rate_, channels_;
    int64_t bytes_;
};

void AppendTo(const uint8_t* data, size_t size, TWavType type, int rate, int channels)
{
    TACSMemoryStream file(std::vector<uint8_t>(data, data + size));
    TFixedSource src(rate, channels, 5000);
    TWaveOut out;
    out.SetStream(&file);
    out.SetFileMode(foAppend);
    out.SetWavType(type);
    out.SetInput(&src);
    try {
        out.RunInCallerThread();
    } catch (const EACSException&) {
        // A refusal must leave the file untouched.
        if (file.Data().size() != size ||
            (size && std::memcmp(file.Data().data(), data, size) != 0))
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    AppendTo(data, size, wtPCM, 22050, 2);
    AppendTo(data, size, wtPCM, 44100, 2);
    AppendTo(data, size, wtDVIADPCM, 22050, 1);
    AppendTo(data, size, wtDVIADPCM, 22050, 2);
    return 0;
}
