#include "pipeline/RipFiles.h"

#include <algorithm>

#include "core/FileUtil.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "metadata/Genres.h"
#include "pipeline/JobPlan.h"
#include "pipeline/NamePattern.h"

namespace {

/// Every component can be a file name here and none leads out of the folder: the expander
/// promises it, and this keeps the promise checked where files are written.
bool InsideFolder(const QString& relative, const QStringList& extensions)
{
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/')))
        return false;
    const QStringList parts = relative.split(QLatin1Char('/'));
    if (!std::all_of(parts.begin(), parts.end(), IsValidFileName))
        return false;
    return std::all_of(extensions.begin(), extensions.end(),
                       [&](const QString& ext) { return IsValidFileName(parts.last() + ext); });
}

} // namespace

QStringList TRipEntryFiles::All() const
{
    QStringList files{Wav};
    if (!Encoded.isEmpty())
        files << Encoded;
    return files;
}

TRipNaming RipNamingOf(const TOptionsSetting& settings, const QByteArray& cover)
{
    const TCDInfo& disc = settings.CDInfo;
    TRipNaming naming;
    naming.OutputFolder = settings.CommonOptions.OutputFolder;
    naming.OutputFormat = settings.CommonOptions.OutputFormat;
    naming.NamePattern = settings.CommonOptions.NamePattern;
    naming.Artist = disc.Artist;
    naming.Album = disc.Album;
    naming.Year = disc.Year;
    // The empty first entry of the list is no genre.
    naming.Genre = disc.Genre > 0 ? GenreNameAt(disc.Genre) : QString();
    naming.Comment = disc.Comment;
    naming.TrackCount = disc.LastTrack;
    if (disc.Source == TNamesSource::MusicBrainz) {
        naming.AlbumArtist = disc.AlbumArtist;
        naming.MbAlbumId = disc.MbReleaseId;
        naming.MbDiscId = disc.MbDiscId;
        naming.MbRecordingIds = QStringList(disc.MbRecordingId.begin(), disc.MbRecordingId.end());
    }
    if (settings.Tags.EmbedCover)
        naming.Cover = FrontCoverOf(cover);
    return naming;
}

std::vector<TRipEntryFiles> RipJobFiles(const QStringList& entries, const TRipNaming& naming)
{
    const TJobPlan plan = JobPlanOf(jkRipTracks, naming.OutputFormat);
    const QString encodedExt = OutputExtensionOf(plan);
    QStringList extensions{QStringLiteral(".wav")};
    if (!encodedExt.isEmpty())
        extensions << encodedExt;

    std::vector<TRipEntryFiles> files(static_cast<size_t>(entries.size()));
    int highest = 0;
    for (size_t k = 0; k < files.size(); ++k) {
        const QString& entry = entries[static_cast<qsizetype>(k)];
        int32_t track = 0;
        files[k].Track = ParseDecimal(entry.left(2), track) ? track : 0;
        files[k].Title = entry.mid(2);
        highest = std::max(highest, files[k].Track);
    }
    const int count = naming.TrackCount > 0 ? naming.TrackCount : highest;

    // The names each entry asks for; those that can name a file are then made distinct.
    QStringList wanted;
    std::vector<size_t> named;
    for (size_t k = 0; k < files.size(); ++k) {
        TRipEntryFiles& f = files[k];
        f.Tags = {f.Title,
                  naming.Artist,
                  naming.Album,
                  naming.Year,
                  naming.Genre,
                  naming.Comment,
                  f.Track,
                  count,
                  naming.AlbumArtist,
                  naming.MbAlbumId,
                  naming.MbRecordingIds.value(f.Track),
                  naming.MbDiscId,
                  naming.Cover};
        QString name;
        if (naming.NamePattern.isEmpty()) {
            name = f.Title; // as it stands: a title that names no file fails its track
        } else {
            const TNameFields fields{naming.Artist, naming.Album, naming.Year, naming.Genre,
                                     f.Title,       f.Track,      count};
            name = ExpandNamePattern(naming.NamePattern, fields);
        }
        // Without a pattern a "/" in a title is no folder: such a title names no file.
        const bool folders = !naming.NamePattern.isEmpty();
        if (!naming.OutputFolder.isEmpty() && (folders || !name.contains(QLatin1Char('/'))) &&
            InsideFolder(name, extensions)) {
            wanted << name;
            named.push_back(k);
        } else {
            f.Name = name;
        }
    }
    const QStringList distinct = DistinctNames(wanted);
    for (size_t i = 0; i < named.size(); ++i) {
        TRipEntryFiles& f = files[named[i]];
        f.Name = distinct[static_cast<qsizetype>(i)];
        // " (2)" may carry a name just past the length limit.
        f.NameValid = InsideFolder(f.Name, extensions);
    }
    const QString folder = IncludeTrailingSlash(naming.OutputFolder);
    for (TRipEntryFiles& f : files) {
        f.Wav = folder + f.Name + QStringLiteral(".wav");
        if (!encodedExt.isEmpty())
            f.Encoded = folder + f.Name + encodedExt;
    }
    return files;
}
