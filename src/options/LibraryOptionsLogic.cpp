#include "options/LibraryOptionsLogic.h"

#include <algorithm>

#include "core/Settings.h"
#include "core/TextUtil.h"
#include "metadata/Genres.h"
#include "options/OptionSetLogic.h"
#include "pipeline/NamePattern.h"
#include "pipeline/OutputFormats.h"
#include "pipeline/RipFiles.h"

TLibraryOptionValues TLibraryOptionsLogic::Open(const TOptionsSetting& s)
{
    TLibraryOptionValues v;
    v.FlacLevel = std::clamp<int32_t>(s.FlacOptions.CompressionLevel, 0, 8);
    v.FlacVerify = s.FlacOptions.Verify;
    v.OpusBitrate = std::clamp<int32_t>(s.OpusOptions.Bitrate, 6, 512);
    v.WriteTags = s.Tags.Write;
    v.NamePattern = s.CommonOptions.NamePattern;
    return v;
}

QString TLibraryOptionsLogic::Check(const TLibraryOptionValues& v)
{
    return NamePatternProblem(v.NamePattern);
}

bool TLibraryOptionsLogic::Store(const TLibraryOptionValues& v, TOptionsSetting& s)
{
    if (!Check(v).isEmpty())
        return false;
    s.FlacOptions.CompressionLevel = std::clamp(v.FlacLevel, 0, 8);
    s.FlacOptions.Verify = v.FlacVerify;
    s.OpusOptions.Bitrate = std::clamp(v.OpusBitrate, 6, 512);
    s.Tags.Write = v.WriteTags;
    s.CommonOptions.NamePattern = v.NamePattern;
    return true;
}

QString TLibraryOptionsLogic::Example(const TLibraryOptionValues& v, const TOptionFormValues& form,
                                      const TExampleTrack& track)
{
    const QString problem = Check(v);
    if (!problem.isEmpty())
        return problem;
    TRipNaming naming;
    naming.OutputFolder = form.OutputDir;
    naming.OutputFormat = form.OutputFormat;
    naming.NamePattern = v.NamePattern;
    naming.Artist = form.Artist;
    naming.Album = form.Album;
    naming.Year = form.Year;
    naming.Genre = form.Genre > 0 ? GenreNameAt(form.Genre) : QString();
    naming.Comment = form.Comment;
    naming.TrackCount = track.Count;
    const TRipEntryFiles files =
        RipJobFiles({TwoDigits(track.Number) + track.Title}, naming).front();
    return files.Encoded.isEmpty() ? files.Wav : files.Encoded;
}

QStringList TLibraryOptionsLogic::CommonPatterns()
{
    return {QStringLiteral("%A/%d/%n - %t"), QStringLiteral("%A - %d/%n %t"),
            QStringLiteral("%n - %t")};
}

QString TLibraryOptionsLogic::FlacOpusCaption()
{
    const TOutputFormat* flac = OutputFormatOf(ofFLAC);
    return flac != nullptr ? flac->OptionsPage : QString();
}
