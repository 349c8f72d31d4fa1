#include "cd/RipSupport.h"

#include <cerrno>
#include <unistd.h>

#include "core/AppEvents.h"
#include "core/FileUtil.h"
#include "core/TextUtil.h"

namespace {

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v & 0xff);
    p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

std::array<uint8_t, kWavHeaderBytes> MakeRipWavHeader(uint32_t audioBytes)
{
    std::array<uint8_t, kWavHeaderBytes> h{};
    uint8_t* p = h.data();
    std::copy_n("RIFF", 4, p);
    Put32(p + 4, audioBytes + 36);
    std::copy_n("WAVE", 4, p + 8);
    std::copy_n("fmt ", 4, p + 12);
    Put32(p + 16, 16);
    Put16(p + 20, 1);
    Put16(p + 22, 2);
    Put32(p + 24, 44100);
    Put32(p + 28, 176400);
    Put16(p + 32, 4);
    Put16(p + 34, 16);
    std::copy_n("data", 4, p + 36);
    Put32(p + 40, audioBytes);
    return h;
}

std::unique_ptr<QEvent> MakeProgressRecord(int64_t done, int64_t total,
                                           std::chrono::steady_clock::time_point start)
{
    const int32_t percent = total > 0 ? int32_t(done * 100 / total) : 100;
    if (percent <= 0)
        return MakeJobProgress(percent);
    const int64_t elapsed = ElapsedSeconds(start);
    const int64_t estimated = RoundHalfEven(double(elapsed) * 100.0 / double(percent));
    return MakeJobProgress(percent, Mmss(elapsed), Mmss(estimated));
}
