#pragma once

#include <atomic>
#include <memory>

#include <QThread>

#include "platform/waveaudio/WaveAudioBase.h"

class TAudioWorker;

/// The wave-audio device over Qt Multimedia: records from the default input with a
/// QAudioSource and plays on the default output with a QAudioSink, in the open file's own
/// format. Both run on a thread of their own, so a busy UI thread never drops sound; the
/// recorded sound goes straight to the take's file.
class TQtWaveAudio : public TWaveAudioBase {
public:
    TQtWaveAudio();
    ~TQtWaveAudio() override;

protected:
    bool StartCapture(const TWaveFormat& format, TTake& take, QString& error) override;
    void StopCapture() override;
    bool StartPlayback(const TWaveFormat& format, int64_t fromByte, QString& error) override;
    void StopPlayback() override;
    int64_t PlaybackPosition() override;
    bool PlaybackEnded() override;

private:
    friend class TAudioWorker;

    QThread thread_;
    TAudioWorker* worker_ = nullptr; // lives on thread_
    // Written on the audio thread, read on the UI thread.
    std::atomic<int64_t> playPosition_{0};
    std::atomic<bool> playEnded_{false};
};
