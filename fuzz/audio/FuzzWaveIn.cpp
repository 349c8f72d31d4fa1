// The WAV reader over arbitrary bytes, through every format path: header walk, PCM, IMA and
// Microsoft ADPCM decoding, MPEG-in-WAV conversion, a sample range with looping, and the rate
// converter reading it. Seeds: tests/fixtures/audio/*.wav.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/ACSException.h"
#include "audio/ACSMemoryStream.h"
#include "audio/RateConverter.h"
#include "audio/WaveIn.h"

namespace {

// Bounds the work per input: a header may legitimately announce a huge stream.
constexpr int64_t kMaxBytesOut = 64 << 10;

void Drain(TACSInput& in, int64_t request, int maxCalls)
{
    std::vector<uint8_t> buf(static_cast<size_t>(request));
    int64_t total = 0;
    for (int i = 0; i < maxCalls && total < kMaxBytesOut; ++i) {
        const int64_t n = in.GetData(buf.data(), request);
        if (n < 0 || n > request)
            __builtin_trap();
        if (n == 0)
            break;
        total += n;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TACSMemoryStream stream(std::vector<uint8_t>(data, data + size));
    TWaveIn in;
    in.SetStream(&stream);
    try {
        in.Valid();
        in.TotalTime();
        in.Init();
        Drain(in, 4096, 1 << 20);
        in.Flush();

        in.SetStartSample(1000);
        in.SetEndSample(3000);
        in.SetLoop(true);
        in.Init();
        Drain(in, 333, 200);
        in.Flush();

        in.SetStartSample(0);
        in.SetEndSample(-1);
        in.SetLoop(false);
        TRateConverter rc;
        rc.SetInput(&in);
        rc.SetOutSampleRate(44100);
        rc.Init();
        Drain(rc, 65536, 1 << 20);
        rc.Flush();
    } catch (const EACSException&) {
        // Refusals are fine; crashes, hangs and bad accesses are not.
    }
    return 0;
}
