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

QString DefaultTrackTitle(int k)
{
    return QStringLiteral("Track") + TwoDigits(k);
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
    const int count = std::min<int32_t>(info.TrackNumber, TCDInfo::MaxTracks);
    for (int k = 1; k <= count; ++k) {
        QString title = file.ReadString(key, QString::number(k), DefaultTrackTitle(k));
        if (title.isEmpty())
            title = DefaultTrackTitle(k);
        info.Track[static_cast<size_t>(k)] = title;
    }
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
    file.FlushOrRaise();
}
