#include "platform/waveaudio/WaveAudioBase.h"

#include <algorithm>

#include "core/ThreadHandoff.h"

namespace {

QString WithFrom(const char* request, std::optional<int64_t> fromMs)
{
    QString r = QString::fromLatin1(request);
    if (fromMs)
        r += QStringLiteral(" from ") + QString::number(*fromMs);
    return r;
}

} // namespace

TWaveAudioBase::TWaveAudioBase() = default;

TWaveAudioBase::~TWaveAudioBase() = default;

bool TWaveAudioBase::Fail(const QString& reason)
{
    error_ = reason;
    return false;
}

bool TWaveAudioBase::Require(bool open)
{
    if (open && mode_ == TWaveMode::NotOpen)
        return Fail(QStringLiteral("The sound device is not open."));
    return true;
}

bool TWaveAudioBase::Open(const QString& path)
{
    OnRequest(QStringLiteral("open ") + path);
    if (mode_ != TWaveMode::NotOpen) {
        Shutdown();
        doc_.Clear();
        mode_ = TWaveMode::NotOpen;
    }
    QString why = PlannedRefusal("open");
    if (!why.isEmpty() || !doc_.Load(path, why))
        return Fail(path + QStringLiteral(": ") + why);
    mode_ = TWaveMode::Stopped;
    position_ = 0;
    error_.clear();
    return true;
}

void TWaveAudioBase::SetTimeFormatMilliseconds()
{
    OnRequest(QStringLiteral("set time format milliseconds"));
}

bool TWaveAudioBase::Close()
{
    OnRequest(QStringLiteral("close"));
    Shutdown();
    doc_.Clear();
    mode_ = TWaveMode::NotOpen;
    position_ = 0;
    return true;
}

void TWaveAudioBase::Shutdown()
{
    if (mode_ == TWaveMode::Recording) {
        StopCapture();
        take_.reset(); // unsaved: its file goes with it
    } else if (mode_ == TWaveMode::Playing) {
        StopPlayback();
    }
    if (mode_ != TWaveMode::NotOpen)
        mode_ = TWaveMode::Stopped;
}

TWaveMode TWaveAudioBase::Mode()
{
    OnRequest(QStringLiteral("status mode"));
    if (mode_ == TWaveMode::Playing && PlaybackEnded())
        EndPlayback();
    return mode_;
}

int64_t TWaveAudioBase::Length()
{
    OnRequest(QStringLiteral("status length"));
    if (mode_ == TWaveMode::NotOpen)
        return 0;
    int64_t bytes = doc_.Size();
    if (mode_ == TWaveMode::Recording && take_)
        bytes = std::max(bytes, recordFrom_ + take_->Size());
    return doc_.Format().BytesToMs(bytes);
}

int64_t TWaveAudioBase::Position()
{
    OnRequest(QStringLiteral("status position"));
    int64_t bytes = position_;
    if (mode_ == TWaveMode::Playing)
        bytes = std::min(PlaybackPosition(), doc_.Size());
    else if (mode_ == TWaveMode::Recording && take_)
        bytes = recordFrom_ + take_->Size();
    return doc_.Format().BytesToMs(bytes);
}

void TWaveAudioBase::EndCapture()
{
    StopCapture();
    if (take_) {
        if (take_->Size() > 0)
            doc_.Overwrite(recordFrom_, take_->Piece());
        position_ = std::min(recordFrom_ + take_->Size(), doc_.Size());
        take_.reset(); // the document keeps the take's file while a piece uses it
    }
    mode_ = TWaveMode::Stopped;
}

void TWaveAudioBase::EndPlayback()
{
    const bool ended = PlaybackEnded();
    position_ = ended ? doc_.Size() : std::min(PlaybackPosition(), doc_.Size());
    StopPlayback();
    mode_ = TWaveMode::Stopped;
}

bool TWaveAudioBase::Play(std::optional<int64_t> fromMs)
{
    const std::optional<int64_t> from = BeginTransport("play", fromMs);
    if (!from)
        return false;
    QString why;
    if (!StartPlayback(doc_.Format(), *from, why))
        return Fail(why);
    position_ = *from;
    mode_ = TWaveMode::Playing;
    return true;
}

bool TWaveAudioBase::Record(std::optional<int64_t> fromMs)
{
    const std::optional<int64_t> from = BeginTransport("record", fromMs);
    if (!from)
        return false;
    const TWaveFormat& f = doc_.Format();
    QString why;
    auto take = TTake::Create(doc_.Path(), f, 0xFFFFFFFFLL - 36 - *from, why);
    if (!take || !StartCapture(f, *take, why))
        return Fail(why);
    take_ = std::move(take);
    recordFrom_ = *from;
    mode_ = TWaveMode::Recording;
    return true;
}

std::optional<int64_t> TWaveAudioBase::BeginTransport(const char* request,
                                                      std::optional<int64_t> fromMs)
{
    OnRequest(WithFrom(request, fromMs));
    if (!Require(true))
        return std::nullopt;
    Halt();
    ClearFailure();
    if (!fromMs)
        return position_;
    return std::min(doc_.Format().MsToBytes(*fromMs), doc_.Size());
}

void TWaveAudioBase::Halt()
{
    if (mode_ == TWaveMode::Recording)
        EndCapture();
    else if (mode_ == TWaveMode::Playing)
        EndPlayback();
}

void TWaveAudioBase::ClearFailure()
{
    std::lock_guard lock(failureMutex_);
    failure_.clear();
}

bool TWaveAudioBase::Stop()
{
    OnRequest(QStringLiteral("stop"));
    if (!Require(true))
        return false;
    Halt();
    return true;
}

bool TWaveAudioBase::Save()
{
    OnRequest(QStringLiteral("save"));
    if (!Require(true))
        return false;
    // The document changes shape when saved: nothing may be reading or adding to it then.
    Halt();
    QString why = PlannedRefusal("save");
    if (!why.isEmpty())
        return Fail(why);
    if (!doc_.Dirty())
        return true;
    if (!doc_.Save(why))
        return Fail(doc_.Path() + QStringLiteral(": ") + why);
    return true;
}

bool TWaveAudioBase::SeekToStart()
{
    OnRequest(QStringLiteral("seek to start"));
    if (!Require(true))
        return false;
    Halt();
    position_ = 0;
    return true;
}

bool TWaveAudioBase::SeekToEnd()
{
    OnRequest(QStringLiteral("seek to end"));
    if (!Require(true))
        return false;
    Halt();
    position_ = doc_.Size();
    return true;
}

bool TWaveAudioBase::HasUnsavedSound()
{
    return doc_.Dirty() || (mode_ == TWaveMode::Recording && take_ && take_->Size() > 0);
}

void TWaveAudioBase::ReportFailure(const QString& reason)
{
    {
        std::lock_guard lock(failureMutex_);
        if (!failure_.isEmpty())
            return; // one report per take or playback
        failure_ = reason;
    }
    InvokeQueued(&uiContext_, [this] { HandleFailure(); });
}

void TWaveAudioBase::HandleFailure()
{
    QString reason;
    {
        std::lock_guard lock(failureMutex_);
        reason = failure_;
    }
    Halt();
    error_ = reason;
    if (OnFailure)
        OnFailure(reason);
}
