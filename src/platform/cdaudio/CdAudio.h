#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QEvent>
#include <QString>

class QObject;

// The CD audio device: the requests the main window's player makes (open, time format, track
// positions, play with notification, pause, resume, stop, close) and the drive door. All of it
// is for the UI thread; notifications arrive there as events.

/// Result of an ended play, as the notification reports it.
enum class TMPNotifyValues : uint8_t { nvSuccessful, nvSuperseded, nvAborted, nvFailure };

enum class TCdAudioMode : uint8_t { NotOpen, Stopped, Playing, Paused };

/// Time formats a device may be set to; only tracks/minutes/seconds/frames is supported.
inline constexpr int kTimeFormatTmsf = 10;

/// Failure codes of the requests (0 is success).
namespace CdAudioError {
inline constexpr int None = 0;
inline constexpr int NotOpen = 1;        ///< the request needs an open device
inline constexpr int NoDrive = 2;        ///< no drive behind the handle, or it cannot be opened
inline constexpr int NotReady = 3;       ///< the disc has no readable table of contents
inline constexpr int OutOfRange = 4;     ///< a position or track the disc does not have
inline constexpr int Unsupported = 5;    ///< a time format or door request the device lacks
inline constexpr int NonApplicable = 6;  ///< the request does not fit the device's mode
inline constexpr int NoOutputDevice = 7; ///< no sound output to play on
inline constexpr int DataTrack = 8;      ///< the position lies in a data track
} // namespace CdAudioError

/// Text of a failure code, for the player's errors.
QString CdAudioErrorText(int code);

/// A position in tracks/minutes/seconds/frames, packed as the media-control interface packs it:
/// track in the low byte, then minutes, seconds, frames.
constexpr uint32_t MakeTmsf(int track, int minutes, int seconds, int frames)
{
    return static_cast<uint32_t>(track & 0xFF) | (static_cast<uint32_t>(minutes & 0xFF) << 8) |
           (static_cast<uint32_t>(seconds & 0xFF) << 16) |
           (static_cast<uint32_t>(frames & 0xFF) << 24);
}
constexpr int TmsfTrack(uint32_t p)
{
    return static_cast<int>(p & 0xFF);
}
constexpr int TmsfMinutes(uint32_t p)
{
    return static_cast<int>((p >> 8) & 0xFF);
}
constexpr int TmsfSeconds(uint32_t p)
{
    return static_cast<int>((p >> 16) & 0xFF);
}
constexpr int TmsfFrames(uint32_t p)
{
    return static_cast<int>((p >> 24) & 0xFF);
}

/// The notification a play or resume asked for, delivered to the receiver it named on the UI
/// thread.
class CdAudioNotifyEvent : public QEvent {
public:
    explicit CdAudioNotifyEvent(TMPNotifyValues result) : QEvent(EventType()), Result(result) {}
    const TMPNotifyValues Result;
    static QEvent::Type EventType();
};

/// One CD audio device. A play asked to notify reports exactly once to its receiver: successful
/// when it reached its end, failure when it could not go on, superseded when a later play or
/// resume replaced the request, aborted when a stop or close ended it.
class ICdAudio {
public:
    virtual ~ICdAudio() = default;

    /// Opens the device of the drive behind driveHandle (a CD-access handle); one at a time.
    virtual int Open(int driveHandle) = 0;
    /// Ends any play (aborted) and releases the drive. Never fails on an open device.
    virtual int Close() = 0;
    virtual int SetTimeFormat(int format) = 0;
    /// The start of a track in the current time format.
    virtual int TrackPosition(int track, uint32_t& position) = 0;
    /// Plays from `from` (else the current position) to `to` (else the end of the disc's audio).
    /// notify, when given, receives the CdAudioNotifyEvent of this play.
    virtual int Play(std::optional<uint32_t> from, std::optional<uint32_t> to, QObject* notify) = 0;
    virtual int Pause() = 0;
    /// Continues a paused play to its end; notify replaces the pending notification.
    virtual int Resume(QObject* notify) = 0;
    /// Ends the play (aborted) and keeps the position.
    virtual int Stop() = 0;
    virtual TCdAudioMode Mode() const = 0;
    /// Opens or closes the door of the drive behind driveHandle. Does not wait for the tray;
    /// Unsupported for a disc image.
    virtual int SetDoor(int driveHandle, bool open) = 0;
    /// Why the last play ended in failure when the sound output (not the drive) was the cause,
    /// for the user; empty otherwise.
    virtual QString SoundFailure() const { return {}; }
};

/// A new device of the kind the program uses: digital playback through the sound system.
std::unique_ptr<ICdAudio> CreateCdAudio();

/// Test seam: while set, CreateCdAudio returns what the factory makes.
void SetCdAudioFactoryForTests(std::function<std::unique_ptr<ICdAudio>()> factory);
