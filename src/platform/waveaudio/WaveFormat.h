#pragma once

#include <cstdint>

#include <QByteArray>
#include <QString>

/// A PCM format the wave-audio device can record and play: 8-bit unsigned or 16-bit signed
/// little-endian samples, one or two channels.
struct TWaveFormat {
    uint32_t SampleRate = 44100;
    uint16_t BitsPerSample = 16;
    uint16_t Channels = 2;

    uint16_t BlockAlign() const { return static_cast<uint16_t>(Channels * (BitsPerSample / 8)); }
    uint32_t BytesPerSecond() const { return SampleRate * BlockAlign(); }
    /// True for the formats the device handles (see Describe for the others).
    bool Supported() const;

    /// Whole milliseconds of sound in bytes of data, truncated.
    int64_t BytesToMs(int64_t bytes) const;
    /// The byte offset of a time, rounded down to a whole frame.
    int64_t MsToBytes(int64_t ms) const;

    bool operator==(const TWaveFormat&) const = default;
};

/// Size of the canonical header every file the device writes starts with.
inline constexpr int kWaveHeaderSize = 44;

/// The 44-byte RIFF/WAVE header of a PCM file with dataSize bytes of sound.
QByteArray BuildWaveHeader(const TWaveFormat& format, uint32_t dataSize);

/// Where the sound of a WAV file lies.
struct TWaveFileInfo {
    TWaveFormat Format;
    int64_t DataOffset = 0;
    /// Bytes of sound, clipped to what the file holds and to whole frames.
    int64_t DataSize = 0;
};

/// Reads the header of an open WAV file: "RIFF" and "WAVE", then the chunks up to "data"
/// (unknown chunks skipped, odd sizes padded). Accepts PCM (also in an extensible header) in
/// a format the device supports. Returns false with a reason in error otherwise.
bool ParseWaveFile(int fd, TWaveFileInfo& info, QString& error);
