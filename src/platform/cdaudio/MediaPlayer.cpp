#include "platform/cdaudio/MediaPlayer.h"

#include "core/ErrorHandler.h"

TMediaPlayer::TMediaPlayer(ICdAudio& device, QObject* parent) : QObject(parent), device_(device) {}

TMediaPlayer::~TMediaPlayer() = default;

void TMediaPlayer::Check(int error)
{
    if (error != CdAudioError::None)
        throw EMCIDeviceError(CdAudioErrorText(error));
}

void TMediaPlayer::CheckOpen() const
{
    if (!Opened())
        throw EMCIDeviceError(CdAudioErrorText(CdAudioError::NotOpen));
}

void TMediaPlayer::Open()
{
    if (Opened())
        Close();
    if (DeviceType != TMPDeviceTypes::dtCDAudio)
        throw EMCIDeviceError(CdAudioErrorText(CdAudioError::Unsupported));
    Check(device_.Open(DriveHandle));
    const int error = device_.SetTimeFormat(kTimeFormatTmsf);
    if (error != CdAudioError::None) {
        device_.Close();
        Check(error);
    }
}

int TMediaPlayer::Close()
{
    startPos_.reset();
    endPos_.reset();
    if (!Opened())
        return CdAudioError::None;
    return device_.Close();
}

uint32_t TMediaPlayer::TrackPosition(int track)
{
    CheckOpen();
    uint32_t position = 0;
    Check(device_.TrackPosition(track, position));
    return position;
}

void TMediaPlayer::Play()
{
    CheckOpen();
    const std::optional<uint32_t> from = startPos_;
    const std::optional<uint32_t> to = endPos_;
    startPos_.reset();
    endPos_.reset();
    Check(device_.Play(from, to, this));
}

void TMediaPlayer::Pause()
{
    CheckOpen();
    if (device_.Mode() == TCdAudioMode::Playing)
        Check(device_.Pause());
    else if (device_.Mode() == TCdAudioMode::Paused)
        Resume();
}

void TMediaPlayer::Resume()
{
    CheckOpen();
    if (device_.Resume(this) != CdAudioError::None)
        Play();
}

int TMediaPlayer::Stop()
{
    CheckOpen();
    return device_.Stop();
}

bool TMediaPlayer::event(QEvent* event)
{
    if (event->type() != CdAudioNotifyEvent::EventType())
        return QObject::event(event);
    notifyValue_ = static_cast<CdAudioNotifyEvent*>(event)->Result;
    if (OnNotify)
        GuardedCall(OnNotify);
    return true;
}
