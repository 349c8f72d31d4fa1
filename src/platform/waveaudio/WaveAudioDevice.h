#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QString>

/// What the device reports as its mode. Every mode but NotOpen means a file is open.
enum class TWaveMode { NotOpen, NotReady, Stopped, Playing, Recording, Seeking, Paused, Open };

/// The wave-audio device the recorder drives: it keeps one WAV file open, records into it and
/// plays it back, and writes the sound into the file only when asked to save. Times are in
/// milliseconds. Requests come from the UI thread; a failed request returns false and leaves
/// its reason in ErrorText.
class IWaveAudioDevice {
public:
    virtual ~IWaveAudioDevice() = default;

    /// Opens the device on a WAV file (the device type follows from the file).
    virtual bool Open(const QString& path) = 0;
    /// Times are milliseconds (the only time format this device knows).
    virtual void SetTimeFormatMilliseconds() = 0;
    /// Closes the file; sound recorded since the last save is dropped.
    virtual bool Close() = 0;
    virtual TWaveMode Mode() = 0;
    /// Length of the sound.
    virtual int64_t Length() = 0;
    /// Where playing or recording would go on from.
    virtual int64_t Position() = 0;
    /// Plays to the end, from a position when one is given, else from where the device stands.
    virtual bool Play(std::optional<int64_t> fromMs = std::nullopt) = 0;
    /// Records until stopped, overwriting the sound from the position on.
    virtual bool Record(std::optional<int64_t> fromMs = std::nullopt) = 0;
    virtual bool Stop() = 0;
    /// Writes the sound into the open file (a recording in progress ends first).
    virtual bool Save() = 0;
    virtual bool SeekToStart() = 0;
    virtual bool SeekToEnd() = 0;
    /// Why the last request failed, or why the device ended a take by itself.
    virtual QString ErrorText() const = 0;
    /// True when the sound differs from what the open file holds.
    virtual bool HasUnsavedSound() = 0;

    /// Called on the UI thread when the sound card fails while recording or playing. The
    /// device has then ended the take or the playback; what was recorded stays (unsaved).
    std::function<void(const QString& reason)> OnFailure;
};
