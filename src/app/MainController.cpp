#include "app/MainController.h"

#include <algorithm>

#include <QDir>

#include "app/DiscInfoStore.h"
#include "app/JobQuestionBoxes.h"
#include "app/SettingsStore.h"
#include "cd/OpenDrive.h"
#include "cd/TrackGeometry.h"
#include "core/AppException.h"
#include "core/ErrorHandler.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "metadata/CddbRecord.h"
#include "metadata/DiscLookup.h"
#include "metadata/DiscNames.h"
#include "pipeline/RipFiles.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/drives/DriveQueries.h"
#include "platform/shell/Shell.h"

namespace {

const char* const kNoAudioCd = "Please check if have Audio CD in your CD device.";

QString OutputFolder()
{
    return OptionsSetting().CommonOptions.OutputFolder;
}

} // namespace

TrackTexts TrackRowTexts(int minutes, int seconds)
{
    const int64_t bytes = (static_cast<int64_t>(minutes) * 60 + seconds) * 44100 * 4;
    const double megabytes = static_cast<double>(bytes) / 1048576.0;
    const int64_t c = RoundHalfEven(megabytes * 100);
    return {TwoDigits(minutes) + QLatin1Char(':') + TwoDigits(seconds),
            TwoDigits(c / 100) + QLatin1Char('.') + TwoDigits(c % 100)};
}

TMainController::TMainController(QObject* parent) : QObject(parent)
{
    connect(&tracks_, &TTrackListModel::TicksChanged, this, &TMainController::StateChanged);
}

TMainController::~TMainController() = default;

void TMainController::SetStatusText(const QString& text)
{
    status_ = text;
    Q_EMIT StatusTextChanged(text);
}

void TMainController::Create()
{
    LoadOptions();
    // A fresh install has nowhere to put its output yet: make the default folder, as an
    // installer would, so the first rip and the options dialog find it. A folder the user chose
    // is never created behind their back.
    const QString folder = OutputFolder();
    if (folder == DefaultOptions().CommonOptions.OutputFolder && !DirectoryExists(folder))
        QDir().mkpath(folder);
    mp3_ = std::make_unique<TMp3EncodeProcess>();
    wma_ = std::make_unique<TWMAEncodeProcess>();
    noAudioCD_ = false;
    CDPlaying = false;
    CDPaused = false;
}

void TMainController::Show()
{
    // Whatever fails here, the window still comes up; activation reports what is missing.
    SwallowErrors([this] {
        if (cdHandle_ == 0)
            OpenStartDrive();
        if (cdHandle_ != 0) {
            if (OpenDriveHasAudio())
                LoadTrackList();
            else
                noAudioCD_ = true;
        }
        savedStatus_ = status_;
    });
    Q_EMIT StateChanged();
}

void TMainController::OpenStartDrive()
{
    // The drive chosen in the options dialog, so the setting and the drive shown agree; a
    // choice whose drive has gone falls back to the first, as before any choice.
    int index = OptionsSetting().CDOptions.Index;
    if (!startDevice_.isEmpty()) {
        // The desktop names the drive a disc was just put in.
        const int asked = DrivePositionOfPath(startDevice_);
        if (asked >= 0)
            index = asked;
    }
    if (index < 0 || index >= DriveCount())
        index = 0;
    const OpenDriveResult r = OpenDrive(index);
    cdHandle_ = r.Handle;
    SetStatusText(r.Status);
    savedStatus_ = status_;
    if (cdHandle_ != 0)
        Q_EMIT DriveOpened(cdHandle_);
}

bool TMainController::OpenDriveHolds(const QString& key)
{
    if (cdHandle_ == 0 || key.isEmpty())
        return false;
    ModifyCDParms(cdHandle_, kCdpMsf, 1);
    TocRecord toc;
    return ReadTOC(cdHandle_, toc) == 1 && DiscKeyOf(toc) == key;
}

bool TMainController::OpenDriveHasAudio()
{
    if (cdHandle_ == 0)
        return false;
    ModifyCDParms(cdHandle_, kCdpMsf, 1);
    TocRecord toc;
    return ReadTOC(cdHandle_, toc) == 1 && !DiscKeyOf(toc).isEmpty();
}

void TMainController::SaveListNames()
{
    if (!listLoaded_ || loadedKey_.isEmpty())
        return;
    TCDInfo& info = OptionsSetting().CDInfo;
    int last = 0;
    for (int row = 0; row < tracks_.Count(); ++row) {
        const int t = tracks_.Row(row).Number;
        if (t >= 1 && t <= TCDInfo::MaxTracks) {
            info.Track[static_cast<size_t>(t)] = tracks_.Row(row).Title;
            last = std::max(last, t);
        }
    }
    info.TrackNumber = last;
    const QString key = loadedKey_;
    GuardedCall([&key] { SaveDiscInfo(key); });
}

void TMainController::ForgetList()
{
    SaveListNames();
    const bool had = listLoaded_;
    tracks_.Clear();
    listLoaded_ = false;
    loadedKey_.clear();
    if (had)
        Q_EMIT NamesChanged();
}

void TMainController::Activate()
{
    if (activated_)
        return;
    activated_ = true;
    if (cdHandle_ == 0 && ShowNoDeviceHint)
        ShowNoDeviceHint();
    if (noAudioCD_)
        ShowError(QString::fromLatin1(kNoAudioCd));
}

void TMainController::LoadTrackList()
{
    if (cdHandle_ == 0)
        return;
    ModifyCDParms(cdHandle_, kCdpMsf, 1);
    ForgetList();

    TocRecord toc;
    OptionsSetting().CDInfo.LastTrack = 0;
    if (ReadTOC(cdHandle_, toc) != 1) {
        LoadDiscInfo({}); // no disc: the defaults, saved nowhere
        SetStatusText(QStringLiteral("Not get CD device information!"));
        Q_EMIT NamesChanged();
        Q_EMIT StateChanged();
        return;
    }
    // The names belong to the disc in the open drive, whichever drive that is; they are saved
    // under this key only.
    loadedKey_ = DiscKeyOf(toc);
    LoadDiscInfo(loadedKey_);
    listLoaded_ = true;
    firstTrack_ = toc.FirstTrack;
    lastTrack_ = toc.LastTrack;
    TCDInfo& info = OptionsSetting().CDInfo;
    info.LastTrack = toc.LastTrack; // the tags' track total and the names' %N
    const std::vector<TrackLength> lengths = TrackListLengths(toc);
    int t = toc.FirstTrack;
    for (const TrackLength& len : lengths) {
        TrackRow row;
        row.Number = t;
        if (t >= 1 && t <= TCDInfo::MaxTracks) {
            QString& title = info.Track[static_cast<size_t>(t)];
            if (title.isEmpty())
                title = DefaultTrackTitle(t);
            row.Title = title;
        } else {
            row.Title = DefaultTrackTitle(t);
        }
        const TrackTexts texts = TrackRowTexts(len.Minutes, len.Seconds);
        row.LengthText = texts.Length;
        row.SizeText = texts.Size;
        tracks_.Append(row);
        ++t;
    }
    Q_EMIT NamesChanged();
    Q_EMIT ListLoaded();
    Q_EMIT StateChanged();
}

void TMainController::Refresh()
{
    // With no drive at start, a drive or image that came later is opened as start-up does.
    if (cdHandle_ == 0)
        OpenStartDrive();
    if (OpenDriveHasAudio())
        LoadTrackList();
    else
        ShowError(QString::fromLatin1(kNoAudioCd));
}

void TMainController::VolumeArrived()
{
    GuardedCall([this] {
        if (cdHandle_ == 0) {
            OpenStartDrive();
            if (OpenDriveHasAudio())
                LoadTrackList();
            Q_EMIT StateChanged();
            return;
        }
        // Another disc arrived while ours stays: reloading would only throw away its edits.
        if (listLoaded_ && OpenDriveHolds(loadedKey_))
            return;
        LoadTrackList();
    });
}

void TMainController::VolumeRemoved()
{
    GuardedCall([this] {
        // Another disc left: the open drive's list stays as it is.
        if (listLoaded_ && OpenDriveHolds(loadedKey_))
            return;
        ForgetList();
        Q_EMIT StateChanged();
    });
}

void TMainController::ToggleTick(int row)
{
    if (row >= 0 && row < tracks_.Count())
        tracks_.SetTicked(row, !tracks_.Row(row).Ticked);
}

void TMainController::RenameRow(int row, const QString& title)
{
    if (row < 0 || row >= tracks_.Count())
        return;
    tracks_.SetTitle(row, title);
    MarkTyped();
}

void TMainController::MarkTyped()
{
    OptionsSetting().CDInfo.Source = TNamesSource::Typed;
    Q_EMIT NamesChanged();
}

void TMainController::SetDiscField(DiscField field, const QString& value)
{
    TCDInfo& info = OptionsSetting().CDInfo;
    QString& target = field == DiscField::Artist  ? info.Artist
                      : field == DiscField::Album ? info.Album
                                                  : info.Year;
    if (target == value)
        return;
    target = value;
    MarkTyped();
}

void TMainController::SetDiscGenre(int position)
{
    TCDInfo& info = OptionsSetting().CDInfo;
    if (info.Genre == position)
        return;
    info.Genre = position;
    MarkTyped();
}

void TMainController::DiscFieldsEdited()
{
    MarkTyped();
}

TNamesSource TMainController::NamesSource() const
{
    return OptionsSetting().CDInfo.Source;
}

std::optional<TDiscQuery> TMainController::LoadedDiscQuery()
{
    if (!HasDisc() || cdHandle_ == 0)
        return std::nullopt;
    TDiscQuery disc;
    disc.Key = loadedKey_;
    disc.Handle = cdHandle_;
    ModifyCDParms(cdHandle_, kCdpMsf, 1);
    if (ReadTOC(cdHandle_, disc.Toc) != 1 || DiscKeyOf(disc.Toc) != loadedKey_)
        return std::nullopt;
    return disc;
}

void TMainController::UseDrive(const OpenDriveResult& opened)
{
    // The playing track belongs to the drive being let go.
    if (CDPlaying && StopPlayback)
        StopPlayback();
    ForgetList();
    const int old = cdHandle_;
    cdHandle_ = opened.Handle;
    if (old != 0 && old != opened.Handle)
        CloseCDHandle(old);
    SetStatusText(opened.Status);
    savedStatus_ = status_;
    Q_EMIT DriveOpened(cdHandle_);
    LoadTrackList();
    Q_EMIT StateChanged();
}

int TMainController::OpenDrivePosition() const
{
    return DrivePosition(cdHandle_);
}

bool TMainController::ReadTocForCddb(int& first, int& last)
{
    TocRecord toc;
    if (cdHandle_ == 0 || ReadTOC(cdHandle_, toc) != 1) {
        ShowError(QStringLiteral("Error while reading TOC information!"));
        return false;
    }
    first = toc.FirstTrack;
    last = toc.LastTrack;
    return true;
}

bool TMainController::ApplyNames(const TDiscNames& result, const QString& discKey)
{
    if (!listLoaded_ || discKey != loadedKey_)
        return false;
    TCDInfo& info = OptionsSetting().CDInfo;
    ApplyDiscFields(result, info);
    for (int row = 0; row < tracks_.Count(); ++row) {
        const auto title = result.Titles.find(tracks_.Row(row).Number);
        if (title != result.Titles.end())
            tracks_.SetTitle(row, title->second);
    }
    // The ids say which release the names are; names from elsewhere have none.
    info.AlbumArtist = result.AlbumArtist;
    info.MbReleaseId = result.ReleaseId;
    info.MbDiscId = result.DiscId;
    for (int t = 1; t <= TCDInfo::MaxTracks; ++t) {
        const auto id = result.RecordingIds.find(t);
        info.MbRecordingId[static_cast<size_t>(t)] =
            id != result.RecordingIds.end() ? id->second : QString();
    }
    info.Source = result.Source;
    Q_EMIT NamesChanged();
    return true;
}

bool TMainController::OutputFolderTest()
{
    if (DirectoryExists(OutputFolder()))
        return true;
    ShowInformation(QStringLiteral("The output directory does not exist.") +
                    QStringLiteral("Please check the output directory setting."));
    return false;
}

QStringList TMainController::PrepareRip()
{
    if (cdHandle_ == 0) {
        ShowInformation(QStringLiteral("Please access CD devices rightly above all!"));
        return {};
    }
    if (!tracks_.AnyTicked()) {
        ShowInformation(QStringLiteral("Please select a track at least!"));
        return {};
    }
    const QString folder = OutputFolder();
    if (!DirectoryExists(folder)) {
        const QString question =
            folder + QStringLiteral(",") + QStringLiteral("The output directory does not exist.") +
            QStringLiteral("\r\n") + QStringLiteral("creates a new directory?");
        if (AskYesNo(question, MbIcon::Information, MbAnswer::Yes) != MbAnswer::Yes)
            return {};
        // One level only, as asked; a missing parent is an error, not a silent mkpath.
        if (folder.isEmpty() || !QDir().mkdir(folder)) {
            HandleException(EAppException(QStringLiteral("Cannot create ") + folder));
            return {};
        }
    }
    if (CDPlaying && StopPlayback)
        StopPlayback();

    QStringList jobs;
    // Entries carry the row's own track number: a disc may start at track 2 or later.
    for (int i = 0; i < tracks_.Count(); ++i) {
        if (tracks_.Row(i).Ticked)
            jobs << TwoDigits(tracks_.Row(i).Number) + tracks_.Row(i).Title;
    }
    if (!OutputFolderTest())
        return {};
    // Another disc's tracks, or an earlier rip, may have the same names.
    TJobQuestionBoxes questions;
    return ConfirmRipOutputs(jobs, RipNamingOf(OptionsSetting()), questions)
        .value_or(QStringList());
}

void TMainController::OpenOutputDirectory()
{
    const QString folder = OutputFolder();
    if (DirectoryExists(folder))
        ShellOpenUrl(QUrl::fromLocalFile(folder), this, [this](const QString& reason) {
            SetStatusText(QString::fromLatin1(kOpenOutputFailedText).arg(reason));
        });
    else
        ShowError(folder + QStringLiteral(",") +
                  QStringLiteral("The output directory does not exist."));
}

void TMainController::Close()
{
    SwallowErrors([this] {
        if (mp3_ && mp3_->Active)
            mp3_->Stop(0);
        if (wma_ && wma_->Active)
            wma_->Stop(0);
    });
    // Names are saved only under the disc they were loaded for, and only when a list was.
    SaveListNames();
    // The setting names the drive in use, wherever the list has moved it meanwhile.
    const int position = OpenDrivePosition();
    int32_t& index = OptionsSetting().CDOptions.Index;
    if (position >= 0 && position != std::max(index, 0))
        index = position;
    if (cdHandle_ != 0 && CloseCDHandle(cdHandle_) == 0)
        ShowError(QStringLiteral("Error while closing CD handle!"));
    cdHandle_ = 0;
    if (CDPlaying) {
        SwallowErrors([this] {
            if (StopPlayback)
                StopPlayback();
        });
    }
    GuardedCall([] { SaveOptions(); });
}
