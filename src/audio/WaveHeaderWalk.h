#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "audio/ACSTypes.h"

class TACSStream;

/// One Microsoft ADPCM predictor coefficient pair.
struct TMsAdpcmCoef {
    int16_t coef1 = 0;
    int16_t coef2 = 0;
};

/// What the header walk read from a RIFF WAVE stream.
struct TWaveHeaderInfo {
    TWavType type = wtUnsupported;
    bool found = false;    ///< the walk reached the data chunk
    bool fmtFound = false; ///< the walk read a "fmt " chunk
    uint16_t formatTag = 0;
    uint16_t subFormat = 0; ///< the extensible header's sub-format tag, 0 when none was read
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t samplesPerBlock = 0; ///< ADPCM and MPEG only
    uint16_t fmtSize = 0;         ///< bytes of the fmt body read
    uint16_t coefCount = 0;       ///< Microsoft ADPCM, as declared
    std::array<TMsAdpcmCoef, 32> coefs{};
    bool coefsFit = true; ///< at most 32 pairs declared, all inside the fmt body
    uint32_t factValue = 0;
    int64_t factValueOffset = -1;
    uint32_t dataSize = 0;
    int64_t dataSizeOffset = -1;
    int64_t firstAudioByte = -1;
};

/// Which format tags the walk accepts: the reader's four, or the append parse's PCM and IMA.
enum class TWaveWalkMode { Reader, Append };

/// Walks a RIFF WAVE header from the stream's current position: a sliding search for "RIFF" and
/// "WAVE", then the "fmt " chunk, for compressed formats a "fact" chunk, then "data". Tags match
/// regardless of letter case (bytes equal or 32 apart); unknown chunks are skipped, and a chunk
/// of odd size is followed by its pad byte, as RIFF requires. Stops
/// without success at the end of the stream, at a chunk that reaches past it, at an
/// unsupported format tag (type wtUnsupported, fields read so far kept), or after 8192 header
/// bytes have been read. Skipped chunk bodies do not count toward that limit.
TWaveHeaderInfo WalkWaveHeader(TACSStream& stream, TWaveWalkMode mode);

/// The WAV type of a format tag: 1 PCM, 3 float, 17 IMA ADPCM, 2 Microsoft ADPCM, 85 MPEG, else
/// none. The extensible tag is resolved by the walk, through its sub-format.
TWavType WavTypeOfTag(uint16_t tag);

/// The format a walk read, for a refusal: "format tag 3, 64 bits, 2 channels" (an extensible
/// header adds its sub-format), or what was missing when no format was read.
std::string DescribeWaveFormat(const TWaveHeaderInfo& info);
