#pragma once

#include <functional>

#include <QByteArray>
#include <QStringList>

#include "platform/waveaudio/WaveAudioBase.h"

/// The wave-audio device without sound hardware, for tests: recording produces a known signal
/// for as long as the clock says the take ran, playback advances with the clock, and every
/// request is written down. Single-threaded; failures can be planned.
class TTestWaveAudio : public TWaveAudioBase {
public:
    /// nowMs: a monotonic clock in milliseconds (the steady clock when empty).
    explicit TTestWaveAudio(std::function<int64_t()> nowMs = {});
    ~TTestWaveAudio() override;

    /// Every request in order ("open PATH", "record from 1000", "status mode", ...).
    const QStringList& Requests() const { return requests_; }
    /// The requests without the status queries.
    QStringList Actions() const;
    void ClearRequests() { requests_.clear(); }

    /// The next request of that kind fails with reason.
    void FailNextOpen(const QString& reason) { failOpen_ = reason; }
    void FailNextRecord(const QString& reason) { failRecord_ = reason; }
    void FailNextPlay(const QString& reason) { failPlay_ = reason; }
    void FailNextSave(const QString& reason) { failSave_ = reason; }
    /// The sound card goes away now: the take (or playback) ends with reason, as the real
    /// device reports it (queued to the UI thread).
    void FailNow(const QString& reason);

    /// The known signal: frames [first, first + count) counted from the start of a take. Sample
    /// n of channel c is n x 3 + c x 1000, wrapped to the sample size: a ramp that repeats only
    /// after 65536 frames (256 for 8 bits), so a take placed at the wrong offset shows.
    static QByteArray Signal(const TWaveFormat& format, int64_t first, int64_t count);

protected:
    bool StartCapture(const TWaveFormat& format, TTake& take, QString& error) override;
    void StopCapture() override;
    bool StartPlayback(const TWaveFormat& format, int64_t fromByte, QString& error) override;
    void StopPlayback() override;
    int64_t PlaybackPosition() override;
    bool PlaybackEnded() override;
    void OnRequest(const QString& request) override;
    QString PlannedRefusal(const char* request) override;

private:
    /// Adds the signal the take has earned since the last call.
    void CatchUp();
    int64_t Now() const;

    std::function<int64_t()> now_;
    QStringList requests_;
    QString failOpen_, failRecord_, failPlay_, failSave_;

    TTake* take_ = nullptr;
    TWaveFormat format_;
    int64_t captureStart_ = 0;
    int64_t framesWritten_ = 0;
    bool dead_ = false;

    bool playing_ = false;
    int64_t playFrom_ = 0;
    int64_t playStart_ = 0;
};
