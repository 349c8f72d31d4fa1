#include "metadata/MusicBrainz.h"

#include <discid/discid.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/cdaccess/CdAccessTypes.h"
#include "platform/cddb/CddbDisc.h"

namespace {

QString Clean(const QJsonValue& value)
{
    QString text = value.toString();
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    return text;
}

QString JoinCredit(const QJsonArray& credit, QString* firstId)
{
    QString out;
    for (const QJsonValue& part : credit) {
        const QJsonObject o = part.toObject();
        QString name = Clean(o.value(QLatin1String("name")));
        if (name.isEmpty())
            name = Clean(o.value(QLatin1String("artist")).toObject().value(QLatin1String("name")));
        if (firstId && firstId->isEmpty())
            *firstId =
                o.value(QLatin1String("artist")).toObject().value(QLatin1String("id")).toString();
        out += name + Clean(o.value(QLatin1String("joinphrase")));
    }
    return out;
}

/// The medium of a release that holds the disc, or null.
QJsonObject MediumOf(const QJsonArray& media, const QString& discId, int trackCount)
{
    for (const QJsonValue& m : media)
        for (const QJsonValue& d : m.toObject().value(QLatin1String("discs")).toArray())
            if (d.toObject().value(QLatin1String("id")).toString() == discId)
                return m.toObject();
    for (const QJsonValue& m : media)
        if (m.toObject().value(QLatin1String("track-count")).toInt(-1) == trackCount)
            return m.toObject();
    return {};
}

} // namespace

QString MusicBrainzDiscId(const CddbDisc& disc, int firstTrack)
{
    const int count = static_cast<int>(disc.Offsets.size());
    const int last = firstTrack + count - 1;
    if (count == 0 || firstTrack < 1 || last > 99)
        return {};
    int offsets[100] = {};
    offsets[0] = disc.LeadOut;
    for (int i = 0; i < count; ++i)
        offsets[firstTrack + i] = disc.Offsets[static_cast<size_t>(i)];
    DiscId* d = discid_new();
    if (!d)
        return {};
    QString id;
    if (discid_put(d, firstTrack, last, offsets))
        id = QString::fromLatin1(discid_get_id(d));
    discid_free(d);
    return id;
}

std::optional<TMbToc> MusicBrainzToc(const TocRecord& toc)
{
    const std::optional<CddbDisc> disc = CddbDisc::FromToc(toc);
    if (!disc)
        return std::nullopt;
    // The sessions of a multi-session disc lie 11400 frames apart: the lead-out and lead-in
    // between them.
    constexpr int32_t kSessionGap = 11400;
    TMbToc out;
    out.FirstTrack = toc.FirstTrack;
    out.Offsets = disc->Offsets;
    out.LeadOut = disc->LeadOut;
    int last = toc.LastTrack;
    while (last >= toc.FirstTrack && toc.Entries[static_cast<size_t>(last - 1)].IsData()) {
        out.LeadOut = out.Offsets.back() - kSessionGap;
        out.Offsets.pop_back();
        --last;
    }
    if (out.Offsets.empty() || out.LeadOut < out.Offsets.back())
        return std::nullopt;
    return out;
}

std::optional<std::vector<TMbRelease>>
ParseMusicBrainzDisc(const QByteArray& json, const QString& discId, int trackCount, QString* error)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull() || !doc.isObject()) {
        if (error)
            *error =
                parseError.error != QJsonParseError::NoError
                    ? QStringLiteral("the answer is not JSON (%1)").arg(parseError.errorString())
                    : QStringLiteral("the answer is not a JSON object");
        return std::nullopt;
    }
    const QJsonObject root = doc.object();
    if (!root.value(QLatin1String("releases")).isArray()) {
        if (error)
            *error = QStringLiteral("the answer holds no release list");
        return std::nullopt;
    }
    std::vector<TMbRelease> releases;
    for (const QJsonValue& value : root.value(QLatin1String("releases")).toArray()) {
        const QJsonObject r = value.toObject();
        const QJsonArray media = r.value(QLatin1String("media")).toArray();
        const QJsonObject medium = MediumOf(media, discId, trackCount);
        if (medium.isEmpty())
            continue;
        TMbRelease release;
        release.Id = r.value(QLatin1String("id")).toString();
        release.Title = Clean(r.value(QLatin1String("title")));
        release.Artist =
            JoinCredit(r.value(QLatin1String("artist-credit")).toArray(), &release.ArtistId);
        release.Year = r.value(QLatin1String("date")).toString().left(4);
        release.Country = Clean(r.value(QLatin1String("country")));
        release.Barcode = Clean(r.value(QLatin1String("barcode")));
        const QJsonArray labels = r.value(QLatin1String("label-info")).toArray();
        if (!labels.isEmpty())
            release.Label = Clean(labels.first()
                                      .toObject()
                                      .value(QLatin1String("label"))
                                      .toObject()
                                      .value(QLatin1String("name")));
        release.MediumPosition = medium.value(QLatin1String("position")).toInt();
        release.MediumCount = static_cast<int>(media.size());
        int position = 0;
        for (const QJsonValue& t : medium.value(QLatin1String("tracks")).toArray()) {
            const QJsonObject track = t.toObject();
            TMbRelease::Track out;
            out.Position = track.value(QLatin1String("position")).toInt(++position);
            position = out.Position;
            out.Title = Clean(track.value(QLatin1String("title")));
            if (out.Title.isEmpty())
                out.Title = Clean(track.value(QLatin1String("recording"))
                                      .toObject()
                                      .value(QLatin1String("title")));
            out.Id = track.value(QLatin1String("id")).toString();
            out.RecordingId = track.value(QLatin1String("recording"))
                                  .toObject()
                                  .value(QLatin1String("id"))
                                  .toString();
            release.Tracks.push_back(out);
        }
        releases.push_back(std::move(release));
    }
    return releases;
}
