#include "platform/cdaudio/DigitalCdAudio.h"

#include <algorithm>

#include <QCoreApplication>
#include <QMediaDevices>

#include "core/AppEvents.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaudio/CdPlayThread.h"
#include "platform/waveaudio/SoundServer.h"

namespace {

int32_t EntryLsn(const TocEntry& e)
{
    return static_cast<int32_t>((static_cast<uint32_t>(e.Address[0]) << 24) |
                                (static_cast<uint32_t>(e.Address[1]) << 16) |
                                (static_cast<uint32_t>(e.Address[2]) << 8) | e.Address[3]);
}

} // namespace

TDigitalCdAudio::TDigitalCdAudio(TDoorWorker::DoorCall doorCall) : door_(std::move(doorCall)) {}

TDigitalCdAudio::~TDigitalCdAudio()
{
    notify_ = nullptr; // nobody is left to tell
    EndPlay(TMPNotifyValues::nvAborted);
    if (handle_ != 0)
        CloseCDHandle(handle_);
}

int TDigitalCdAudio::Open(int driveHandle)
{
    if (mode_ != TCdAudioMode::NotOpen)
        return CdAudioError::NonApplicable;
    HandleRequest request;
    std::string device;
    if (driveHandle == 0 || HandleDrive(driveHandle, request, device) != 1)
        return CdAudioError::NoDrive;
    const int handle = GetCDHandle(request);
    if (handle == 0)
        return CdAudioError::NoDrive;
    // A new handle reports addresses as sectors.
    TocRecord toc;
    if (ReadTOC(handle, toc) != 1) {
        CloseCDHandle(handle);
        return CdAudioError::NotReady;
    }
    tracks_.clear();
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t) {
        const TocEntry& e = toc.Entries[static_cast<size_t>(t - 1)];
        tracks_.push_back({t, EntryLsn(e), e.IsData()});
    }
    leadOut_ = EntryLsn(toc.Entries[toc.LastTrack]);
    handle_ = handle;
    position_ = tracks_.empty() ? 0 : tracks_.front().Start;
    mode_ = TCdAudioMode::Stopped;
    return CdAudioError::None;
}

int TDigitalCdAudio::Close()
{
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    EndPlay(TMPNotifyValues::nvAborted);
    CloseCDHandle(handle_);
    handle_ = 0;
    tracks_.clear();
    mode_ = TCdAudioMode::NotOpen;
    return CdAudioError::None;
}

int TDigitalCdAudio::SetTimeFormat(int format)
{
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    return format == kTimeFormatTmsf ? CdAudioError::None : CdAudioError::Unsupported;
}

const TDigitalCdAudio::Track* TDigitalCdAudio::FindTrack(int number) const
{
    const auto it = std::find_if(tracks_.begin(), tracks_.end(),
                                 [number](const Track& t) { return t.Number == number; });
    return it == tracks_.end() ? nullptr : &*it;
}

int TDigitalCdAudio::TrackPosition(int track, uint32_t& position)
{
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    if (FindTrack(track) == nullptr)
        return CdAudioError::OutOfRange;
    position = MakeTmsf(track, 0, 0, 0);
    return CdAudioError::None;
}

int TDigitalCdAudio::ToSector(uint32_t tmsf, bool isEnd, int32_t& sector) const
{
    const Track* track = FindTrack(TmsfTrack(tmsf));
    if (track == nullptr || TmsfSeconds(tmsf) >= 60 || TmsfFrames(tmsf) >= 75)
        return CdAudioError::OutOfRange;
    const int32_t next = track == &tracks_.back() ? leadOut_ : (track + 1)->Start;
    sector = track->Start + (TmsfMinutes(tmsf) * 60 + TmsfSeconds(tmsf)) * 75 + TmsfFrames(tmsf);
    // A start lies inside its track; an end may be the track's own end.
    if (sector > next || (!isEnd && sector == next))
        return CdAudioError::OutOfRange;
    return CdAudioError::None;
}

int32_t TDigitalCdAudio::AudioEndAfter(int32_t sector) const
{
    for (const Track& t : tracks_) {
        if (t.Data && t.Start > sector)
            return t.Start;
    }
    return leadOut_;
}

int32_t TDigitalCdAudio::PositionSector() const
{
    return play_ ? play_->PlayedSector() : position_;
}

int TDigitalCdAudio::Play(std::optional<uint32_t> from, std::optional<uint32_t> to, QObject* notify)
{
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    int32_t start = PositionSector();
    if (from) {
        if (const int error = ToSector(*from, false, start))
            return error;
    }
    const auto in = std::find_if(tracks_.rbegin(), tracks_.rend(),
                                 [start](const Track& t) { return t.Start <= start; });
    if (in == tracks_.rend() || start >= leadOut_)
        return CdAudioError::OutOfRange;
    if (in->Data)
        return CdAudioError::DataTrack;
    int32_t end = AudioEndAfter(start);
    if (to) {
        int32_t asked = 0;
        if (const int error = ToSector(*to, true, asked))
            return error;
        if (asked <= start)
            return CdAudioError::OutOfRange;
        end = std::min(end, asked);
    }
    // Before the play's own thread opens its sink, and before the device is chosen: a server
    // that went away and came back is connected to again.
    SoundServer::Attach();
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull())
        return CdAudioError::NoOutputDevice;

    EndPlay(TMPNotifyValues::nvSuperseded);
    soundFailure_.clear();
    ++playId_;
    play_ = std::make_unique<TCdPlayThread>(handle_, start, end, output, this, playId_);
    playEnd_ = end;
    position_ = start;
    notify_ = notify;
    mode_ = TCdAudioMode::Playing;
    play_->Start();
    return CdAudioError::None;
}

int TDigitalCdAudio::Pause()
{
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    if (mode_ != TCdAudioMode::Playing || !play_)
        return CdAudioError::NonApplicable;
    play_->SetPaused(true);
    mode_ = TCdAudioMode::Paused;
    return CdAudioError::None;
}

int TDigitalCdAudio::Resume(QObject* notify)
{
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    if (mode_ != TCdAudioMode::Paused || !play_)
        return CdAudioError::NonApplicable;
    if (notify != nullptr) {
        if (notify_)
            PostNotify(notify_, TMPNotifyValues::nvSuperseded);
        notify_ = notify;
    }
    play_->SetPaused(false);
    mode_ = TCdAudioMode::Playing;
    return CdAudioError::None;
}

int TDigitalCdAudio::Stop()
{
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    EndPlay(TMPNotifyValues::nvAborted);
    mode_ = TCdAudioMode::Stopped;
    return CdAudioError::None;
}

int TDigitalCdAudio::SetDoor(int driveHandle, bool open)
{
    HandleRequest request;
    std::string device;
    if (driveHandle == 0 || HandleDrive(driveHandle, request, device) != 1)
        return CdAudioError::NoDrive;
    if (device.empty())
        return CdAudioError::Unsupported; // a disc image has no door
    door_.Request(std::move(device), open);
    return CdAudioError::None;
}

void TDigitalCdAudio::EndPlay(TMPNotifyValues why)
{
    if (!play_)
        return;
    play_->Stop();
    position_ = play_->PlayedSector();
    lastFirstFrame_ = play_->FirstFrameDelay();
    lastCpu_ = play_->CpuTime();
    play_.reset();
    if (notify_)
        PostNotify(notify_, why);
    notify_ = nullptr;
}

void TDigitalCdAudio::PostNotify(QObject* receiver, TMPNotifyValues result)
{
    PostAppEvent(receiver, std::make_unique<CdAudioNotifyEvent>(result));
}

bool TDigitalCdAudio::event(QEvent* event)
{
    if (event->type() != CdPlayEndEvent::EventType())
        return QObject::event(event);
    const auto* end = static_cast<CdPlayEndEvent*>(event);
    // A play that was stopped or replaced has told its receiver already.
    if (!play_ || end->PlayId != playId_)
        return true;
    play_->Stop(); // the thread is ending: it posted this as its last act
    position_ = end->Result == TMPNotifyValues::nvSuccessful ? playEnd_ : play_->PlayedSector();
    lastFirstFrame_ = play_->FirstFrameDelay();
    lastCpu_ = play_->CpuTime();
    play_.reset();
    mode_ = TCdAudioMode::Stopped;
    soundFailure_ = end->SoundFailure;
    // Delivered now rather than posted, so no later request can come between the end and the
    // receiver hearing of it.
    const QPointer<QObject> receiver = notify_;
    notify_ = nullptr;
    if (receiver) {
        CdAudioNotifyEvent notify(end->Result);
        QCoreApplication::sendEvent(receiver.data(), &notify);
    }
    return true;
}
