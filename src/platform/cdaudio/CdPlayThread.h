#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include <QAudioDevice>
#include <QEvent>
#include <QString>

#include "platform/cdaudio/CdAudio.h"

/// Posted by a play thread to its receiver when it has ended, whatever ended it.
class CdPlayEndEvent : public QEvent {
public:
    CdPlayEndEvent(uint64_t playId, TMPNotifyValues result, QString soundFailure = QString())
        : QEvent(EventType()), PlayId(playId), Result(result), SoundFailure(std::move(soundFailure))
    {
    }
    const uint64_t PlayId;
    const TMPNotifyValues Result;
    /// Why a failed play failed when the sound output was the cause; empty otherwise.
    const QString SoundFailure;
    static QEvent::Type EventType();
};

/// Plays the sectors [start, end) of a CD-access handle through a QAudioSink (44100 Hz, 16 bit,
/// stereo) on its own thread. The sink pulls the audio: sectors are read a few at a time when it
/// asks, so the thread sleeps in its event loop while the sink's buffer is full and never holds
/// more than one read of audio. When the sink has played the last sector, or a read or the sink
/// fails or stalls, or a stop is asked for, the thread posts a CdPlayEndEvent to the receiver and
/// ends.
///
/// Thread use: the owner (UI thread) calls everything; the thread never waits for the owner, so
/// Stop and the destructor may join it. The handle must stay open until the thread has ended.
class TCdPlayThread {
public:
    /// The sink's buffer: a second of audio rides out a slow drive's reads and a busy machine
    /// (a starved sink stops and waits for a full buffer again, which is heard as a gap).
    /// Pause and stop do not wait for it: the sound server drops what it holds.
    static constexpr int kBufferBytes = 44100 * 4;
    static constexpr uint32_t kSectorsPerRead = 10;
    /// A play whose sink has neither taken nor played audio for this long has failed; with the
    /// watchdog's tick it ends within two seconds of the sound stopping.
    static constexpr std::chrono::milliseconds kStallLimit{1200};
    static constexpr std::chrono::milliseconds kWatchdogTick{200};

    TCdPlayThread(int handle, int32_t startSector, int32_t endSector, QAudioDevice output,
                  QObject* receiver, uint64_t playId);
    ~TCdPlayThread();
    TCdPlayThread(const TCdPlayThread&) = delete;
    TCdPlayThread& operator=(const TCdPlayThread&) = delete;

    void Start();
    /// Pauses (the sink falls silent at once, keeping what it holds) or continues.
    void SetPaused(bool paused);
    /// Ends the play and returns once the thread has ended.
    void Stop();

    /// The sector the listener has reached, within [start, end].
    int32_t PlayedSector() const;
    /// From Start to the first audio handed to the sink; negative until then.
    std::chrono::nanoseconds FirstFrameDelay() const
    {
        return std::chrono::nanoseconds(firstFrameNs_.load());
    }
    /// CPU time the thread used; known once it has ended.
    std::chrono::nanoseconds CpuTime() const { return std::chrono::nanoseconds(cpuNs_.load()); }

private:
    void Run();
    TMPNotifyValues Play(QString& soundFailure);
    /// Asks the thread to look at the paused and stop flags.
    void Poke();

    const int handle_;
    const int32_t start_;
    const int32_t end_;
    const QAudioDevice output_;
    QObject* const receiver_; // outlives the thread
    const uint64_t playId_;
    std::chrono::steady_clock::time_point started_; // written before the thread starts

    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<int64_t> playedBytes_{0};
    std::atomic<int64_t> firstFrameNs_{-1};
    std::atomic<int64_t> cpuNs_{0};

    std::mutex contextMutex_;     // guards context_
    QObject* context_ = nullptr;  // lives on the thread while its event loop runs
    std::function<void()> apply_; // the thread's own: reacts to the flags
    std::thread thread_;
};
