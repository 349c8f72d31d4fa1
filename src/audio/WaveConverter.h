#pragma once

#include <array>
#include <cstdint>

#include "audio/ACSMemoryStream.h"

/// Turns the audio of a WAV file in a compressed format (MPEG audio, format tag 85) into PCM,
/// entirely in memory. The converter is itself a memory stream holding the audio: first the
/// data chunk's compressed bytes, after ConvertFormat the PCM bytes actually decoded.
///
/// Use: ReadWaveFile on the rewound file, set TargetFormat's tag to 1, SuggestFormat,
/// ConvertFormat, then WriteWaveImage into a new memory stream.
class TWaveConverter : public TACSMemoryStream {
public:
    static constexpr int kFormatAreaSize = 129;
    /// Result codes of SuggestFormat and ConvertFormat besides 0.
    static constexpr int kErrorNotPossible = 512;
    static constexpr int kErrorNoMemory = 7;
    static constexpr int kErrorWrite = 286;

    TWaveConverter();

    /// The largest format description the decoder produces or accepts.
    int MaxFormatSize() const { return maxFormatSize_; }
    /// Format description areas: tag, channels, rate, bytes per second, block align, bits,
    /// extra size (all little-endian), then the format's extra bytes.
    std::array<uint8_t, kFormatAreaSize> SourceFormat{};
    std::array<uint8_t, kFormatAreaSize> TargetFormat{};

    /// Loads a RIFF WAVE file from the start of the stream: the "fmt " body into SourceFormat
    /// (rejected when longer than the area) and the "data" body as the converter's content.
    /// A stream that is not RIFF WAVE leaves the converter empty and SourceFormat clear.
    void ReadWaveFile(TACSStream& stream);
    /// Completes TargetFormat with the PCM format the source decodes to (its rate and channels,
    /// 16-bit). Returns 0, or kErrorNotPossible when the source is not MPEG audio in a form the
    /// decoder takes or the target tag is not PCM.
    int SuggestFormat();
    /// Decodes the whole content to PCM with libmpg123; on success SourceFormat becomes the PCM
    /// format decoded and the content the PCM bytes. Returns 0 or an error code, with nothing
    /// changed on error.
    int ConvertFormat();
    /// Writes a 44-byte PCM WAV header (format from SourceFormat) and the content into target.
    /// Returns 0, or kErrorWrite when writing raised an exception.
    int WriteWaveImage(TACSStream& target);

private:
    int maxFormatSize_;
};
