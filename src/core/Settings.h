#pragma once

#include <array>
#include <cstdint>

#include <QString>

// The one settings record of the program. It is filled from options.ini when the main window
// is created and written back when it closes. Owned by the UI thread, which alone writes it;
// workers read fields while a job runs, when the dialogs that write it cannot be open.

/// Output format of a CD rip, in the order of the options dialog's list.
enum OutputFormatKind : int32_t {
    ofMP3 = 0,
    ofWAV = 1,
    ofOGG = 2,
    ofWMA = 3,
    ofFLAC = 4,
    ofOpus = 5
};

struct TCommonOptions {
    QString OutputFolder;
    int32_t OutputFormat = 0;
    bool IsKeepWav = false;
    bool IsNormalize = false;
    int32_t NormalizePercent = 0;
    bool EnableRipTime = false;
    int32_t RipTime = 0;
    /// Where a rip's files go under OutputFolder (empty: the title alone).
    QString NamePattern;
    /// Encoders a job runs at once: 0 one per core, 1 one step after another. A record that
    /// was never loaded runs jobs one step after another; options.ini's default is 0.
    int32_t ParallelEncoders = 1;
};

struct TMp3Options {
    bool IsSelectVBR = false;
    bool IsVBRHead = false;
    int32_t BitRate = 0;
    int32_t MaxBitRate = 0;
    int32_t MpegQuality = 0;
    int32_t VBRQuality = 0;
    int32_t StereoMode = 0;
};

struct TOggOptions {
    bool IsUseCompress = false;
    int32_t CompressPosition = 0;
    int32_t MaxBitRate = 0;
    int32_t NomalBitRate = 0;
    int32_t MinBitRate = 0;
};

struct TWMAOptions {
    int32_t BitRate = 0;
};

struct TFlacOptions {
    int32_t CompressionLevel = 5; ///< 0..8
    bool Verify = true;
};

struct TOpusOptions {
    int32_t Bitrate = 160; ///< kbit/s, 6..512
};

struct TTagOptions {
    bool Write = true;      ///< ID3v2 and Vorbis-comment tags; the ID3v1 switch is separate
    bool EmbedCover = true; ///< the disc's front cover goes into the tags too
};

struct TMusicBrainzOptions {
    QString Server;         ///< the web service, "https://musicbrainz.org"
    QString CoverArtServer; ///< "https://coverartarchive.org"
    bool AutoLookup = true; ///< a disc without names is looked up when it is loaded
};

struct TAccurateRipOptions {
    bool Enabled = true; ///< a finished rip asks the database whether its tracks are exact
    QString Server;      ///< "http://www.accuraterip.com"
};

/// Largest read offset accepted, in samples either way (50 sectors; drives need far less).
inline constexpr int32_t kMaxReadOffset = 5 * 588 * 10;

struct TCDOptions {
    int32_t Index = 0;
    bool CDDb = false;
    /// Secure reading of real drives: 0 off (plain reads), 1 overlap only, 2 full with retries.
    int32_t Paranoia = 2;
    /// The drive's read offset in samples: a track's sample i is read at i + ReadOffset.
    int32_t ReadOffset = 0;
};

struct TRecordOptions {
    bool SaveMp3 = false;
};

/// Where a disc's names came from: nowhere yet, the user, or a lookup.
enum class TNamesSource { None, Typed, Cddb, MusicBrainz };

/// The current disc's names; titles are indexed 1..100 by track number (index 0 is unused).
struct TCDInfo {
    static constexpr int MaxTracks = 100;
    QString Artist;
    QString Album;
    QString Year;
    int32_t Genre = 0;
    QString Comment;
    int32_t TrackNumber = 0;
    std::array<QString, MaxTracks + 1> Track;
    /// The disc's last track number, from its table of contents when the track list is
    /// filled (0: no disc). Not stored in cdinfo.dat.
    int32_t LastTrack = 0;

    TNamesSource Source = TNamesSource::None;
    // From MusicBrainz, for the tags: the release (also the release the user chose among
    // several), the disc id, the release's artist and each track's recording.
    QString AlbumArtist;
    QString MbReleaseId;
    QString MbDiscId;
    std::array<QString, MaxTracks + 1> MbRecordingId;
};

struct TQueryCDDB {
    QString Server;
    QString Script;
    bool UseProxy = false;
    QString ProxyAddress;
    QString Port;
};

struct TID3Options {
    bool Use = false;
};

struct TOptionsSetting {
    TCommonOptions CommonOptions;
    TMp3Options Mp3Options;
    TOggOptions OggOptions;
    TWMAOptions WMAOptions;
    TCDOptions CDOptions;
    TRecordOptions RecordOptions;
    TCDInfo CDInfo;
    TQueryCDDB QueryCDDB;
    TID3Options ID3;
    TFlacOptions FlacOptions;
    TOpusOptions OpusOptions;
    TTagOptions Tags;
    TMusicBrainzOptions MusicBrainz;
    TAccurateRipOptions AccurateRip;
};

/// The global record; lives for the whole run.
TOptionsSetting& OptionsSetting();

/// Zero-fills the record (program start; tests reset it with this).
void ResetOptionsSetting();
