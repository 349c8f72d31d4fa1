#pragma once

#include <QString>
#include <QStringList>

#include "cd/OpenDrive.h"
#include "core/Settings.h"
#include "options/LibraryOptionsLogic.h"

/// The options dialog's tabs, in the order they are shown.
enum OptionTab : int { tabOutput = 0, tabLame, tabOgg, tabWma, tabId3, tabCdRom };

/// What the options dialog's controls hold, in the form the controls hold it (texts, list
/// positions, ticks), so every decision of the dialog can be made without widgets. A list
/// position of -1 means nothing is selected.
struct TOptionFormValues {
    // "Output"
    QString OutputDir;
    bool DeleteWav = false; ///< "Delete WAV file after processing": IsKeepWav inverted
    int OutputFormat = 0;
    bool Normalize = false;
    int NormalizePercent = 0; ///< 0..100: the spin edit cannot leave that range
    bool EnableRipTime = false;
    QString RipTime;
    /// Encoders at once: 0 one per core, 1 one track after another, at most MaxEncoders()
    int ParallelEncoders = 0;
    // "LAME"
    bool SelectVBR = false;
    bool VBRHead = false;
    QString BitRate; ///< the editable combo's text, e.g. "128 kbit/s"
    QString MaxBitRate;
    int VBRQuality = 0;
    int MpegQuality = 0;
    int StereoMode = 0;
    // "OGG"
    bool UseCompress = false;
    int CompressPosition = 30;
    int OggNomBit = 0;
    int OggMaxBit = 0;
    int OggMinBit = 0;
    // "WMA"
    int WMABitrate = 0;
    // "ID3 Tag": the current disc's fields
    bool UseID3 = false;
    QString Artist;
    QString Album;
    QString Comment;
    QString Year;
    int Genre = -1;
    // "CD-ROM"
    int CDListCount = 0; ///< entries of the drive list; 0 until the tab was first shown
    int CDIndex = 0;     ///< the drive list's selection (the stored index until it is filled)
    bool CDDb = false;
    int Paranoia = 2;        ///< secure reading: 0 off, 1 overlap only, 2 full
    int ReadOffset = 0;      ///< samples; the spin edit keeps it within ±kMaxReadOffset
    bool AccurateRip = true; ///< verify a finished rip against the AccurateRip database
};

/// Which dependent controls are enabled for the ticks the values carry.
struct TOptionEnabling {
    bool NormalizePercent = false; ///< follows "Normalize"
    bool RipTime = false;          ///< follows "Enable to set the length to extract"
    bool VBRHead = false;          ///< these three follow "Enable Variable Bitrate(VBR)"
    bool MaxBitRate = false;
    bool VBRQuality = false;
};

/// A reason "OK" refuses to close: the message shown, and the control to focus when the tab
/// holding it is the current one.
struct TOptionProblem {
    enum Field { None, OutputDir, RipTime, BitRate, MaxBitRate };
    Field Control = None;
    OptionTab Tab = tabOutput;
    QString Text;

    explicit operator bool() const { return Control != None; }
};

/// What the options dialog needs from the window that owns the open drive.
class IDriveHost {
public:
    virtual ~IDriveHost() = default;
    /// Puts a freshly opened drive (handle 0 when the open failed) in place of the current one,
    /// shows the status text the open produced and refills the track list.
    virtual void UseDrive(const OpenDriveResult& opened) = 0;
    /// The drive-list position of the drive open now, -1 when none is.
    virtual int OpenDriveIndex() const = 0;
    /// A track of the disc in the drive, for the file-name pattern's example.
    virtual TExampleTrack ExampleTrack() const { return {}; }
};

/// The options dialog's decisions: the lists' contents, loading the controls from the settings
/// record, the two Default buttons, the checks of "OK", storing, and whether the drive must be
/// switched. UI thread only.
class TOptionSetLogic {
public:
    /// The most encoders the "Encoders at once" control offers: twice the cores, as a job
    /// would clamp a larger number anyway.
    static int MaxEncoders();
    /// defaults: a record holding the settings' defaults (what options.ini gives when empty);
    /// the Default buttons take their values from it.
    explicit TOptionSetLogic(const TOptionsSetting& defaults);

    /// The controls' values for these settings; remembers the drive choice at opening. With a
    /// host, the drive shown is the one open now (the stored choice when none is), so the list,
    /// the status bar and the dialog name the same drive, and OK with another one, or with one
    /// while none is open, switches to it.
    TOptionFormValues Open(const TOptionsSetting& settings, const IDriveHost* host = nullptr);

    /// "&Default" on "LAME" and on "WMA".
    void LameDefaults(TOptionFormValues& values) const;
    void WmaDefaults(TOptionFormValues& values) const;

    /// The drive list is (re)filled with count entries: keeps the selection when it is one of
    /// them, otherwise selects nothing.
    static void DrivesListed(TOptionFormValues& values, int count);

    /// The checks of "OK", in order: the output folder exists, the song length is an integer,
    /// the two MP3 bit rates begin with an integer. An empty problem means all passed.
    static TOptionProblem Check(const TOptionFormValues& values);

    /// Writes the values into the settings; false (nothing written) when Check fails. A list
    /// with nothing selected leaves its setting as it was, except the genre (-1: none).
    static bool Store(const TOptionFormValues& values, TOptionsSetting& settings);

    /// True when "OK" must open the chosen drive: the drive list has a selection and it, or
    /// the CD DB tick, differs from what the dialog opened with (no drive open: -1).
    bool DriveSwitchNeeded(const TOptionFormValues& values) const;

    /// "OK": checks (showing the problem in an error box and returning it), stores, and opens
    /// the chosen drive for the host when needed. An empty result means the dialog may close.
    TOptionProblem Accept(const TOptionFormValues& values, TOptionsSetting& settings,
                          IDriveHost* host) const;

    static TOptionEnabling Enabling(const TOptionFormValues& values);

    // List contents.
    static QStringList OutputFormatItems();
    static QStringList Mp3BitRateItems();
    static QStringList VBRQualityItems();
    static QStringList MpegQualityItems();
    static QStringList StereoModeItems();
    static QStringList OggBitRateItems();
    static QStringList WmaBitRateItems();
    static QStringList ParanoiaItems();
    /// The names of the drives GetCDList reports, trimmed.
    static QStringList DriveNames();

    /// A stored bit rate as the combos show it: "96 kbit/s".
    static QString BitRateText(int kbps);
    /// The integer in the first three characters of a bit-rate text, trimmed.
    static bool ParseBitRate(const QString& text, int32_t& kbps);

    /// The folder picker's title.
    static QString BrowseTitle();

private:
    TOptionsSetting defaults_;
    int openingCDIndex_ = 0;
    bool openingCDDb_ = false;
};
