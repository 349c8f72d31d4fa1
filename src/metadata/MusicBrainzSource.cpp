#include "metadata/MusicBrainzSource.h"

#include <QTimer>

#include "core/Settings.h"
#include "metadata/MusicBrainzLookup.h"
#include "platform/cddb/CddbDisc.h"

TDiscNames NamesOfRelease(const TMbRelease& release, int firstTrack, const QString& discId,
                          const QString& coverServer)
{
    TDiscNames names;
    names.Source = TNamesSource::MusicBrainz;
    // What the service leaves out leaves the disc's own value.
    if (!release.Artist.isEmpty())
        names.Artist = release.Artist;
    if (!release.Title.isEmpty())
        names.Album = release.Title;
    if (!release.Year.isEmpty())
        names.Year = release.Year;
    for (const TMbRelease::Track& t : release.Tracks) {
        const int track = firstTrack + t.Position - 1;
        if (t.Position < 1 || track > TCDInfo::MaxTracks)
            continue;
        if (!t.Title.trimmed().isEmpty())
            names.Titles[track] = t.Title;
        if (!t.RecordingId.isEmpty())
            names.RecordingIds[track] = t.RecordingId;
    }
    names.HasTitles = !names.Titles.empty();
    names.AlbumArtist = release.Artist;
    names.ReleaseId = release.Id;
    names.DiscId = discId;
    if (!release.Id.isEmpty() && !coverServer.trimmed().isEmpty())
        names.CoverUrl = TMusicBrainzLookup::CoverUrl(coverServer, release.Id).toString();
    return names;
}

TMusicBrainzSource::TMusicBrainzSource(QObject* parent)
    : IDiscLookup(parent), lookup_(new TMusicBrainzLookup(this))
{
}

TMusicBrainzSource::~TMusicBrainzSource()
{
    Abort();
}

void TMusicBrainzSource::Abort()
{
    ++generation_;
    lookup_->Abort();
}

void TMusicBrainzSource::Later(TDiscFound found, Done done)
{
    QTimer::singleShot(
        0, this,
        [this, generation = generation_, found = std::move(found), done = std::move(done)] {
            if (generation == generation_)
                done(found);
        });
}

void TMusicBrainzSource::Find(const TDiscQuery& disc, Done done)
{
    Abort();
    found_.clear();
    const std::optional<TMbToc> toc = MusicBrainzToc(disc.Toc);
    const QString id =
        toc ? MusicBrainzDiscId(CddbDisc{toc->Offsets, toc->LeadOut}, toc->FirstTrack) : QString();
    if (id.isEmpty()) {
        Later({{}, QStringLiteral("the disc's table of contents gives no disc id")},
              std::move(done));
        return;
    }
    const TMusicBrainzOptions settings = OptionsSetting().MusicBrainz;
    const int first = toc->FirstTrack;
    lookup_->LookupDisc(settings.Server, id, static_cast<int>(toc->Offsets.size()),
                        [this, id, first, cover = settings.CoverArtServer,
                         done = std::move(done)](const TMbLookupResult& r) {
                            TDiscFound found;
                            found.Error = r.Error;
                            for (const TMbRelease& release : r.Releases) {
                                TDiscCandidate c;
                                c.Title = release.Title;
                                if (release.MediumCount > 1)
                                    c.Title += QStringLiteral(" (disc %1 of %2)")
                                                   .arg(release.MediumPosition)
                                                   .arg(release.MediumCount);
                                c.Artist = release.Artist;
                                c.Year = release.Year;
                                c.Country = release.Country;
                                c.Label = release.Label;
                                c.Barcode = release.Barcode;
                                c.Id = release.Id;
                                c.Names = NamesOfRelease(release, first, id, cover);
                                found.Candidates.push_back(std::move(c));
                            }
                            found_ = found.Candidates;
                            done(found);
                        });
}

void TMusicBrainzSource::Names(size_t index, Done done)
{
    Abort();
    TDiscFound found;
    if (index < found_.size())
        found.Candidates.push_back(found_[index]);
    else
        found.Error = QStringLiteral("no such release");
    Later(std::move(found), std::move(done));
}
