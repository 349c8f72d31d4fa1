#include "app/DiscInfoStore.h"

#include <algorithm>

#include "core/AppPaths.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "platform/profile/ProfileFile.h"

QString CdInfoFilePath()
{
    return ProgramDir() + QStringLiteral("cdinfo.dat");
}

namespace {

// Keys beyond the original section. Older versions ignore them and keep them when they save.
const QLatin1String kSourceKey("Source");
const QLatin1String kAlbumArtistKey("AlbumArtist");
const QLatin1String kReleaseKey("MusicBrainzAlbumId");
const QLatin1String kDiscIdKey("MusicBrainzDiscId");

QString RecordingKey(int k)
{
    return QStringLiteral("MusicBrainzTrackId") + QString::number(k);
}

/// Writes a key that only some discs have: when it has a value, or to clear one stored before.
void WriteOptional(TProfileFile& file, const QString& section, const QString& key,
                   const QString& value)
{
    static const QString absent(QChar(1));
    if (!value.isEmpty() || file.ReadString(section, key, absent) != absent)
        file.WriteString(section, key, value);
}

} // namespace

QString DefaultTrackTitle(int k)
{
    return QStringLiteral("Track") + TwoDigits(k);
}

QString NamesSourceKey(TNamesSource source)
{
    switch (source) {
    case TNamesSource::Typed:
        return QStringLiteral("Typed");
    case TNamesSource::Cddb:
        return QStringLiteral("CDDB");
    case TNamesSource::MusicBrainz:
        return QStringLiteral("MusicBrainz");
    case TNamesSource::None:
        break;
    }
    return {};
}

TNamesSource NamesSourceFromKey(const QString& key)
{
    for (const TNamesSource s :
         {TNamesSource::Typed, TNamesSource::Cddb, TNamesSource::MusicBrainz})
        if (key.compare(NamesSourceKey(s), Qt::CaseInsensitive) == 0)
            return s;
    return TNamesSource::None;
}

void LoadDiscInfo(const QString& key)
{
    TCDInfo& info = OptionsSetting().CDInfo;
    // An empty key names no section; reading the file would only give the defaults.
    const TProfileFile file(key.isEmpty() ? QString() : CdInfoFilePath());
    info.Artist = file.ReadString(key, QStringLiteral("Artist"), QString());
    info.Album = file.ReadString(key, QStringLiteral("Album"), QString());
    info.Year = file.ReadString(key, QStringLiteral("Year"), QString());
    info.Genre = file.ReadInteger(key, QStringLiteral("Genre"), -1);
    info.Comment = file.ReadString(key, QStringLiteral("Comment"), QString());
    info.TrackNumber = file.ReadInteger(key, QStringLiteral("TrackNumber"), 100);
    bool named = !info.Artist.isEmpty() || !info.Album.isEmpty() || !info.Year.isEmpty() ||
                 !info.Comment.isEmpty() || info.Genre > 0;
    info.MbRecordingId.fill(QString());
    const int count = std::min<int32_t>(info.TrackNumber, TCDInfo::MaxTracks);
    for (int k = 1; k <= count; ++k) {
        QString title = file.ReadString(key, QString::number(k), DefaultTrackTitle(k));
        if (title.isEmpty())
            title = DefaultTrackTitle(k);
        named = named || title != DefaultTrackTitle(k);
        info.Track[static_cast<size_t>(k)] = title;
        info.MbRecordingId[static_cast<size_t>(k)] = file.ReadString(key, RecordingKey(k), {});
    }
    const TNamesSource stored = NamesSourceFromKey(file.ReadString(key, kSourceKey, {}));
    info.Source = stored != TNamesSource::None ? stored
                  : named                      ? TNamesSource::Typed
                                               : TNamesSource::None;
    info.AlbumArtist = file.ReadString(key, kAlbumArtistKey, {});
    info.MbReleaseId = file.ReadString(key, kReleaseKey, {});
    info.MbDiscId = file.ReadString(key, kDiscIdKey, {});
}

void SaveDiscInfo(const QString& key)
{
    if (key.isEmpty())
        return;
    const TCDInfo& info = OptionsSetting().CDInfo;
    TProfileFile file(CdInfoFilePath());
    file.WriteString(key, QStringLiteral("Artist"), info.Artist);
    file.WriteString(key, QStringLiteral("Album"), info.Album);
    file.WriteString(key, QStringLiteral("Year"), info.Year);
    file.WriteInteger(key, QStringLiteral("Genre"), info.Genre);
    file.WriteString(key, QStringLiteral("Comment"), info.Comment);
    file.WriteInteger(key, QStringLiteral("TrackNumber"), info.TrackNumber);
    const int count = std::min<int32_t>(info.TrackNumber, TCDInfo::MaxTracks);
    for (int k = 1; k <= count; ++k)
        file.WriteString(key, QString::number(k), info.Track[static_cast<size_t>(k)]);
    WriteOptional(file, key, kSourceKey, NamesSourceKey(info.Source));
    WriteOptional(file, key, kAlbumArtistKey, info.AlbumArtist);
    WriteOptional(file, key, kReleaseKey, info.MbReleaseId);
    WriteOptional(file, key, kDiscIdKey, info.MbDiscId);
    for (int k = 1; k <= count; ++k)
        WriteOptional(file, key, RecordingKey(k), info.MbRecordingId[static_cast<size_t>(k)]);
    file.FlushOrRaise();
}
