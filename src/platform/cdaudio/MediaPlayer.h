#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QObject>

#include "core/AppException.h"
#include "platform/cdaudio/CdAudio.h"

/// Raised by the player for a failed request, with the device's error text.
class EMCIDeviceError : public EAppException {
public:
    using EAppException::EAppException;
};

/// The invisible media-player control the main window plays CDs with: it wraps one CD audio
/// device, keeps the start and end positions the next Play sends, and is the receiver of the
/// device's notifications, which it hands to OnNotify with NotifyValue set. UI thread only.
class TMediaPlayer : public QObject {
public:
    enum class TMPDeviceTypes : uint8_t { dtAutoSelect, dtCDAudio };

    /// device must outlive the player.
    explicit TMediaPlayer(ICdAudio& device, QObject* parent = nullptr);
    ~TMediaPlayer() override;

    TMPDeviceTypes DeviceType = TMPDeviceTypes::dtAutoSelect;
    /// The drive the CD audio device plays: the main window's open drive.
    int DriveHandle = 0;
    /// Called when a notification arrives; NotifyValue tells its result.
    std::function<void()> OnNotify;

    /// Opens the device (a CD audio device is then set to tracks/minutes/seconds/frames). An
    /// open device is closed first.
    void Open();
    /// Ends any play and closes the device; the device's error code, 0 when it was not open.
    int Close();
    /// The start of a track in the current time format.
    uint32_t TrackPosition(int track);
    void SetStartPos(uint32_t position) { startPos_ = position; }
    void SetEndPos(uint32_t position) { endPos_ = position; }
    /// Plays with notification, from the start position and to the end position when they
    /// were set; both are cleared by it.
    void Play();
    /// Pauses a playing device; resumes a paused one.
    void Pause();
    /// Resumes with notification; plays from the current position when resuming fails.
    void Resume();
    /// Stops; "No MCI device open" when not open. Returns the device's error code.
    int Stop();

    bool Opened() const { return device_.Mode() != TCdAudioMode::NotOpen; }
    TCdAudioMode Mode() const { return device_.Mode(); }
    TMPNotifyValues NotifyValue() const { return notifyValue_; }
    ICdAudio& Device() { return device_; }

protected:
    bool event(QEvent* event) override;

private:
    void CheckOpen() const;
    static void Check(int error);

    ICdAudio& device_;
    std::optional<uint32_t> startPos_;
    std::optional<uint32_t> endPos_;
    TMPNotifyValues notifyValue_ = TMPNotifyValues::nvSuccessful;
};
