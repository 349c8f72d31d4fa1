#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include <QString>

#include "core/Settings.h"

/// What a lookup found for a disc, whichever service it asked: the one result every source
/// gives and the one thing the track list and the disc information take names from. Fields a
/// source does not know stay unset (or empty) and leave what the disc has.
struct TDiscNames {
    TNamesSource Source = TNamesSource::None;
    std::optional<QString> Artist;
    std::optional<QString> Album;
    std::optional<QString> Year;
    /// Position in the genre list, -1 for a genre that is not one of its names.
    std::optional<int32_t> Genre;
    /// Titles by disc track number.
    std::map<int, QString> Titles;
    /// A record gave the disc's titles; without one the lookup changes nothing.
    bool HasTitles = false;

    // What identifies the names in the service they came from (MusicBrainz): the release,
    // the disc id, each track's recording by disc track number, and the release's artist.
    QString AlbumArtist;
    QString ReleaseId;
    QString DiscId;
    std::map<int, QString> RecordingIds;
    /// Where the front cover can be fetched; empty when the source has none.
    QString CoverUrl;
};

/// Copies the disc's own names (artist, album, year, genre) a source knows into info; what
/// it does not know stays as it is. Track titles are the caller's: they go by its rows.
inline void ApplyDiscFields(const TDiscNames& names, TCDInfo& info)
{
    if (names.Artist)
        info.Artist = *names.Artist;
    if (names.Album)
        info.Album = *names.Album;
    if (names.Year)
        info.Year = *names.Year;
    if (names.Genre)
        info.Genre = *names.Genre;
}
