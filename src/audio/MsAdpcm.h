#pragma once

#include <cstdint>

#include "audio/WaveHeaderWalk.h"

/// Microsoft ADPCM (WAV format tag 2) block decoding.
namespace MsAdpcm {

/// Header bytes of a block: 7 per channel.
inline int HeaderBytes(int channels)
{
    return 7 * channels;
}

/// Frames a block of samplesPerBlock decodes to: mono 2 + 2 x ((spb - 2) div 2), stereo spb.
int FramesPerBlock(int channels, int samplesPerBlock);

/// Decodes the first `bytes` bytes of a block (a short last block gives fewer frames) for
/// 1 or 2 channels into interleaved samples. Returns the frames written; 0 when the header is
/// not all there; -1 when a predictor index is not below coefCount.
int DecodeBlock(const uint8_t* block, int bytes, int channels, int samplesPerBlock,
                const TMsAdpcmCoef* coefs, int coefCount, int16_t* out);

} // namespace MsAdpcm
