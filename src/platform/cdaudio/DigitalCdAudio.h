#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include <QObject>
#include <QPointer>

#include "platform/cdaudio/CdAudio.h"
#include "platform/cdaudio/DoorWorker.h"

class TCdPlayThread;

/// The CD audio device as digital playback: opening it takes a CD-access handle of its own on
/// the drive it is given, and each play reads that drive's sectors on a TCdPlayThread into the
/// sound system's default output. The end of a play reaches this object as a posted event; the
/// notification then goes to the play's receiver on the UI thread, and only while the play is
/// still the current one, so a late end never touches a newer play.
///
/// Everything here runs on the UI thread. A request that ends a play waits for its thread, which
/// never waits for this one.
class TDigitalCdAudio : public QObject, public ICdAudio {
public:
    explicit TDigitalCdAudio(TDoorWorker::DoorCall doorCall = TDoorWorker::LibcdioDoor);
    ~TDigitalCdAudio() override;

    int Open(int driveHandle) override;
    int Close() override;
    int SetTimeFormat(int format) override;
    int TrackPosition(int track, uint32_t& position) override;
    int Play(std::optional<uint32_t> from, std::optional<uint32_t> to, QObject* notify) override;
    int Pause() override;
    int Resume(QObject* notify) override;
    int Stop() override;
    TCdAudioMode Mode() const override { return mode_; }
    int SetDoor(int driveHandle, bool open) override;
    QString SoundFailure() const override { return soundFailure_; }

    /// The handle the device reads through (0 while closed).
    int OwnHandle() const { return handle_; }
    /// Figures of the last play: Play to the first audio handed to the sink, and the CPU time
    /// its thread used (known after it ended).
    std::chrono::nanoseconds LastFirstFrameDelay() const { return lastFirstFrame_; }
    std::chrono::nanoseconds LastPlayCpuTime() const { return lastCpu_; }
    /// The sector the current or last play reached.
    int32_t PositionSector() const;

protected:
    bool event(QEvent* event) override;

private:
    struct Track {
        int Number = 0;
        int32_t Start = 0; ///< absolute sector (LSN)
        bool Data = false;
    };

    const Track* FindTrack(int number) const;
    /// The sector a TMSF position names; an error code when the disc has no such place.
    int ToSector(uint32_t tmsf, bool isEnd, int32_t& sector) const;
    /// The end of the audio run that `sector` lies in: the next data track or the lead-out.
    int32_t AudioEndAfter(int32_t sector) const;
    /// Ends the current play, telling its receiver `why`, and keeps the position reached.
    void EndPlay(TMPNotifyValues why);
    void PostNotify(QObject* receiver, TMPNotifyValues result);

    int handle_ = 0;
    TCdAudioMode mode_ = TCdAudioMode::NotOpen;
    std::vector<Track> tracks_;
    int32_t leadOut_ = 0;
    int32_t position_ = 0;

    std::unique_ptr<TCdPlayThread> play_;
    uint64_t playId_ = 0;
    int32_t playEnd_ = 0;
    QPointer<QObject> notify_;
    std::chrono::nanoseconds lastFirstFrame_{-1};
    std::chrono::nanoseconds lastCpu_{0};
    QString soundFailure_;

    TDoorWorker door_;
};
