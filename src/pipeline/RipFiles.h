#pragma once

#include <vector>

#include <QString>
#include <QStringList>

#include "metadata/TagWriter.h"

struct TOptionsSetting;

/// What a rip names and tags its files with: the settings that place them and the disc's
/// information. Taken once, before the job starts.
struct TRipNaming {
    QString OutputFolder;
    int32_t OutputFormat = 0;
    QString NamePattern; ///< empty: each file is named after its title alone
    QString Artist;
    QString Album;
    QString Year;
    QString Genre; ///< the genre's name; empty for none
    QString Comment;
    int TrackCount = 0; ///< the disc's last track number; 0: the job's highest stands in
    // Only while the disc's names are the ones MusicBrainz gave: a name typed since may belong
    // to another release.
    QString AlbumArtist;
    QString MbAlbumId;
    QString MbDiscId;
    QStringList MbRecordingIds; ///< by track number (index 0 unused); empty ones: none known
    TFrontCover Cover;          ///< embedded in each file; empty: none
};

/// The naming of a rip with these settings and the current disc's information; cover is the
/// disc's front cover (JPEG or PNG bytes), embedded when the settings ask for it.
TRipNaming RipNamingOf(const TOptionsSetting& settings, const QByteArray& cover = {});

/// The files one entry of a CD rip ("01" + title) writes, and the tags they get. Every step
/// that names a rip's file (the extraction, the encode step, the tag step, the clean-up, the
/// overwrite question, the options dialog's example) takes it from here.
struct TRipEntryFiles {
    int Track = 0;   ///< track number on the disc
    QString Title;   ///< the row's title
    QString Name;    ///< the path below the output folder, without extension
    QString Wav;     ///< the extracted WAV, also the encode step's input
    QString Encoded; ///< the encoded file; empty when the output format is WAV
    /// The entry's files can be written inside the output folder; when not, the track fails
    /// and nothing is written.
    bool NameValid = false;
    TTagFields Tags;

    /// The files the entry writes, WAV first.
    QStringList All() const;
};

/// The files of every entry of a rip, in the job's order. Without a name pattern a file is
/// named after its title as it stands (one that cannot name a file is not valid); with one the
/// pattern's expansion names it, folders included. Entries whose names coincide (ignoring case)
/// get " (2)", " (3)", ... in the job's order, so no track writes over another.
std::vector<TRipEntryFiles> RipJobFiles(const QStringList& entries, const TRipNaming& naming);
