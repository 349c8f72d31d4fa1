#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

#include "core/ResultNotice.h"
#include "pipeline/RipFiles.h"
#include "verify/AccurateRipLookup.h"
#include "verify/RipLog.h"

struct TOptionsSetting;
struct TProcessInfo;
struct TocRecord;

/// What a rip's log and lookup need to know of the disc, from its table of contents.
struct TRipDisc {
    bool Known = false; ///< the table of contents could be read
    TAccurateRipIds Ids;
    QString CddbId;
    QString MusicBrainzId;
    std::vector<int> AudioTracks; ///< track numbers of the audio tracks, in disc order
    int64_t FirstPregap = 0;      ///< frames before the first audio track
};

/// The disc as an MSF-form table of contents describes it; Known false for an impossible one.
TRipDisc RipDiscOf(const TocRecord& toc);

/// Everything the end of a rip needs, taken when the job starts.
struct TRipVerifySetup {
    std::vector<TRipEntryFiles> Files; ///< per job entry
    QString OutputFolder;
    QString Artist;
    QString Album;
    bool Enabled = true; ///< ask the AccurateRip database
    QString Server;
    QString Drive;      ///< the drive's name, or the image's
    bool Image = false; ///< read directly: no secure reading, no read offset
    int Paranoia = 2;   ///< 0 off, 1 overlap only, 2 full
    int ReadOffset = 0; ///< samples
    QString Program;    ///< name and version
    QString Date;       ///< when the rip started, ISO 8601
    TRipDisc Disc;
};

/// The setup of a rip from drive handle's disc and the settings.
TRipVerifySetup RipVerifySetupOf(int cdHandle, const std::vector<TRipEntryFiles>& files,
                                 const TOptionsSetting& settings);

/// "<Artist> - <Album>" made safe as a file name ("Unknown Artist", "Unknown Album" for what is
/// empty).
QString RipLogBaseName(const QString& artist, const QString& album);

struct TJobReport;
/// A rip's verification notice, led by the job's counts when a track failed to encode: the
/// bar stays after the failure's message box is gone, and must not read as if all went well.
TResultNotice WithJobFailures(TResultNotice notice, const TJobReport* report);

/// The proof of a CD rip, gathered as its tracks are extracted: each track's checksums, one
/// AccurateRip request for the disc once a track has been read whole, each track's result as
/// soon as both are known, and at the job's end (also a stopped or failed one) the log and the
/// cue sheet beside the first track, written under a temporary name and renamed into place.
/// Without an answer from the database a track "could not be verified"; nothing here shows a
/// message box during the rip. Widget-free; UI thread.
class TRipVerification : public QObject {
    Q_OBJECT
public:
    using TLookup = std::function<void(const TAccurateRipIds& ids,
                                       std::function<void(const TAccurateRipAnswer&)> done)>;

    explicit TRipVerification(TRipVerifySetup setup, QObject* parent = nullptr);
    /// An end still waiting for the database is written without its answer (Finished is not
    /// emitted then: whoever listened may be going too).
    ~TRipVerification() override;

    /// Test seam: answers lookups in place of the HTTP request.
    void SetLookup(TLookup lookup) { lookup_ = std::move(lookup); }

    /// Entry k's extraction ended with this record (ExtractEnded).
    void TrackExtracted(int k, const TProcessInfo& info);
    /// The job is over: encoded[k] tells whether entry k's encoded file was made. Writes the
    /// log and the cue sheet now, or once the database has answered.
    void JobEnded(bool stopped, const std::vector<bool>& encoded);

    /// What the job window shows of entry k: empty until its result is known.
    QString TrackText(int k) const;
    bool Done() const { return done_; }
    const TResultNotice& Notice() const { return notice_; }
    int LookupsStarted() const { return lookups_; }
    /// Where the log goes (is, once written): "<Artist> - <Album>.log" in the first track's
    /// folder, or with " (2)", " (3)", ... when an earlier rip's log or cue sheet has the name.
    QString LogPath() const;
    QString CuePath() const;

Q_SIGNALS:
    void TrackResultKnown(int k);
    /// The log and the cue sheet have been written (or could not be); Notice() tells.
    void Finished();

private:
    struct TTrack {
        bool Ripped = false; ///< read whole: the checksums cover the track
        std::optional<TTrackChecksums> Sums;
        int64_t Uncorrected = 0;
        int AudioIndex = -1; ///< position among the disc's audio tracks
        QString Text;
    };

    void StartLookup();
    void Answered(const TAccurateRipAnswer& answer);
    void Announce(int k);
    TVerifyResult ResultOf(const TTrack& track) const;
    /// Writes the log and the cue sheet and makes the notice.
    void WriteFiles();
    QString Folder() const;
    QString FreeLogPath() const;

    TRipVerifySetup setup_;
    std::vector<TTrack> tracks_;
    TLookup lookup_;
    TAccurateRipLookup* http_ = nullptr;
    int lookups_ = 0;
    std::optional<TAccurateRipAnswer> answer_;
    bool ended_ = false;
    bool stopped_ = false;
    std::vector<bool> encoded_;
    bool done_ = false;
    bool anyRead_ = false; ///< some track's extraction began
    QString logPath_;      ///< chosen when written
    TResultNotice notice_;
};
