#include "audio/MsAdpcm.h"

#include <algorithm>

#include "audio/ByteOrder.h"

namespace MsAdpcm {
namespace {

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};

// Keeps delta x 768 inside 32 bits; real streams stay far below it.
constexpr int kMaxDelta = 0x7FFFFFFF / 768;

struct Channel {
    int coef1;
    int coef2;
    int delta;
    int sample1;
    int sample2;

    inline int16_t Expand(unsigned code)
    {
        const int predicted = static_cast<int>(
            (static_cast<int64_t>(sample1) * coef1 + static_cast<int64_t>(sample2) * coef2) / 256);
        const int signedCode = code >= 8 ? static_cast<int>(code) - 16 : static_cast<int>(code);
        const int64_t value = std::clamp<int64_t>(
            predicted + static_cast<int64_t>(signedCode) * delta, -32768, 32767);
        delta = std::clamp(static_cast<int>(static_cast<int64_t>(delta) * kAdaptation[code] / 256),
                           16, kMaxDelta);
        sample2 = sample1;
        sample1 = static_cast<int>(value);
        return static_cast<int16_t>(value);
    }
};

} // namespace

int FramesPerBlock(int channels, int samplesPerBlock)
{
    if (samplesPerBlock < 2)
        return 0;
    return channels == 1 ? 2 + 2 * ((samplesPerBlock - 2) / 2) : samplesPerBlock;
}

int DecodeBlock(const uint8_t* block, int bytes, int channels, int samplesPerBlock,
                const TMsAdpcmCoef* coefs, int coefCount, int16_t* out)
{
    if (bytes < HeaderBytes(channels) || samplesPerBlock < 2)
        return 0;
    if (channels == 1) {
        const int predictor = block[0];
        if (predictor >= coefCount)
            return -1;
        Channel c{coefs[predictor].coef1, coefs[predictor].coef2, GetLE16s(block + 1),
                  GetLE16s(block + 3), GetLE16s(block + 5)};
        out[0] = static_cast<int16_t>(c.sample2);
        out[1] = static_cast<int16_t>(c.sample1);
        const int codeBytes = std::min((samplesPerBlock - 2) / 2, bytes - 7);
        int16_t* o = out + 2;
        for (int i = 0; i < codeBytes; ++i) {
            const unsigned b = block[7 + i];
            *o++ = c.Expand(b >> 4);
            *o++ = c.Expand(b & 0x0F);
        }
        return 2 + 2 * codeBytes;
    }
    const int pl = block[0];
    const int pr = block[1];
    if (pl >= coefCount || pr >= coefCount)
        return -1;
    Channel l{coefs[pl].coef1, coefs[pl].coef2, GetLE16s(block + 2), GetLE16s(block + 6),
              GetLE16s(block + 10)};
    Channel r{coefs[pr].coef1, coefs[pr].coef2, GetLE16s(block + 4), GetLE16s(block + 8),
              GetLE16s(block + 12)};
    out[0] = static_cast<int16_t>(l.sample2);
    out[1] = static_cast<int16_t>(r.sample2);
    out[2] = static_cast<int16_t>(l.sample1);
    out[3] = static_cast<int16_t>(r.sample1);
    const int codeBytes = std::min(samplesPerBlock - 2, bytes - 14);
    int16_t* o = out + 4;
    for (int i = 0; i < codeBytes; ++i) {
        const unsigned b = block[14 + i];
        *o++ = l.Expand(b >> 4);
        *o++ = r.Expand(b & 0x0F);
    }
    return 2 + codeBytes;
}

} // namespace MsAdpcm
