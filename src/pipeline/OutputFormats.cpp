#include "pipeline/OutputFormats.h"

#include <algorithm>

#include "audio/FlacOut.h"
#include "audio/OpusOut.h"
#include "core/Settings.h"

QString TOutputFormat::Item() const
{
    return Name + QStringLiteral(" file(*.") + Name.toUpper() + QLatin1Char(')');
}

QString TOutputFormat::ConvertGroup() const
{
    return QStringLiteral("Encoding WAV to ") + Name;
}

namespace {

std::unique_ptr<TACSFileOut> MakeFlac(const TOptionsSetting& settings)
{
    auto flac = std::make_unique<TFlacOut>();
    flac->SetCompressionLevel(std::clamp(settings.FlacOptions.CompressionLevel, 0, 8));
    flac->SetVerify(settings.FlacOptions.Verify);
    return flac;
}

std::unique_ptr<TACSFileOut> MakeOpus(const TOptionsSetting& settings)
{
    auto opus = std::make_unique<TOpusOut>();
    opus->SetBitrate(settings.OpusOptions.Bitrate);
    return opus;
}

std::vector<TOutputFormat> MakeTable()
{
    using S = TStepType;
    using T = TTagKind;
    const QString lossless = QStringLiteral("FLAC/Opus");
    // In OutputFormat order: the number is the options dialog's list position.
    return {
        {.Number = ofMP3,
         .Name = QStringLiteral("MP3"),
         .Extension = QStringLiteral(".mp3"),
         .Encode = S::Mp3,
         .Tag = T::Id3v2,
         .OptionsPage = QStringLiteral("LAME"),
         .ConvertKind = jkWavToMp3,
         .ResampleBelow = 44100},
        {.Number = ofWAV, .Name = QStringLiteral("WAV"), .Extension = QStringLiteral(".wav")},
        {.Number = ofOGG,
         .Name = QStringLiteral("OGG"),
         .Extension = QStringLiteral(".ogg"),
         .Encode = S::Vorbis,
         .Tag = T::VorbisComment,
         .OptionsPage = QStringLiteral("OGG"),
         .ConvertKind = jkWavToOgg,
         .ResampleBelow = 44100},
        // The WMA tool writes its own author and description.
        {.Number = ofWMA,
         .Name = QStringLiteral("WMA"),
         .Extension = QStringLiteral(".wma"),
         .Encode = S::Wma,
         .OptionsPage = QStringLiteral("WMA"),
         .ConvertKind = jkWavToWma},
        // Both take any rate (libopusenc resamples itself); the check step refuses what the
        // reader cannot deliver before an encoder is started on it.
        {.Number = ofFLAC,
         .Name = QStringLiteral("FLAC"),
         .Extension = QStringLiteral(".flac"),
         .Encode = S::Encoder,
         .Tag = T::VorbisComment,
         .OptionsPage = lossless,
         .ConvertKind = jkWavToFlac,
         .ConvertMenu = QStringLiteral("WAV to &FLAC..."),
         .ResampleBelow = 0,
         .MakeEncoder = MakeFlac},
        {.Number = ofOpus,
         .Name = QStringLiteral("Opus"),
         .Extension = QStringLiteral(".opus"),
         .Encode = S::Encoder,
         .Tag = T::VorbisComment,
         .OptionsPage = lossless,
         .ConvertKind = jkWavToOpus,
         .ConvertMenu = QStringLiteral("WAV to O&pus..."),
         .ResampleBelow = 0,
         .MakeEncoder = MakeOpus},
    };
}

} // namespace

const std::vector<TOutputFormat>& OutputFormats()
{
    static const std::vector<TOutputFormat> rows = MakeTable();
    return rows;
}

const TOutputFormat* OutputFormatOf(int32_t number)
{
    const std::vector<TOutputFormat>& rows = OutputFormats();
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [number](const TOutputFormat& f) { return f.Number == number; });
    return row == rows.end() ? nullptr : &*row;
}

const TOutputFormat* ConversionFormatOf(int jobKind)
{
    const std::vector<TOutputFormat>& rows = OutputFormats();
    const auto row = std::find_if(rows.begin(), rows.end(), [jobKind](const TOutputFormat& f) {
        return f.ConvertKind != 0 && f.ConvertKind == jobKind;
    });
    return row == rows.end() ? nullptr : &*row;
}
