#include "pipeline/JobPlan.h"

#include <algorithm>

#include "core/FileUtil.h"
#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "encoders/LameOutput.h"
#include "pipeline/OutputFormats.h"

bool IsEncodeStep(TStepType type)
{
    return type != TStepType::Extract && type != TStepType::Resample &&
           type != TStepType::Normalize;
}

TJobPlan JobPlanOf(int jobKind, int outputFormat, bool normalizeStep)
{
    using S = TStepType;
    switch (jobKind) {
    case jkRipTracks: {
        TJobPlan plan{{S::Extract}, TOutputPlace::RipEntry, false, QStringLiteral("Encoding")};
        if (normalizeStep)
            plan.Steps.push_back(S::Normalize);
        if (const TOutputFormat* format = OutputFormatOf(outputFormat)) {
            plan.Format = format->Number;
            if (format->Encode)
                plan.Steps.push_back(*format->Encode);
        }
        return plan;
    }
    case jkMp3ToWav:
        return {{S::Mp3}, TOutputPlace::OutputFolder, true, QStringLiteral("Decoding MP3 to WAV")};
    case jkRecordingToMp3: {
        TJobPlan plan{
            {S::Mp3}, TOutputPlace::BesideEntry, false, QStringLiteral("Encoding WAV to MP3")};
        plan.Format = ofMP3;
        return plan;
    }
    default:
        break;
    }
    // The conversions of picked WAV files, one per format that has one.
    const TOutputFormat* format = ConversionFormatOf(jobKind);
    if (format == nullptr || !format->Encode)
        return {};
    TJobPlan plan{{}, TOutputPlace::OutputFolder, false, format->ConvertGroup()};
    if (format->ResampleBelow >= 0)
        plan.Steps.push_back(S::Resample);
    plan.Steps.push_back(*format->Encode);
    plan.ResampleBelow = format->ResampleBelow;
    plan.Format = format->Number;
    return plan;
}

bool EncodedAsItIs(const TJobPlan& plan, int sampleRate, bool isFloat)
{
    const bool feedsLame = !plan.Decode && std::find(plan.Steps.begin(), plan.Steps.end(),
                                                     TStepType::Mp3) != plan.Steps.end();
    return sampleRate >= plan.ResampleBelow && !(isFloat && feedsLame);
}

QString DecodeInputRefusal(const TJobPlan& plan, const QString& input)
{
    if (plan.Decode && FileExists(input) && !FileStartsLikeMp3(input))
        return NotAnMp3Text(input);
    return {};
}

QString OutputExtensionOf(const TJobPlan& plan)
{
    if (plan.Decode)
        return QStringLiteral(".wav");
    const TOutputFormat* format = OutputFormatOf(plan.Format);
    return format != nullptr && format->Encode ? format->Extension : QString();
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
    case TStepType::Encoder:
        return JobCode::EncoderEnded;
    case TStepType::Normalize:
        return JobCode::NormalizeEnded;
    }
    return 0;
}
