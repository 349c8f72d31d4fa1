#include "platform/waveaudio/TestWaveAudio.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

TTestWaveAudio::TTestWaveAudio(std::function<int64_t()> nowMs) : now_(std::move(nowMs)) {}

TTestWaveAudio::~TTestWaveAudio()
{
    Shutdown();
}

int64_t TTestWaveAudio::Now() const
{
    if (now_)
        return now_();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QStringList TTestWaveAudio::Actions() const
{
    QStringList actions;
    for (const QString& r : requests_) {
        if (!r.startsWith(QLatin1String("status ")))
            actions << r;
    }
    return actions;
}

void TTestWaveAudio::OnRequest(const QString& request)
{
    requests_ << request;
    CatchUp();
}

QString TTestWaveAudio::PlannedRefusal(const char* request)
{
    if (std::strcmp(request, "open") == 0)
        return std::exchange(failOpen_, QString());
    if (std::strcmp(request, "save") == 0)
        return std::exchange(failSave_, QString());
    return {};
}

QByteArray TTestWaveAudio::Signal(const TWaveFormat& format, int64_t first, int64_t count)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(count * format.BlockAlign()));
    for (int64_t n = first; n < first + count; ++n) {
        for (int c = 0; c < format.Channels; ++c) {
            const auto v = static_cast<uint64_t>(n * 3 + c * 1000);
            out.append(static_cast<char>(v & 0xFF));
            if (format.BitsPerSample == 16)
                out.append(static_cast<char>((v >> 8) & 0xFF));
        }
    }
    return out;
}

void TTestWaveAudio::CatchUp()
{
    if (take_ == nullptr || dead_)
        return;
    const int64_t due = (Now() - captureStart_) * format_.SampleRate / 1000;
    // In parts of a tenth of a second, as a sound card delivers them.
    const int64_t part = std::max<int64_t>(1, format_.SampleRate / 10);
    while (framesWritten_ < due) {
        const int64_t count = std::min(part, due - framesWritten_);
        const QByteArray data = Signal(format_, framesWritten_, count);
        framesWritten_ += count;
        QString why;
        if (!take_->Append(data.constData(), data.size(), why)) {
            dead_ = true;
            ReportFailure(why);
            return;
        }
    }
}

bool TTestWaveAudio::StartCapture(const TWaveFormat& format, TTake& take, QString& error)
{
    if (!failRecord_.isEmpty()) {
        error = std::exchange(failRecord_, QString());
        return false;
    }
    take_ = &take;
    format_ = format;
    captureStart_ = Now();
    framesWritten_ = 0;
    dead_ = false;
    return true;
}

void TTestWaveAudio::StopCapture()
{
    CatchUp();
    take_ = nullptr;
}

void TTestWaveAudio::FailNow(const QString& reason)
{
    CatchUp();
    dead_ = true;
    ReportFailure(reason);
}

bool TTestWaveAudio::StartPlayback(const TWaveFormat& format, int64_t fromByte, QString& error)
{
    if (!failPlay_.isEmpty()) {
        error = std::exchange(failPlay_, QString());
        return false;
    }
    format_ = format;
    playing_ = true;
    playFrom_ = fromByte;
    playStart_ = Now();
    return true;
}

void TTestWaveAudio::StopPlayback()
{
    playing_ = false;
}

int64_t TTestWaveAudio::PlaybackPosition()
{
    if (!playing_)
        return playFrom_;
    return playFrom_ + format_.MsToBytes(Now() - playStart_);
}

bool TTestWaveAudio::PlaybackEnded()
{
    return PlaybackPosition() >= Document().Size();
}
