#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

struct CddbDisc;
struct TocRecord;

/// The MusicBrainz disc id of a disc (28 characters of modified base64), from libdiscid;
/// empty when the table of contents is impossible. firstTrack is the number of the disc's
/// first track (not always 1).
QString MusicBrainzDiscId(const CddbDisc& disc, int firstTrack);

/// The part of a table of contents MusicBrainz identifies a disc by: its tracks up to the last
/// audio one, and the lead-out, which on a disc with a data session after the audio (an
/// Enhanced CD) is that session's start less the 11400 frames between the sessions.
struct TMbToc {
    int FirstTrack = 0;
    std::vector<int32_t> Offsets;
    int32_t LeadOut = 0;
};
/// Nothing for a table without an audio track or with impossible addresses. The table is in
/// MSF form.
std::optional<TMbToc> MusicBrainzToc(const TocRecord& toc);

/// One release a disc id belongs to, with the titles of the medium that holds the disc.
struct TMbRelease {
    QString Id;
    QString Title;
    QString Artist;   ///< the artist credit joined with its join phrases ("A & B")
    QString ArtistId; ///< the first credited artist's id
    QString Year;
    QString Country;
    QString Label;
    QString Barcode;
    int MediumPosition = 0;
    int MediumCount = 0;
    /// By position on the medium from 1; a medium may list fewer tracks than the disc has.
    struct Track {
        int Position = 0;
        QString Title;
        QString Id;          ///< the track's MusicBrainz id
        QString RecordingId; ///< the id of its recording, which tags call the track id
    };
    std::vector<Track> Tracks;
};

/// The releases of a discid answer whose media hold the disc: the medium whose disc list has
/// discId, or failing that the first with trackCount tracks; a release with neither is left
/// out. nullopt (and why in error) for an answer that is not the JSON of a discid lookup.
/// Control characters in titles become blanks; nothing else is changed.
std::optional<std::vector<TMbRelease>> ParseMusicBrainzDisc(const QByteArray& json,
                                                            const QString& discId, int trackCount,
                                                            QString* error = nullptr);
