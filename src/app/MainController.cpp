#include "app/MainController.h"

#include <QDir>

#include "app/DiscInfoStore.h"
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
        if (cdHandle_ == 0) {
            const OpenDriveResult r = OpenDrive(0);
            cdHandle_ = r.Handle;
            SetStatusText(r.Status);
        }
        if (cdHandle_ != 0) {
            if (AudioCDPresent())
                LoadTrackList();
            else
                noAudioCD_ = true;
        }
        savedStatus_ = status_;
    });
    Q_EMIT StateChanged();
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
    LoadDiscInfo(DiscKey());
    ModifyCDParms(cdHandle_, kCdpMsf, 1);
    tracks_.Clear();

    TocRecord toc;
    if (ReadTOC(cdHandle_, toc) != 1) {
        SetStatusText(QStringLiteral("Not get CD device information!"));
        return;
    }
    firstTrack_ = toc.FirstTrack;
    lastTrack_ = toc.LastTrack;
    TCDInfo& info = OptionsSetting().CDInfo;
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
    Q_EMIT StateChanged();
}

void TMainController::Refresh()
{
    if (AudioCDPresent())
        LoadTrackList();
    else
        ShowError(QString::fromLatin1(kNoAudioCd));
}

void TMainController::VolumeArrived()
{
    GuardedCall([this] { LoadTrackList(); });
}

void TMainController::VolumeRemoved()
{
    tracks_.Clear();
    Q_EMIT StateChanged();
}

void TMainController::ToggleTick(int row)
{
    if (row >= 0 && row < tracks_.Count())
        tracks_.SetTicked(row, !tracks_.Row(row).Ticked);
}

void TMainController::RenameRow(int row, const QString& title)
{
    tracks_.SetTitle(row, title);
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

void TMainController::ApplyCddbResult(const TCddbResult& result)
{
    TCDInfo& info = OptionsSetting().CDInfo;
    if (result.Artist)
        info.Artist = *result.Artist;
    if (result.Album)
        info.Album = *result.Album;
    if (result.Year)
        info.Year = *result.Year;
    if (result.Genre)
        info.Genre = *result.Genre;
    for (int row = 0; row < tracks_.Count(); ++row) {
        const auto title = result.Titles.find(tracks_.Row(row).Number);
        if (title != result.Titles.end())
            tracks_.SetTitle(row, title->second);
    }
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
        const QString question = folder + QStringLiteral(",") +
                                 QStringLiteral("The output directory does not exist.") +
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
    for (int i = 0; i < tracks_.Count(); ++i) {
        if (tracks_.Row(i).Ticked)
            jobs << TwoDigits(i + 1) + tracks_.Row(i).Title;
    }
    if (!OutputFolderTest())
        return {};
    return jobs;
}

void TMainController::OpenOutputDirectory()
{
    const QString folder = OutputFolder();
    if (DirectoryExists(folder))
        ShellOpenPath(folder);
    else
        ShowError(folder + QStringLiteral(",") + QStringLiteral("The output directory does not exist."));
}

void TMainController::Close()
{
    SwallowErrors([this] {
        if (mp3_ && mp3_->Active)
            mp3_->Stop(0);
        if (wma_ && wma_->Active)
            wma_->Stop(0);
    });
    TCDInfo& info = OptionsSetting().CDInfo;
    info.TrackNumber = tracks_.Count();
    for (int k = 1; k <= tracks_.Count() && k <= TCDInfo::MaxTracks; ++k)
        info.Track[static_cast<size_t>(k)] = tracks_.Row(k - 1).Title;
    GuardedCall([] { SaveDiscInfo(DiscKey()); });
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
