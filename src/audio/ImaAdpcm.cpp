#include "audio/ImaAdpcm.h"

#include <algorithm>

#include "audio/ByteOrder.h"

namespace ImaAdpcm {
namespace {

constexpr int16_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int8_t kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

inline int Delta(int step, unsigned code)
{
    int delta = step >> 3;
    if (code & 4)
        delta += step;
    if (code & 2)
        delta += step >> 1;
    if (code & 1)
        delta += step >> 2;
    return delta;
}

inline void Advance(TChannelState& s, unsigned code)
{
    const int delta = Delta(kStepTable[s.index], code);
    s.predictor += (code & 8) ? -delta : delta;
    s.predictor = std::clamp(s.predictor, -32767, 32767);
    s.index = std::clamp(s.index + kIndexTable[code], 0, 88);
}

inline TChannelState LoadHeader(const uint8_t* p)
{
    // An index beyond the table is a damaged header; clamp it rather than read past the table.
    return TChannelState{GetLE16s(p), std::min<int>(p[2], 88)};
}

inline void StoreHeader(uint8_t* p, int predictor, int index)
{
    PutLE16(p, static_cast<uint16_t>(static_cast<int16_t>(predictor)));
    p[2] = static_cast<uint8_t>(index);
    p[3] = 0;
}

inline unsigned EncodeSample(TChannelState& s, int sample)
{
    const int step = kStepTable[s.index];
    int diff = sample - s.predictor;
    unsigned code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    if (diff >= step) {
        code |= 4;
        diff -= step;
    }
    if (diff >= (step >> 1)) {
        code |= 2;
        diff -= step >> 1;
    }
    if (diff >= (step >> 2))
        code |= 1;
    Advance(s, code);
    return code;
}

} // namespace

int DecodeMono(const uint8_t* block, int bytes, int16_t* out)
{
    if (bytes < 4)
        return 0;
    TChannelState s = LoadHeader(block);
    int16_t* o = out;
    *o++ = static_cast<int16_t>(s.predictor);
    for (int i = 4; i < bytes; ++i) {
        const unsigned b = block[i];
        Advance(s, b & 0x0F);
        *o++ = static_cast<int16_t>(s.predictor);
        Advance(s, b >> 4);
        *o++ = static_cast<int16_t>(s.predictor);
    }
    return static_cast<int>(o - out);
}

int DecodeStereo(const uint8_t* block, int bytes, int16_t* out)
{
    if (bytes < 8)
        return 0;
    TChannelState left = LoadHeader(block);
    TChannelState right = LoadHeader(block + 4);
    out[0] = static_cast<int16_t>(left.predictor);
    out[1] = static_cast<int16_t>(right.predictor);
    int frames = 1;
    const int groups = (bytes - 8) / 8;
    for (int g = 0; g < groups; ++g) {
        const uint8_t* l = block + 8 + 8 * g;
        const uint8_t* r = l + 4;
        int16_t* o = out + 2 * frames;
        for (int k = 0; k < 4; ++k) {
            Advance(left, l[k] & 0x0F);
            o[4 * k] = static_cast<int16_t>(left.predictor);
            Advance(left, l[k] >> 4);
            o[4 * k + 2] = static_cast<int16_t>(left.predictor);
            Advance(right, r[k] & 0x0F);
            o[4 * k + 1] = static_cast<int16_t>(right.predictor);
            Advance(right, r[k] >> 4);
            o[4 * k + 3] = static_cast<int16_t>(right.predictor);
        }
        frames += 8;
    }
    return frames;
}

void EncodeMono(const int16_t* samples, int blockSize, TChannelState& state, uint8_t* block)
{
    state.predictor = samples[0];
    StoreHeader(block, state.predictor, state.index);
    const int16_t* in = samples + 1;
    for (int i = 4; i < blockSize; ++i) {
        const unsigned lo = EncodeSample(state, *in++);
        const unsigned hi = EncodeSample(state, *in++);
        block[i] = static_cast<uint8_t>(lo | (hi << 4));
    }
}

void EncodeStereo(const int16_t* frames, int blockSize, TChannelState& left, TChannelState& right,
                  uint8_t* block)
{
    left.predictor = frames[0];
    right.predictor = frames[1];
    StoreHeader(block, left.predictor, left.index);
    StoreHeader(block + 4, right.predictor, right.index);
    const int groups = (blockSize - 8) / 8;
    const int16_t* in = frames + 2;
    for (int g = 0; g < groups; ++g) {
        uint8_t* l = block + 8 + 8 * g;
        uint8_t* r = l + 4;
        for (int k = 0; k < 4; ++k) {
            const unsigned l0 = EncodeSample(left, in[0]);
            const unsigned r0 = EncodeSample(right, in[1]);
            const unsigned l1 = EncodeSample(left, in[2]);
            const unsigned r1 = EncodeSample(right, in[3]);
            l[k] = static_cast<uint8_t>(l0 | (l1 << 4));
            r[k] = static_cast<uint8_t>(r0 | (r1 << 4));
            in += 4;
        }
    }
}

} // namespace ImaAdpcm
