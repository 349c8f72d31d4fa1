#pragma once

#include <QString>

/// Which kind of tag a format carries.
enum class TTagKind {
    None,          ///< WAV and WMA (its tool writes its own author and description)
    Id3v2,         ///< MP3: an ID3v2.4 tag at the start; the ID3v1 tag at the end is separate
    VorbisComment, ///< FLAC, Ogg Vorbis, Opus
};

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
};

/// Writes the fields into the file at path as a tag of the given kind, replacing the fields it
/// names and keeping every other tag and field (an ID3v1 tag at the end of an MP3 stays as it
/// is). The file is opened as a regular file only, never through a symbolic link. Empty fields
/// are left out. Returns the error text, empty on success (and for TTagKind::None).
QString WriteTags(const QString& path, TTagKind kind, const TTagFields& fields);
