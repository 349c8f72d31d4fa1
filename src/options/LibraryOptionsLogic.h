#pragma once

#include <QString>
#include <QStringList>

struct TOptionsSetting;
struct TOptionFormValues;

/// What the options dialog's pages for library-ready files hold: FLAC and Opus, the tags and
/// the file-name pattern.
struct TLibraryOptionValues {
    int FlacLevel = 5; ///< 0..8
    bool FlacVerify = true;
    int OpusBitrate = 160; ///< kbit/s, 6..512
    bool WriteTags = true;
    QString NamePattern;
};

/// A track of the disc in the drive, for the name pattern's example.
struct TExampleTrack {
    int Number = 1;
    QString Title = QStringLiteral("Track01");
    int Count = 0; ///< the disc's last track number; 0 when unknown
};

/// The decisions of those pages, without widgets. UI thread only.
class TLibraryOptionsLogic {
public:
    static TLibraryOptionValues Open(const TOptionsSetting& settings);
    /// Why "OK" must refuse the values (a name pattern that cannot be used), or empty.
    static QString Check(const TLibraryOptionValues& values);
    /// Writes the values into the settings; false (nothing written) when Check fails.
    static bool Store(const TLibraryOptionValues& values, TOptionsSetting& settings);
    /// Where a rip with the dialog's values (output folder, format, the disc's fields and the
    /// pattern) puts the example track: the same path the rip takes. The pattern's problem
    /// instead when it cannot be used.
    static QString Example(const TLibraryOptionValues& values, const TOptionFormValues& form,
                           const TExampleTrack& track);
    /// Patterns offered in the pattern's list.
    static QStringList CommonPatterns();
    /// The caption of the FLAC and Opus page: the format table's page of those formats.
    static QString FlacOpusCaption();
};
