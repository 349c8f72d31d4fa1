#include "pipeline/JobPlan.h"

#include "core/ProcessInfo.h"
#include "core/Settings.h"

TJobPlan JobPlanOf(int jobKind, int outputFormat)
{
    using S = TStepType;
    switch (jobKind) {
    case jkRipTracks: {
        TJobPlan plan{{S::Extract}, TOutputPlace::RipEntry, false, QStringLiteral("Encoding")};
        if (outputFormat == ofMP3)
            plan.Steps.push_back(S::Mp3);
        else if (outputFormat == ofOGG)
            plan.Steps.push_back(S::Vorbis);
        else if (outputFormat == ofWMA)
            plan.Steps.push_back(S::Wma);
        return plan;
    }
    case jkWavToMp3:
        return {{S::Resample, S::Mp3},
                TOutputPlace::OutputFolder,
                false,
                QStringLiteral("Encoding WAV to MP3")};
    case jkMp3ToWav:
        return {{S::Mp3}, TOutputPlace::OutputFolder, true, QStringLiteral("Decoding MP3 to WAV")};
    case jkRecordingToMp3:
        return {{S::Mp3}, TOutputPlace::BesideEntry, false, QStringLiteral("Encoding WAV to MP3")};
    case jkWavToOgg:
        return {{S::Resample, S::Vorbis},
                TOutputPlace::OutputFolder,
                false,
                QStringLiteral("Encoding WAV to OGG")};
    case jkWavToWma:
        return {{S::Wma}, TOutputPlace::OutputFolder, false, QStringLiteral("Encoding WAV to WMA")};
    default:
        return {};
    }
}

QString OutputExtensionOf(TStepType type, bool decode)
{
    switch (type) {
    case TStepType::Mp3:
        return decode ? QStringLiteral(".wav") : QStringLiteral(".mp3");
    case TStepType::Wma:
        return QStringLiteral(".wma");
    case TStepType::Vorbis:
        return QStringLiteral(".ogg");
    case TStepType::Extract:
    case TStepType::Resample:
        break;
    }
    return {};
}

int32_t EndCodeOf(TStepType type)
{
    switch (type) {
    case TStepType::Extract:
        return JobCode::ExtractEnded;
    case TStepType::Resample:
        return JobCode::ResampleEnded;
    case TStepType::Mp3:
        return JobCode::Mp3Ended;
    case TStepType::Wma:
        return JobCode::WmaEnded;
    case TStepType::Vorbis:
        return JobCode::OggEnded;
    }
    return 0;
}
