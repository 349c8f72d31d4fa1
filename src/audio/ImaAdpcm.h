#pragma once

#include <cstdint>

/// IMA ADPCM (the DVI flavour of WAV format tag 17): block decoding and encoding.
/// Predictors clamp to -32767..32767 (not -32768), as the files this program writes expect.
namespace ImaAdpcm {

struct TChannelState {
    int predictor = 0;
    int index = 0; ///< 0..88
};

/// Samples a mono block of blockAlign bytes decodes to: 2 x (blockAlign - 4) + 1.
inline int MonoSamplesPerBlock(int blockAlign)
{
    return 2 * (blockAlign - 4) + 1;
}
/// Frames a stereo block decodes to: blockAlign - 8 + 1.
inline int StereoFramesPerBlock(int blockAlign)
{
    return blockAlign - 8 + 1;
}

/// Decodes the first `bytes` bytes of a mono block (a short last block gives fewer samples);
/// returns the samples written to out, 0 when not even the header is there.
int DecodeMono(const uint8_t* block, int bytes, int16_t* out);
/// Decodes a stereo block into interleaved frames; only whole 8-byte code groups are used.
/// Returns the frames written, 0 when the two headers are not there.
int DecodeStereo(const uint8_t* block, int bytes, int16_t* out);

/// Encodes 2 x (blockSize - 4) + 1 mono samples into one block of blockSize bytes. The first
/// sample becomes the predictor; the step index carries over in state.
void EncodeMono(const int16_t* samples, int blockSize, TChannelState& state, uint8_t* block);
/// Encodes blockSize - 7 interleaved stereo frames into one block (blockSize a multiple of 8).
void EncodeStereo(const int16_t* frames, int blockSize, TChannelState& left, TChannelState& right,
                  uint8_t* block);

} // namespace ImaAdpcm
