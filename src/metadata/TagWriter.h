#pragma once

#include <QByteArray>
#include <QString>

/// Which kind of tag a format carries.
enum class TTagKind {
    None,          ///< WAV and WMA (its tool writes its own author and description)
    Id3v2,         ///< MP3: an ID3v2.4 tag at the start; the ID3v1 tag at the end is separate
    VorbisComment, ///< FLAC, Ogg Vorbis, Opus
};

/// A front cover to embed: the image's bytes and their type.
struct TFrontCover {
    QByteArray Data;
    QString Mime; ///< "image/jpeg" or "image/png"
    bool IsEmpty() const { return Data.isEmpty(); }
};

/// The cover image holds, typed by its content (a name or a server's word may lie); no cover
/// for anything but a JPEG or PNG image.
TFrontCover FrontCoverOf(const QByteArray& image);

/// The names a track's file is tagged with, exactly as the user typed them.
struct TTagFields {
    QString Title;
    QString Artist;
    QString Album;
    QString Year;
    QString Genre; ///< the genre's name; empty for none
    QString Comment;
    int Track = 0;      ///< the track's number on the disc
    int TrackTotal = 0; ///< the disc's number of tracks
    // The MusicBrainz identity of the names, so library tools recognise the file; empty when
    // the names did not come from there.
    QString AlbumArtist;
    QString MbAlbumId; ///< the release
    QString MbTrackId; ///< the track's recording
    QString MbDiscId;
    TFrontCover Cover; ///< the front cover to embed; empty: the file's pictures stay as they are
};

/// Writes the fields into the file at path as a tag of the given kind, replacing the fields it
/// names and keeping every other tag and field (an ID3v1 tag at the end of an MP3 stays as it
/// is). Vorbis comments go into a FLAC, Ogg Vorbis or Opus file, told apart by the file's
/// content (not its name, which may be a temporary one). The file is opened as a regular file
/// only, never through a symbolic link. Empty fields are left out. A cover replaces the file's
/// front covers (FLAC: a PICTURE block; Ogg: METADATA_BLOCK_PICTURE; MP3: APIC). Returns the error
/// text, empty on success (and for TTagKind::None).
QString WriteTags(const QString& path, TTagKind kind, const TTagFields& fields);
