#include "platform/waveaudio/QtWaveAudio.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>

#include <chrono>

#include "core/ThreadHandoff.h"
#include "platform/waveaudio/SoundServer.h"

namespace {

QAudioFormat ToQt(const TWaveFormat& f)
{
    QAudioFormat q;
    q.setSampleRate(static_cast<int>(f.SampleRate));
    q.setChannelCount(f.Channels);
    q.setSampleFormat(f.BitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
    return q;
}

/// Receives what the audio source captured and appends it to the take.
class TCaptureDevice : public QIODevice {
public:
    TCaptureDevice(TTake& take, std::function<void(const QString&)> failed, QObject* parent)
        : QIODevice(parent), take_(take), failed_(std::move(failed))
    {
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (!dead_) {
            QString why;
            if (!take_.Append(data, size, why)) {
                dead_ = true;
                failed_(why);
            }
        }
        // Claim everything: a short write makes the source offer the same sound again.
        return size;
    }

private:
    TTake& take_;
    std::function<void(const QString&)> failed_;
    bool dead_ = false;
};

/// Feeds the audio sink from the document.
class TPlaybackDevice : public QIODevice {
public:
    TPlaybackDevice(const TWaveDocument& doc, int64_t from, std::atomic<int64_t>& position,
                    QObject* parent)
        : QIODevice(parent), doc_(doc), pos_(from), position_(position)
    {
        position_.store(from);
    }
    bool AtSoundEnd() const { return pos_ >= doc_.Size(); }

protected:
    qint64 writeData(const char*, qint64) override { return -1; }
    qint64 readData(char* data, qint64 size) override
    {
        const int64_t n = doc_.Read(pos_, data, size);
        if (n > 0) {
            pos_ += n;
            position_.store(pos_);
        }
        return n;
    }
    qint64 bytesAvailable() const override
    {
        return doc_.Size() - pos_ + QIODevice::bytesAvailable();
    }
    bool atEnd() const override { return AtSoundEnd(); }

private:
    const TWaveDocument& doc_;
    int64_t pos_;
    std::atomic<int64_t>& position_;
};

} // namespace

/// Owns the Qt audio objects; every member runs on the audio thread.
class TAudioWorker : public QObject {
public:
    explicit TAudioWorker(TQtWaveAudio& owner) : owner_(owner) {}

    bool StartCapture(const QAudioDevice& device, const TWaveFormat& format, TTake& take,
                      QString& error)
    {
        auto failed = [this](const QString& why) { owner_.ReportFailure(why); };
        capture_ = new TCaptureDevice(take, failed, this);
        capture_->open(QIODevice::WriteOnly);
        source_ = new QAudioSource(device, ToQt(format), this);
        // A device that goes away ends the stream with an error, or (for some servers) just
        // stops delivering: watch for both.
        connect(source_, &QAudioSource::stateChanged, this, [this, failed](QAudio::State s) {
            if (s == QAudio::StoppedState && source_ && source_->error() != QAudio::NoError &&
                source_->error() != QAudio::UnderrunError)
                failed(SoundServer::ErrorText(source_->error()));
        });
        source_->start(capture_);
        if (source_->error() != QAudio::NoError && source_->error() != QAudio::UnderrunError) {
            error = SoundServer::ErrorText(source_->error());
            StopCapture();
            return false;
        }
        take_ = &take;
        lastSize_ = -1;
        lastGrowth_ = std::chrono::steady_clock::now();
        watchdog_ = new QTimer(this);
        connect(watchdog_, &QTimer::timeout, this, [this, failed] {
            const auto now = std::chrono::steady_clock::now();
            if (take_->Size() != lastSize_) {
                lastSize_ = take_->Size();
                lastGrowth_ = now;
            } else if (now - lastGrowth_ > std::chrono::milliseconds(2500)) {
                failed(QStringLiteral("The sound input device stopped delivering sound."));
            }
        });
        watchdog_->start(250);
        return true;
    }

    void StopCapture()
    {
        delete watchdog_;
        watchdog_ = nullptr;
        if (source_) {
            source_->disconnect(this);
            source_->stop();
            delete source_;
            source_ = nullptr;
        }
        delete capture_;
        capture_ = nullptr;
        take_ = nullptr;
    }

    bool StartPlayback(const QAudioDevice& device, const TWaveFormat& format, int64_t from,
                       QString& error)
    {
        owner_.playEnded_.store(false);
        playback_ = new TPlaybackDevice(owner_.Document(), from, owner_.playPosition_, this);
        playback_->open(QIODevice::ReadOnly);
        sink_ = new QAudioSink(device, ToQt(format), this);
        connect(sink_, &QAudioSink::stateChanged, this, [this](QAudio::State s) {
            if (!sink_)
                return;
            if (s == QAudio::IdleState && playback_->AtSoundEnd()) {
                owner_.playEnded_.store(true);
            } else if (s == QAudio::StoppedState && sink_->error() != QAudio::NoError &&
                       sink_->error() != QAudio::UnderrunError) {
                owner_.ReportFailure(SoundServer::ErrorText(sink_->error()));
            }
        });
        sink_->start(playback_);
        if (sink_->error() != QAudio::NoError && sink_->error() != QAudio::UnderrunError) {
            error = SoundServer::ErrorText(sink_->error());
            StopPlayback();
            return false;
        }
        return true;
    }

    void StopPlayback()
    {
        if (sink_) {
            sink_->disconnect(this);
            sink_->stop();
            delete sink_;
            sink_ = nullptr;
        }
        delete playback_;
        playback_ = nullptr;
    }

private:
    TQtWaveAudio& owner_;
    QAudioSource* source_ = nullptr;
    TCaptureDevice* capture_ = nullptr;
    QTimer* watchdog_ = nullptr;
    TTake* take_ = nullptr;
    int64_t lastSize_ = -1;
    std::chrono::steady_clock::time_point lastGrowth_;
    QAudioSink* sink_ = nullptr;
    TPlaybackDevice* playback_ = nullptr;
};

TQtWaveAudio::TQtWaveAudio()
{
    // Let the multimedia back end and its sound-server connection come up on the UI thread,
    // so none of its objects belongs to the audio thread when that ends.
    SoundServer::Attach();
    thread_.setObjectName(QStringLiteral("wave audio"));
    worker_ = new TAudioWorker(*this);
    worker_->moveToThread(&thread_);
    thread_.start();
}

TQtWaveAudio::~TQtWaveAudio()
{
    Shutdown();
    thread_.quit();
    thread_.wait();
    delete worker_; // its thread has ended, so nothing of it runs any more
}

bool TQtWaveAudio::StartCapture(const TWaveFormat& format, TTake& take, QString& error)
{
    SoundServer::Attach(); // a server that came back is used
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        error = QStringLiteral("There is no sound input device.");
        return false;
    }
    bool ok = false;
    InvokeBlocking(worker_, [&] { ok = worker_->StartCapture(device, format, take, error); });
    return ok;
}

void TQtWaveAudio::StopCapture()
{
    InvokeBlocking(worker_, [this] { worker_->StopCapture(); });
}

bool TQtWaveAudio::StartPlayback(const TWaveFormat& format, int64_t fromByte, QString& error)
{
    SoundServer::Attach(); // a server that came back is used
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        error = QStringLiteral("There is no sound output device.");
        return false;
    }
    bool ok = false;
    InvokeBlocking(worker_, [&] { ok = worker_->StartPlayback(device, format, fromByte, error); });
    return ok;
}

void TQtWaveAudio::StopPlayback()
{
    InvokeBlocking(worker_, [this] { worker_->StopPlayback(); });
}

int64_t TQtWaveAudio::PlaybackPosition()
{
    return playPosition_.load();
}

bool TQtWaveAudio::PlaybackEnded()
{
    return playEnded_.load();
}
