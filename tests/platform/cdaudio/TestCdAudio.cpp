#include "TestCdAudio.h"

#include <QCoreApplication>

#include "core/AppEvents.h"

namespace {

QString Tmsf(const std::optional<uint32_t>& p)
{
    if (!p)
        return QStringLiteral("-");
    return QStringLiteral("%1:%2:%3:%4")
        .arg(TmsfTrack(*p))
        .arg(TmsfMinutes(*p))
        .arg(TmsfSeconds(*p))
        .arg(TmsfFrames(*p));
}

} // namespace

bool TTestCdAudio::Finish(TMPNotifyValues result, const QString& soundFailure)
{
    if (!pending_)
        return false;
    mode_ = TCdAudioMode::Stopped;
    soundFailure_ = soundFailure;
    QObject* receiver = pending_.data();
    pending_ = nullptr;
    CdAudioNotifyEvent event(result);
    QCoreApplication::sendEvent(receiver, &event);
    return true;
}

void TTestCdAudio::EndPending(TMPNotifyValues why)
{
    if (pending_)
        PostAppEvent(pending_.data(), std::make_unique<CdAudioNotifyEvent>(why));
    pending_ = nullptr;
}

int TTestCdAudio::Open(int driveHandle)
{
    Requests << QStringLiteral("Open %1").arg(driveHandle);
    if (mode_ != TCdAudioMode::NotOpen)
        return CdAudioError::NonApplicable;
    if (driveHandle == 0)
        return CdAudioError::NoDrive;
    if (const int e = Failure(QStringLiteral("Open")))
        return e;
    mode_ = TCdAudioMode::Stopped;
    return 0;
}

int TTestCdAudio::Close()
{
    Requests << QStringLiteral("Close");
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    EndPending(TMPNotifyValues::nvAborted);
    mode_ = TCdAudioMode::NotOpen;
    return 0;
}

int TTestCdAudio::SetTimeFormat(int format)
{
    Requests << QStringLiteral("TimeFormat %1").arg(format);
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    return format == kTimeFormatTmsf ? 0 : CdAudioError::Unsupported;
}

int TTestCdAudio::TrackPosition(int track, uint32_t& position)
{
    Requests << QStringLiteral("TrackPosition %1").arg(track);
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    if (track < FirstTrack || track > LastTrack)
        return CdAudioError::OutOfRange;
    position = MakeTmsf(track, 0, 0, 0);
    return 0;
}

int TTestCdAudio::Play(std::optional<uint32_t> from, std::optional<uint32_t> to, QObject* notify)
{
    Requests << QStringLiteral("Play %1-%2").arg(Tmsf(from), Tmsf(to));
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    if (const int e = Failure(QStringLiteral("Play")))
        return e;
    EndPending(TMPNotifyValues::nvSuperseded);
    pending_ = notify;
    mode_ = TCdAudioMode::Playing;
    return 0;
}

int TTestCdAudio::Pause()
{
    Requests << QStringLiteral("Pause");
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    if (mode_ != TCdAudioMode::Playing)
        return CdAudioError::NonApplicable;
    mode_ = TCdAudioMode::Paused;
    return 0;
}

int TTestCdAudio::Resume(QObject* notify)
{
    Requests << QStringLiteral("Resume");
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    if (const int e = Failure(QStringLiteral("Resume")))
        return e;
    if (mode_ != TCdAudioMode::Paused)
        return CdAudioError::NonApplicable;
    if (notify != nullptr) {
        EndPending(TMPNotifyValues::nvSuperseded);
        pending_ = notify;
    }
    mode_ = TCdAudioMode::Playing;
    return 0;
}

int TTestCdAudio::Stop()
{
    Requests << QStringLiteral("Stop");
    if (mode_ == TCdAudioMode::NotOpen)
        return CdAudioError::NotOpen;
    EndPending(TMPNotifyValues::nvAborted);
    mode_ = TCdAudioMode::Stopped;
    return 0;
}

int TTestCdAudio::SetDoor(int driveHandle, bool open)
{
    Requests << QStringLiteral("Door %1 %2")
                    .arg(open ? QStringLiteral("open") : QStringLiteral("closed"))
                    .arg(driveHandle);
    return driveHandle == 0 ? CdAudioError::NoDrive : 0;
}

TestCdAudioScope::TestCdAudioScope()
{
    SetCdAudioFactoryForTests([this] {
        auto device = std::make_unique<TTestCdAudio>();
        last_ = device.get();
        return device;
    });
}

TestCdAudioScope::~TestCdAudioScope()
{
    SetCdAudioFactoryForTests(nullptr);
}
