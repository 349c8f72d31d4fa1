#include "platform/cdaudio/CdPlayThread.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

#include <QAudioFormat>
#include <QAudioSink>
#include <QEventLoop>
#include <QIODevice>
#include <QTimer>

#include "core/AppEvents.h"
#include "core/ThreadHandoff.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/waveaudio/SoundServer.h"

namespace {

constexpr int64_t kBytesPerSecond = 44100 * 4;
/// Silence handed over after the last sector. The sink's played time is the server's
/// interpolated clock, which can run a few milliseconds ahead of the speaker under load, and
/// stopping the sink drops what the server has not played yet: the tail makes that silence.
constexpr int64_t kTailBytes = kBytesPerSecond * 150 / 1000;

/// The play's sectors as a sequential device the sink pulls from. Reads the drive only when
/// the sink has taken everything read before, kSectorsPerRead sectors at a time.
class TSectorSource : public QIODevice {
public:
    TSectorSource(int handle, int32_t start, int32_t end, const std::atomic<bool>& stop)
        : handle_(handle), next_(start), end_(end), stop_(stop),
          buffer_(AudioReadBuffer::Make(0, TCdPlayThread::kSectorsPerRead))
    {
    }

    std::function<void()> OnFirstData;
    std::function<void()> OnEnd; ///< the last sector was handed over
    std::function<void()> OnFailure;

    bool isSequential() const override { return true; }
    /// Never at its end, as far as the sink is told. A Qt 6.4 PulseAudio sink that sees its
    /// source at the end when the stream runs dry asks the server to drain with a callback on
    /// itself, which can arrive after the sink is gone; the play's end is judged here instead.
    bool atEnd() const override { return false; }
    /// Everything was read and handed to the sink, the silent tail too.
    bool Finished() const { return AudioDone() && tailFed_ >= kTailBytes; }
    /// What is left of the play; the sink lowers its pre-buffering for a play shorter than it.
    qint64 bytesAvailable() const override
    {
        return static_cast<qint64>(end_ - next_) * kCdSectorBytes +
               static_cast<qint64>(filled_ - pos_) + (kTailBytes - tailFed_) +
               QIODevice::bytesAvailable();
    }
    /// The disc's audio handed to the sink (the tail not counted).
    int64_t FedBytes() const { return fed_; }
    /// Everything handed to the sink: what it has to play before the play is over.
    int64_t HandedBytes() const { return fed_ + tailFed_; }

protected:
    qint64 readData(char* data, qint64 maxlen) override
    {
        if (stop_.load(std::memory_order_acquire) || failed_)
            return failed_ ? -1 : 0;
        qint64 copied = 0;
        while (copied < maxlen) {
            if (pos_ >= filled_ && !Fill())
                break;
            const qint64 n = std::min<qint64>(maxlen - copied, static_cast<qint64>(filled_ - pos_));
            std::memcpy(data + copied, buffer_.Data.data() + pos_, static_cast<size_t>(n));
            pos_ += static_cast<uint32_t>(n);
            copied += n;
        }
        if (failed_ && copied == 0)
            return -1;
        if (copied > 0 && fed_ == 0 && OnFirstData)
            OnFirstData();
        fed_ += copied;
        if (AudioDone() && copied < maxlen) {
            const qint64 n = std::min<qint64>(maxlen - copied, kTailBytes - tailFed_);
            std::memset(data + copied, 0, static_cast<size_t>(n));
            tailFed_ += n;
            copied += n;
        }
        if (Finished() && OnEnd)
            OnEnd();
        return copied;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    bool AudioDone() const { return next_ >= end_ && pos_ >= filled_ && !failed_; }
    /// The next read; false at the end or when the read failed.
    bool Fill()
    {
        if (next_ >= end_ || failed_)
            return false;
        const auto count =
            static_cast<uint32_t>(std::min<int32_t>(end_ - next_, TCdPlayThread::kSectorsPerRead));
        buffer_.StartSector = static_cast<uint32_t>(next_);
        buffer_.SectorCount = count;
        if (ReadCDAudioLBA(handle_, buffer_) != 1 ||
            buffer_.BytesReturned < count * kCdSectorBytes) {
            failed_ = true;
            if (OnFailure)
                OnFailure();
            return false;
        }
        next_ += static_cast<int32_t>(count);
        pos_ = buffer_.Offset;
        filled_ = buffer_.Offset + count * kCdSectorBytes;
        return true;
    }

    const int handle_;
    int32_t next_;
    const int32_t end_;
    const std::atomic<bool>& stop_;
    AudioReadBuffer buffer_;
    uint32_t pos_ = 0;
    uint32_t filled_ = 0;
    int64_t fed_ = 0;
    int64_t tailFed_ = 0;
    bool failed_ = false;
};

int64_t ThreadCpuNs()
{
    timespec ts{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0)
        return 0;
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

QEvent::Type CdPlayEndEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TCdPlayThread::TCdPlayThread(int handle, int32_t startSector, int32_t endSector,
                             QAudioDevice output, QObject* receiver, uint64_t playId)
    : handle_(handle), start_(startSector), end_(std::max(startSector, endSector)),
      output_(std::move(output)), receiver_(receiver), playId_(playId)
{
}

TCdPlayThread::~TCdPlayThread()
{
    Stop();
}

void TCdPlayThread::Start()
{
    if (thread_.joinable())
        return;
    started_ = std::chrono::steady_clock::now();
    thread_ = std::thread([this] { Run(); });
}

void TCdPlayThread::SetPaused(bool paused)
{
    paused_.store(paused, std::memory_order_release);
    Poke();
}

void TCdPlayThread::Stop()
{
    stop_.store(true, std::memory_order_release);
    Poke();
    if (thread_.joinable())
        thread_.join();
}

int32_t TCdPlayThread::PlayedSector() const
{
    const int64_t sectors = playedBytes_.load(std::memory_order_acquire) / kCdSectorBytes;
    return static_cast<int32_t>(std::min<int64_t>(start_ + sectors, end_));
}

void TCdPlayThread::Poke()
{
    std::lock_guard lock(contextMutex_);
    if (context_ != nullptr)
        QueueCall(context_, [this] {
            if (apply_)
                apply_();
        });
}

void TCdPlayThread::Run()
{
    TMPNotifyValues result = TMPNotifyValues::nvFailure;
    QString soundFailure;
    try {
        result = Play(soundFailure);
    } catch (...) {
        result = TMPNotifyValues::nvFailure;
    }
    apply_ = nullptr;
    cpuNs_.store(ThreadCpuNs());
    PostAppEvent(receiver_, std::make_unique<CdPlayEndEvent>(playId_, result, soundFailure));
}

TMPNotifyValues TCdPlayThread::Play(QString& soundFailure)
{
    // Everything below lives on this thread; the event loop gives the sink its timers. The
    // context receives every connection and poke, and goes before the sink and the source, so
    // nothing reaches them once they are being torn down.
    QEventLoop loop;
    TSectorSource source(handle_, start_, end_, stop_);
    source.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    QAudioFormat format;
    format.setSampleRate(44100);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    auto sink = std::make_unique<QAudioSink>(output_, format);
    sink->setBufferSize(kBufferBytes);
    QObject context;

    TMPNotifyValues result = TMPNotifyValues::nvFailure;
    bool ended = false;
    const auto end = [&](TMPNotifyValues r, const QString& why = QString()) {
        if (ended)
            return;
        ended = true;
        result = r;
        soundFailure = why;
        loop.quit();
    };
    const auto publishPlayed = [&] {
        const int64_t played = sink->processedUSecs() * kBytesPerSecond / 1000000;
        playedBytes_.store(std::min(played, source.FedBytes()), std::memory_order_release);
    };

    // After the last read the sink still holds up to a buffer of audio: the play has reached
    // its end once the sink has played everything it was given. The deadline keeps a sink that
    // stops counting from holding the play open.
    QTimer drain;
    drain.setInterval(10);
    std::chrono::steady_clock::time_point drainDeadline;
    const auto startDrain = [&] {
        if (drain.isActive() || paused_.load(std::memory_order_acquire))
            return;
        drainDeadline =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(sink->bufferSize() * 1000 / kBytesPerSecond + 1000);
        drain.start();
    };
    QObject::connect(&drain, &QTimer::timeout, &context, [&] {
        publishPlayed();
        if (sink->processedUSecs() * kBytesPerSecond / 1000000 >= source.HandedBytes() ||
            std::chrono::steady_clock::now() >= drainDeadline)
            end(TMPNotifyValues::nvSuccessful);
    });

    // A sink that neither takes audio nor plays what it holds (a sound server that died or
    // hangs without telling the sink) would hold the play open for good: a stall of
    // kStallLimit ends the play as failed. A paused play is not stalled.
    QTimer watchdog;
    watchdog.setInterval(kWatchdogTick);
    qint64 lastProcessed = -1;
    int64_t lastFed = -1;
    auto lastProgress = std::chrono::steady_clock::now();
    QObject::connect(&watchdog, &QTimer::timeout, &context, [&] {
        publishPlayed(); // the position moves on while playing, not only at pauses and the end
        const auto now = std::chrono::steady_clock::now();
        // The sink pulls audio as the server takes it; once everything was pulled, the server
        // playing the rest is the progress. (The sink's played time runs on by the clock for
        // up to a buffer after the server stopped, so it only counts then.)
        const qint64 processed = sink->processedUSecs();
        const int64_t fed = source.HandedBytes();
        if (paused_.load(std::memory_order_acquire) || fed != lastFed ||
            (source.Finished() && processed != lastProcessed)) {
            lastProcessed = processed;
            lastFed = fed;
            lastProgress = now;
        } else if (now - lastProgress >= kStallLimit) {
            end(TMPNotifyValues::nvFailure, SoundServer::StalledText());
        }
    });

    source.OnFirstData = [this] {
        firstFrameNs_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now() - started_)
                                .count());
    };
    source.OnEnd = startDrain;
    source.OnFailure = [&] { end(TMPNotifyValues::nvFailure); };
    QObject::connect(sink.get(), &QAudioSink::stateChanged, &context, [&](QAudio::State state) {
        if (state == QAudio::StoppedState && sink->error() != QAudio::NoError)
            end(TMPNotifyValues::nvFailure, SoundServer::ErrorText(sink->error()));
    });

    apply_ = [&] {
        if (stop_.load(std::memory_order_acquire)) {
            end(TMPNotifyValues::nvAborted);
            return;
        }
        const bool paused = paused_.load(std::memory_order_acquire);
        const QAudio::State state = sink->state();
        if (paused && (state == QAudio::ActiveState || state == QAudio::IdleState)) {
            sink->suspend();
            drain.stop();
            publishPlayed();
        } else if (!paused && state == QAudio::SuspendedState) {
            sink->resume();
            if (source.Finished())
                startDrain();
        }
    };
    // Pokes reach the context only while it exists: the registration ends before it does.
    struct Registration {
        TCdPlayThread& owner;
        Registration(TCdPlayThread& o, QObject* context) : owner(o)
        {
            std::lock_guard lock(owner.contextMutex_);
            owner.context_ = context;
        }
        ~Registration()
        {
            std::lock_guard lock(owner.contextMutex_);
            owner.context_ = nullptr;
        }
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;
    };
    {
        const Registration registration(*this, &context);
        sink->start(&source);
        if (sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState) {
            end(TMPNotifyValues::nvFailure, SoundServer::ErrorText(sink->error()));
        } else {
            watchdog.start();
            apply_();
        }
        if (!ended)
            loop.exec();
    }
    drain.stop();
    watchdog.stop();
    if (result == TMPNotifyValues::nvSuccessful)
        playedBytes_.store(source.FedBytes(), std::memory_order_release);
    else
        publishPlayed();
    QObject::disconnect(sink.get(), nullptr, &context, nullptr);
    sink->stop();
    return result;
}
