#include "pipeline/RipVerification.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "cd/ExtractResult.h"
#include "core/FileUtil.h"
#include "core/Settings.h"
#include "metadata/MusicBrainz.h"
#include "pipeline/NamePattern.h"
#include "pipeline/ParallelJob.h"
#include "pipeline/PartialOutput.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cddb/CddbDisc.h"

namespace {

constexpr int64_t kLeadIn = 150;

QString Trimmed(const char* text, size_t size)
{
    return QString::fromLatin1(text, static_cast<qsizetype>(strnlen(text, size))).trimmed();
}

/// The name of the drive behind a handle as the drive list gives it ("Image Alpha" for an
/// image), and whether it is an image.
QString DriveNameOf(int handle, bool& image)
{
    HandleRequest request;
    std::string device;
    image = true;
    if (HandleDrive(handle, request, device) != 1)
        return QString();
    image = device.empty();
    DriveList list;
    GetCDList(list);
    const int count = std::min<int>(list.Count, kDriveListCapacity);
    for (int i = 0; i < count; ++i) {
        const DriveEntry& d = list.Entries[static_cast<size_t>(i)];
        if (d.HostAdapter == request.HostAdapter && d.Target == request.Target &&
            d.Lun == request.Lun)
            return (Trimmed(d.Vendor.data(), d.Vendor.size()) + QLatin1Char(' ') +
                    Trimmed(d.Product.data(), d.Product.size()))
                .trimmed();
    }
    return QString::fromStdString(device);
}

QString ParanoiaText(const TRipVerifySetup& s)
{
    if (s.Image)
        return QStringLiteral("not used (disc image)");
    switch (s.Paranoia) {
    case 0:
        return QStringLiteral("off");
    case 1:
        return QStringLiteral("overlap only");
    default:
        break;
    }
    return QStringLiteral("full");
}

/// Writes bytes to path under a temporary name, renamed into place once whole; never through a
/// link. Returns the error text, empty on success.
QString WriteFileAtomically(const QString& path, const QByteArray& bytes)
{
    if (IsLinkOrSpecialFile(path))
        return LinkOrSpecialFileText(path);
    const auto failed = [&](int error) {
        return path + QStringLiteral(" could not be written (") + SystemErrorText(error) +
               QStringLiteral(").");
    };
    TPartialOutput out;
    if (!out.Create(path))
        return failed(errno);
    const int fd = OpenRegularFile(out.Path(), O_WRONLY | O_TRUNC);
    if (fd < 0)
        return failed(errno);
    int error = 0;
    if (!WriteAllBytes(fd, bytes.constData(), static_cast<size_t>(bytes.size())))
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        return failed(error);
    if (!out.Commit())
        return failed(errno);
    return QString();
}

} // namespace

TRipDisc RipDiscOf(const TocRecord& toc)
{
    TRipDisc disc;
    const std::optional<CddbDisc> cddb = CddbDisc::FromToc(toc);
    const std::optional<TMbToc> audio = MusicBrainzToc(toc);
    if (!cddb || !audio)
        return disc;
    disc.Known = true;
    disc.CddbId = CddbDiscIdText(cddb->DiscId());
    disc.MusicBrainzId =
        MusicBrainzDiscId(CddbDisc{audio->Offsets, audio->LeadOut}, audio->FirstTrack);
    // The database files a disc under its audio tracks' starts and the disc's own lead-out:
    // an Enhanced CD's data session moves the lead-out (unlike MusicBrainz's id).
    std::vector<int64_t> starts;
    for (size_t i = 0; i < audio->Offsets.size(); ++i) {
        const int number = audio->FirstTrack + static_cast<int>(i);
        if (toc.Entries[static_cast<size_t>(number - 1)].IsData())
            continue;
        disc.AudioTracks.push_back(number);
        starts.push_back(audio->Offsets[i] - kLeadIn);
    }
    if (starts.empty()) {
        disc.Known = false;
        return disc;
    }
    disc.FirstPregap = std::max<int64_t>(0, starts.front());
    disc.Ids = AccurateRipIdsOf(starts, cddb->LeadOut - kLeadIn, cddb->DiscId());
    return disc;
}

TResultNotice WithJobFailures(TResultNotice notice, const TJobReport* report)
{
    if (report == nullptr || report->Counts.Failed == 0)
        return notice;
    notice.Summary = JobReportText(*report) + QStringLiteral(". ") + notice.Summary;
    notice.Level = std::max(notice.Level, TResultNotice::Severity::Warning);
    return notice;
}

QString RipLogBaseName(const QString& artist, const QString& album)
{
    const QString a = artist.trimmed().isEmpty() ? QStringLiteral("Unknown Artist") : artist;
    const QString b = album.trimmed().isEmpty() ? QStringLiteral("Unknown Album") : album;
    const QString name = SafeNameComponent(a + QStringLiteral(" - ") + b);
    return name.isEmpty() ? QStringLiteral("Unknown Artist - Unknown Album") : name;
}

TRipVerifySetup RipVerifySetupOf(int cdHandle, const std::vector<TRipEntryFiles>& files,
                                 const TOptionsSetting& settings)
{
    TRipVerifySetup s;
    s.Files = files;
    s.OutputFolder = settings.CommonOptions.OutputFolder;
    s.Artist = settings.CDInfo.Artist;
    s.Album = settings.CDInfo.Album;
    s.Enabled = settings.AccurateRip.Enabled;
    s.Server = settings.AccurateRip.Server;
    s.Paranoia = settings.CDOptions.Paranoia;
    s.ReadOffset = settings.CDOptions.ReadOffset;
    s.Program = QStringLiteral("Platterly 2.0");
    // With its offset from UTC: a log read elsewhere, or after a clock change, still says when.
    const QDateTime now = QDateTime::currentDateTime();
    s.Date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
    s.Drive = DriveNameOf(cdHandle, s.Image);
    TocRecord toc;
    if (ModifyCDParms(cdHandle, kCdpMsf, 1) == 1 && ReadTOC(cdHandle, toc) == 1)
        s.Disc = RipDiscOf(toc);
    return s;
}

TRipVerification::TRipVerification(TRipVerifySetup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), tracks_(setup_.Files.size())
{
    const std::vector<int>& audio = setup_.Disc.AudioTracks;
    for (size_t k = 0; k < tracks_.size(); ++k) {
        const auto it = std::find(audio.begin(), audio.end(), setup_.Files[k].Track);
        if (it != audio.end())
            tracks_[k].AudioIndex = static_cast<int>(it - audio.begin());
    }
    http_ = new TAccurateRipLookup(this);
    lookup_ = [this](const TAccurateRipIds& ids,
                     std::function<void(const TAccurateRipAnswer&)> done) {
        http_->Start(setup_.Server, ids, std::move(done));
    };
}

TRipVerification::~TRipVerification()
{
    if (ended_ && !done_)
        WriteFiles();
}

QString TRipVerification::Folder() const
{
    // The first track's folder (with a name pattern, the album's); a name that could not be
    // used leaves the output folder.
    for (const TRipEntryFiles& files : setup_.Files)
        if (files.NameValid && !files.Wav.isEmpty())
            return QFileInfo(files.Wav).absolutePath();
    return setup_.OutputFolder;
}

QString TRipVerification::LogPath() const
{
    return logPath_.isEmpty() ? FreeLogPath() : logPath_;
}

QString TRipVerification::CuePath() const
{
    return ChangeFileExt(LogPath(), QStringLiteral(".cue"));
}

QString TRipVerification::FreeLogPath() const
{
    // An earlier rip's log (another disc of the same names, or the same disc ripped again) is
    // its proof: kept, never replaced; the new pair takes the first free name.
    const QString base =
        IncludeTrailingSlash(Folder()) + RipLogBaseName(setup_.Artist, setup_.Album);
    QString log = base + QStringLiteral(".log");
    for (int n = 2; n < 1000 && (QFileInfo::exists(log) || QFileInfo(log).isSymLink() ||
                                 QFileInfo::exists(ChangeFileExt(log, QStringLiteral(".cue"))));
         ++n)
        log = base + QStringLiteral(" (%1).log").arg(n);
    return log;
}

void TRipVerification::TrackExtracted(int k, const TProcessInfo& info)
{
    if (k < 0 || k >= static_cast<int>(tracks_.size()) || ended_)
        return;
    TTrack& t = tracks_[static_cast<size_t>(k)];
    const TExtractResult* result = ExtractResultOf(info);
    if (result == nullptr)
        return;
    anyRead_ = true;
    t.Uncorrected = result->UncorrectedSectors;
    t.Ripped = result->Complete && info.ErrorCode == ExtractOutcome::Success;
    if (!t.Ripped)
        return;
    t.Sums = result->Checksums;
    // A track too short for a checksum has its result now, whatever the database says.
    if (t.Sums && !t.Sums->HasAccurateRip()) {
        Announce(k);
        return;
    }
    // One request per rip, once there is something to check.
    if (lookups_ == 0 && setup_.Enabled && setup_.Disc.Known)
        StartLookup();
    if (answer_ || !setup_.Enabled || !setup_.Disc.Known)
        Announce(k);
}

void TRipVerification::StartLookup()
{
    ++lookups_;
    lookup_(setup_.Disc.Ids, [this](const TAccurateRipAnswer& answer) { Answered(answer); });
}

void TRipVerification::Answered(const TAccurateRipAnswer& answer)
{
    answer_ = answer;
    for (size_t k = 0; k < tracks_.size(); ++k)
        if (tracks_[k].Ripped && tracks_[k].Sums && tracks_[k].Sums->HasAccurateRip())
            Announce(static_cast<int>(k));
    if (ended_ && !done_) {
        WriteFiles();
        Q_EMIT Finished();
    }
}

TVerifyResult TRipVerification::ResultOf(const TTrack& t) const
{
    if (!t.Sums)
        return {};
    if (!t.Sums->HasAccurateRip())
        return {TVerifyStatus::NoChecksum, 0};
    if (!answer_ || t.AudioIndex < 0)
        return {TVerifyStatus::CouldNotVerify, 0};
    return answer_->TrackResult(t.AudioIndex, *t.Sums);
}

void TRipVerification::Announce(int k)
{
    TTrack& t = tracks_[static_cast<size_t>(k)];
    t.Text = QStringLiteral("copy CRC ") +
             QStringLiteral("%1").arg(t.Sums->CopyCrc(), 8, 16, QLatin1Char('0')).toUpper() +
             QStringLiteral("  ") + VerifyText(ResultOf(t));
    Q_EMIT TrackResultKnown(k);
}

QString TRipVerification::TrackText(int k) const
{
    return k >= 0 && k < static_cast<int>(tracks_.size()) ? tracks_[static_cast<size_t>(k)].Text
                                                          : QString();
}

void TRipVerification::JobEnded(bool stopped, const std::vector<bool>& encoded)
{
    if (ended_)
        return;
    ended_ = true;
    stopped_ = stopped;
    encoded_ = encoded;
    // A lookup still under way has its time-out; the files wait for its answer.
    if (lookups_ == 0 || answer_) {
        WriteFiles();
        Q_EMIT Finished();
    }
}

void TRipVerification::WriteFiles()
{
    done_ = true;
    notice_ = TResultNotice{};
    // A job that read nothing (every track refused, or stopped at once) has nothing to prove.
    if (!anyRead_)
        return;
    logPath_ = FreeLogPath();
    TRipLog log;
    log.Program = setup_.Program;
    log.Date = setup_.Date;
    log.Drive = setup_.Image ? setup_.Drive + QStringLiteral(" (disc image)") : setup_.Drive;
    log.ReadOffset = setup_.Image ? 0 : setup_.ReadOffset;
    log.Paranoia = ParanoiaText(setup_);
    log.CddbId = setup_.Disc.CddbId;
    log.MusicBrainzId = setup_.Disc.MusicBrainzId;
    log.AccurateRipIds = setup_.Disc.Ids;
    log.Artist = setup_.Artist;
    log.Album = setup_.Album;
    bool failed = false;
    std::vector<TCueTrack> cue;
    const QDir folder(Folder());
    const QString performer =
        setup_.Artist.isEmpty() ? QStringLiteral("Unknown Artist") : setup_.Artist;
    const QString album = setup_.Album.isEmpty() ? QStringLiteral("Unknown Album") : setup_.Album;
    for (size_t k = 0; k < tracks_.size(); ++k) {
        const TTrack& t = tracks_[k];
        const TRipEntryFiles& files = setup_.Files[k];
        TRipLogTrack line;
        line.Number = files.Track;
        line.Ripped = t.Ripped;
        line.UncorrectedSectors = t.Uncorrected;
        if (t.Sums) {
            line.CopyCrc = t.Sums->CopyCrc();
            line.HasAccurateRip = t.Sums->HasAccurateRip();
            line.V1 = t.Sums->V1();
            line.V2 = t.Sums->V2();
            line.Result = ResultOf(t);
        }
        failed = failed || !t.Ripped;
        log.Tracks.push_back(line);
        // The cue names what this rip left: the encoded file, or the WAV when there is none.
        if (!t.Ripped)
            continue;
        const bool enc = k < encoded_.size() && encoded_[k] && !files.Encoded.isEmpty();
        const QString file = enc ? files.Encoded : files.Wav;
        if (!IsRegularFile(file))
            continue;
        TCueTrack c;
        c.Number = files.Track;
        c.Title = files.Title;
        c.Performer = performer;
        c.File = folder.relativeFilePath(file);
        c.PregapFrames = t.AudioIndex == 0 ? setup_.Disc.FirstPregap : 0;
        cue.push_back(c);
    }
    if (stopped_)
        log.Ending = QStringLiteral("was stopped before its end");
    else if (failed)
        log.Ending = QStringLiteral("ended with tracks that could not be ripped");

    const QString summary = RipLogSummary(log);
    QStringList problems;
    const QString logError = WriteFileAtomically(LogPath(), RipLogText(log).toUtf8());
    if (!logError.isEmpty())
        problems << logError;
    if (!cue.empty()) {
        const QString cueError =
            WriteFileAtomically(CuePath(), CueSheetText(performer, album, cue).toUtf8());
        if (!cueError.isEmpty())
            problems << cueError;
    }

    bool warn = stopped_ || failed;
    for (const TRipLogTrack& t : log.Tracks)
        warn = warn || t.Result.Status == TVerifyStatus::Mismatch || t.UncorrectedSectors > 0;
    notice_.Summary = (stopped_ ? QStringLiteral("Rip stopped: ") : QString()) + summary;
    notice_.Folder = Folder();
    if (problems.isEmpty()) {
        notice_.Level =
            warn ? TResultNotice::Severity::Warning : TResultNotice::Severity::Information;
        notice_.File = LogPath();
        notice_.FileLabel = QFileInfo(LogPath()).fileName();
    } else {
        // The tracks stay where they are; only the proof is missing.
        notice_.Level = TResultNotice::Severity::Error;
        notice_.Summary += QStringLiteral(". ") + problems.join(QLatin1Char(' '));
    }
}
