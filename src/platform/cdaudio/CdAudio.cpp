#include "platform/cdaudio/CdAudio.h"

#include "platform/cdaudio/DigitalCdAudio.h"

namespace {

std::function<std::unique_ptr<ICdAudio>()>& Factory()
{
    static std::function<std::unique_ptr<ICdAudio>()> factory;
    return factory;
}

} // namespace

QEvent::Type CdAudioNotifyEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QString CdAudioErrorText(int code)
{
    switch (code) {
    case CdAudioError::None:
        return QStringLiteral("The command completed successfully.");
    case CdAudioError::NotOpen:
        return QStringLiteral("No MCI device open");
    case CdAudioError::NoDrive:
        return QStringLiteral("The CD drive cannot be opened.");
    case CdAudioError::NotReady:
        return QStringLiteral("The device is not ready.");
    case CdAudioError::OutOfRange:
        return QStringLiteral("The specified parameter is out of range for the specified command.");
    case CdAudioError::Unsupported:
        return QStringLiteral("The device does not support this command.");
    case CdAudioError::NonApplicable:
        return QStringLiteral("The specified command cannot be performed in the current mode.");
    case CdAudioError::NoOutputDevice:
        return QStringLiteral(
            "There is no sound output device to play on; is the sound server running?");
    case CdAudioError::DataTrack:
        return QStringLiteral("The specified command cannot be performed on a data track.");
    default:
        return QStringLiteral("Unknown device error %1.").arg(code);
    }
}

std::unique_ptr<ICdAudio> CreateCdAudio()
{
    if (Factory())
        return Factory()();
    return std::make_unique<TDigitalCdAudio>();
}

void SetCdAudioFactoryForTests(std::function<std::unique_ptr<ICdAudio>()> factory)
{
    Factory() = std::move(factory);
}
