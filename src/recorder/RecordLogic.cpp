#include "recorder/RecordLogic.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/stat.h>
#include <thread>
#include <utility>

#include "core/AppException.h"
#include "core/AppPaths.h"
#include "core/ErrorHandler.h"
#include "core/FileDialogService.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "platform/profile/AtomicFile.h"
#include "platform/shell/Shell.h"
#include "platform/waveaudio/WaveAudioDevice.h"
#include "platform/waveaudio/WaveDocument.h"
#include "platform/waveaudio/WaveFormat.h"
#include "recorder/RecorderFiles.h"

const QString TRecordLogic::kNoState = QStringLiteral("-----------");
const QString TRecordLogic::kOpenTitle = QStringLiteral("Please select a sound file to open");
const QString TRecordLogic::kFilter = QStringLiteral("Sound file(*.wav)|*.wav|All files(*.*)|*.*");

namespace {

const QString kRecording = QStringLiteral("Recording...");
const QString kSaveSoundError = QStringLiteral("Error while saving sound file!");
const QString kDeleteError =
    QStringLiteral("Error when deleting file, please check if the file is being uesd.");
const QString kSaveWavError =
    QStringLiteral("Error when saving WAV file,please check if the file is being uesd.");
const int kBarMax = 400;

} // namespace

TRecordLogic::TRecordLogic(IWaveAudioDevice& device, TRecorderHost host, QObject* parent)
    : QObject(parent), device_(device), host_(std::move(host))
{
    // Reported from the event loop: nothing may be thrown back into it.
    device_.OnFailure = [this](const QString& reason) {
        GuardedCall([&] { DeviceFailed(reason); });
    };
    lbPosition_ = QStringLiteral("0.00Sec");
    lbLength_ = QStringLiteral("0.00Sec");
    lbState_ = kNoState;
    panRecordTime_ = QStringLiteral("00:00:00.0");
    caption_ = QStringLiteral("Record");
}

TRecordLogic::~TRecordLogic()
{
    device_.OnFailure = nullptr;
}

int64_t TRecordLogic::Now() const
{
    if (NowMs)
        return NowMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString TRecordLogic::NoNameFile()
{
    return ProgramDir() + QStringLiteral("MyNoName.wav");
}

QString TRecordLogic::FormatDuration(int64_t ms)
{
    if (ms / 3600000 == 0 && ms / 60000 == 0)
        return QLocale().toString(static_cast<double>(ms) / 1000.0, 'g', 3) +
               QStringLiteral(" Sec");
    QString text;
    if (ms / 3600000 != 0)
        text += QString::number(ms / 3600000) + QStringLiteral("Hour");
    if ((ms / 60000) % 60 != 0)
        text += QString::number((ms / 60000) % 60) + QStringLiteral(" Min");
    if ((ms / 1000) % 60 != 0)
        text += QString::number((ms / 1000) % 60) + QStringLiteral(" Sec");
    return text;
}

bool TRecordLogic::WriteEmptyWave(const QString& path, const TWaveFormat& format)
{
    return WriteFileOverName(path, BuildWaveHeader(format, 0));
}

void TRecordLogic::CopyFileContents(const QString& source, const QString& target)
{
    QString error;
    if (!CopyFileAtomically(source, target, &error))
        throw EAppException(error);
}

// ---- view state ----

void TRecordLogic::SetEnabled(TButtonSet buttons)
{
    enabled_ = buttons;
    Q_EMIT Changed();
}

void TRecordLogic::SetPlayTimer(bool on)
{
    playTimer_ = on;
    Q_EMIT Changed();
}

bool TRecordLogic::SaveEnabled() const
{
    return enabled_.Has(btRecord);
}

bool TRecordLogic::UndoEnabled() const
{
    return modified_ && lbState_ != kRecording && currentFile_ != NoNameFile();
}

void TRecordLogic::SetSaveMp3(bool checked)
{
    saveMp3_ = checked;
    Q_EMIT Changed();
}

// ---- device ----

bool TRecordLogic::DeviceOpen()
{
    return device_.Mode() != TWaveMode::NotOpen;
}

void TRecordLogic::CloseDevice()
{
    if (DeviceOpen())
        device_.Close();
}

void TRecordLogic::OpenDevice(const QString& path)
{
    if (IsLinkOrSpecialFile(path))
        throw EAppException(LinkOrSpecialFileText(path));
    device_.SetTimeFormatMilliseconds();
    if (!device_.Open(path))
        throw EAppException(device_.ErrorText());
}

bool TRecordLogic::FlushDevice()
{
    if (!DeviceOpen() || !device_.HasUnsavedSound() || device_.Save())
        return true;
    ShowError(kSaveSoundError);
    return false;
}

void TRecordLogic::Reopen(const QString& path) noexcept
{
    try {
        OpenDevice(path);
    } catch (...) {
        SetEnabled({});
    }
}

// ---- window life ----

void TRecordLogic::FormCreate()
{
    saveMp3_ = OptionsSetting().RecordOptions.SaveMp3;
    currentFile_.clear();
    workFile_ = ProgramDir() + QStringLiteral("MyTemp.wav");
    Q_EMIT Changed();
}

bool TRecordLogic::FormClose()
{
    OptionsSetting().RecordOptions.SaveMp3 = saveMp3_;
    SetPlayTimer(false);
    // A cancelled save keeps the window open: closing would drop the working copy.
    if (!SaveRecording(true))
        return false;
    if (DeviceOpen() && device_.HasUnsavedSound() && !device_.Save() &&
        AskYesNo(QStringLiteral("The recording could not be saved. Close the recorder anyway?"),
                 MbIcon::Warning, MbAnswer::No) != MbAnswer::Yes)
        return false;
    CloseDevice();
    RemoveScratchFile(workFile_);
    return true;
}

void TRecordLogic::OfferLeftoverTakes()
{
    const QString noName = NoNameFile();
    bool recovered = false;
    for (const QString& take : FindLeftoverTakes(noName)) {
        TWaveFileInfo info;
        QString why;
        if (!ReadLeftoverTake(take, info, why))
            continue; // not a take of this recorder
        if (info.DataSize == 0) {
            QFile::remove(take); // ended before any sound came: nothing to offer
            continue;
        }
        if (AskYesNo(QStringLiteral("A recording that was not saved has been found (") +
                     FormatDuration(info.Format.BytesToMs(info.DataSize)) +
                     QStringLiteral("). Recover it into the NoName recording?")) != MbAnswer::Yes)
            continue; // kept for the next time
        if (IsLinkOrSpecialFile(noName))
            ShowError(LinkOrSpecialFileText(noName));
        else if (!RecoverLeftoverTake(take, noName, why))
            ShowError(QStringLiteral("The recording could not be recovered: ") + why);
        else
            recovered = true;
    }
    if (!recovered)
        return;
    LoadRecording(noName);
    modified_ = true; // never saved under a name: closing asks
    mp3ConfirmedFor_.clear();
    SetBar(0);
    Q_EMIT Changed();
}

// ---- transport ----

void TRecordLogic::ClickButton(TMPBtnType button)
{
    if (!enabled_.Has(button))
        return;
    const TButtonSet before = enabled_;
    const bool modifiedBefore = modified_;
    startFrom_.reset();
    MediaPlayer1Click(button);
    const std::optional<int64_t> from = std::exchange(startFrom_, std::nullopt);
    switch (button) {
    case btPlay:
        if (!device_.Play(from)) {
            SetPlayTimer(false);
            lbState_ = kNoState;
            SetEnabled(before);
            throw EAppException(device_.ErrorText());
        }
        lastWasRecording_ = false;
        break;
    case btRecord:
        if (!device_.Record(from)) {
            recordTimer_ = false;
            lbState_ = kNoState;
            modified_ = modifiedBefore;
            SetEnabled(before);
            throw EAppException(device_.ErrorText());
        }
        lastWasRecording_ = true;
        break;
    case btStop:
        if (DeviceOpen())
            device_.Stop();
        break;
    case btNext:
        device_.SeekToEnd();
        break;
    case btPrev:
        device_.SeekToStart();
        break;
    default:
        break;
    }
    Q_EMIT Changed();
}

void TRecordLogic::MediaPlayer1Click(TMPBtnType button)
{
    switch (button) {
    case btPlay:
        if (bar_ == kBarMax)
            SetBar(0);
        if (!playTimer_) {
            playPosition_ = static_cast<int32_t>(device_.Length() * bar_ / kBarMax);
            startFrom_ = playPosition_;
        }
        lbState_ = QStringLiteral("Playing...");
        SetEnabled({btPause, btStop, btNext, btPrev});
        SetPlayTimer(true);
        break;
    case btRecord:
        if (FileExists(workFile_))
            startFrom_ = device_.Length() * bar_ / kBarMax;
        recordStart_ = Now();
        recordTimer_ = true;
        lbState_ = kRecording;
        modified_ = true;
        SetEnabled({btStop});
        break;
    case btStop:
        StopHandler(true);
        break;
    case btNext:
        SetBar(kBarMax);
        SetEnabled({btPlay, btPrev, btRecord});
        break;
    case btPrev:
        SetBar(0);
        SetEnabled({btPlay, btNext, btRecord});
        break;
    default:
        break;
    }
}

void TRecordLogic::StopHandler(bool pause)
{
    SetBar(0);
    SetPlayTimer(false);
    if (recordTimer_) {
        // End the take close to a whole second.
        if (pause && lastMilliseconds_ > 100 && SleepMs)
            SleepMs(1000 - lastMilliseconds_);
        else if (pause && lastMilliseconds_ > 100)
            std::this_thread::sleep_for(std::chrono::milliseconds(1000 - lastMilliseconds_));
        TimerRecordTimer();
        recordTimer_ = false;
    }
    lbState_ = kNoState;
    SetEnabled({btPlay, btNext, btPrev, btRecord});
    if (DeviceOpen() && device_.Mode() == TWaveMode::Recording) {
        const bool saved = device_.Save();
        SetBar(kBarMax);
        lbLength_ = FormatDuration(device_.Length());
        lbState_ = QStringLiteral("Record over!");
        FinishRecording(saved);
    }
    Q_EMIT Changed();
}

bool TRecordLogic::FinishRecording(bool saved)
{
    if (device_.Mode() == TWaveMode::Recording)
        saved = device_.Save() && device_.Stop();
    // The first save's failure counts too: the take is kept, unsaved, and the user is told.
    if (!saved)
        ShowError(kSaveSoundError);
    return saved;
}

void TRecordLogic::Timer1Timer()
{
    playPosition_ += 500;
    const int64_t length = device_.Length();
    if (playPosition_ < length) {
        SetBar(static_cast<int>(playPosition_ * int64_t{kBarMax} / length));
    } else {
        SetBar(kBarMax);
        playTimer_ = false;
        SetEnabled({btPlay, btPrev, btRecord});
        lbState_ = kNoState;
    }
    Q_EMIT Changed();
}

void TRecordLogic::TimerRecordTimer()
{
    const int64_t elapsed = std::max<int64_t>(0, Now() - recordStart_);
    const int64_t hours = elapsed / 3600000;
    const int64_t minutes = (elapsed / 60000) % 60;
    const int64_t seconds = (elapsed / 1000) % 60;
    lastMilliseconds_ = static_cast<uint16_t>(elapsed % 1000);
    panRecordTime_ = TwoDigits(hours) + QLatin1Char(':') + TwoDigits(minutes) + QLatin1Char(':') +
                     TwoDigits(seconds) + QLatin1Char('.') +
                     QString::number(lastMilliseconds_ / 100);
    Q_EMIT Changed();
}

void TRecordLogic::SetBar(int position)
{
    position = std::clamp(position, 0, kBarMax);
    if (position == bar_)
        return;
    bar_ = position;
    TrackBar1Change();
    Q_EMIT Changed();
}

void TRecordLogic::TrackBar1Change()
{
    if (!DeviceOpen())
        return;
    const int64_t length = device_.Length();
    if (length > 0)
        lbPosition_ = FormatDuration(length * bar_ / kBarMax);
}

void TRecordLogic::DeviceFailed(const QString& reason)
{
    if (recordTimer_) {
        // The device has ended the take; keep what it holds, as a Stop would.
        StopHandler(false);
        const bool saved = DeviceOpen() && device_.Save();
        (void)saved;
        SetBar(kBarMax);
        lbLength_ = FormatDuration(device_.Length());
        lbState_ = QStringLiteral("Record over!");
        ShowError(kSaveSoundError);
    } else if (!lastWasRecording_) {
        if (playTimer_ || enabled_.Has(btStop)) {
            SetPlayTimer(false);
            lbState_ = kNoState;
            SetEnabled({btPlay, btNext, btPrev, btRecord});
        }
        ShowError(QStringLiteral("The sound could not be played: ") + reason);
    } else {
        // A take that was already stopped lost its last part.
        ShowError(kSaveSoundError);
    }
    Q_EMIT Changed();
}

// ---- menu ----

void TRecordLogic::New()
{
    if (!SaveRecording(true))
        return;
    TNewRecordChoice choice;
    if (!AskNewRecordFormat || !AskNewRecordFormat(choice))
        return;
    const QString noName = NoNameFile();
    // A link or a special file planted at the no-name file is neither written through nor
    // replaced: the header goes nowhere, and the user is told why.
    const bool planted = IsLinkOrSpecialFile(noName);
    currentFile_ = noName;
    CloseDevice();
    bool ok = false;
    if (!planted) {
        TWaveFormat format;
        format.Channels = choice.Mono ? 1 : 2;
        format.BitsPerSample = choice.EightBit ? 8 : 16;
        int32_t rate = 0;
        if (ParseDecimal(choice.RateText, rate) && rate > 0) {
            format.SampleRate = static_cast<uint32_t>(rate);
            device_.SetTimeFormatMilliseconds();
            ok = format.Supported() && WriteEmptyWave(noName, format) && device_.Open(noName);
        }
    }
    if (ok) {
        SetEnabled({btRecord});
    } else {
        SetEnabled({}); // the device is closed: nothing to play or record
        ShowError(planted ? LinkOrSpecialFileText(noName)
                          : QStringLiteral("Error while initializing MCI device!"));
    }
    panRecordTime_ = QStringLiteral("00:00:00.0");
    lbLength_ = QStringLiteral("0.00 Sec");
    lbPosition_ = QStringLiteral("0.00 Sec");
    caption_ = QStringLiteral("Record(NoName)");
    SetBar(0);
    mp3ConfirmedFor_.clear();
    Q_EMIT Changed();
}

void TRecordLogic::Open()
{
    if (!SaveRecording(true))
        return;
    for (;;) {
        FileDialogRequest r;
        r.Kind = FileDialogKind::OpenFile;
        r.Title = kOpenTitle;
        r.Directory = ProgramDir();
        r.Filter = kFilter;
        r.DefaultSuffix = QStringLiteral("wav");
        const QStringList picked = FileDialogs().Pick(r);
        if (picked.isEmpty())
            return;
        const QString file = picked.first();
        if (file == currentFile_)
            return;
        if (FileExists(file)) {
            // The working copy is removed when the window closes: never make it the named file.
            if (SameFile(file, workFile_)) {
                RefuseScratchFile(file);
                continue;
            }
            currentFile_ = file;
            caption_ = QStringLiteral("Record(") + ExtractFileName(file) + QLatin1Char(')');
            SetBar(0);
            mp3ConfirmedFor_.clear();
            LoadRecording(file);
            return;
        }
        MessageBoxRequest box;
        box.Text = file + QLatin1Char('\n') + QStringLiteral("Could not be found") + QChar(0xFF01) +
                   QLatin1Char('\n') + QStringLiteral("Please check the filename correct or not");
        box.Caption = ProductName();
        box.Icon = MbIcon::Warning;
        MessageBoxes().Show(box);
    }
}

void TRecordLogic::LoadRecording(const QString& file)
{
    currentFile_ = file;
    CloseDevice();
    SetEnabled({});
    // The no-name file is worked on directly, as a new recording is: a copy would keep its
    // changes away from the file that saving it renames.
    const bool noName = SameFile(file, NoNameFile());
    try {
        if (noName) {
            currentFile_ = NoNameFile();
            OpenDevice(currentFile_);
        } else {
            // The file is read before anything is copied, so a refusal names it, not the copy.
            CheckWaveFile(currentFile_);
            CopyOverScratchFile(currentFile_, workFile_);
            OpenDevice(workFile_);
        }
    } catch (...) {
        // Nothing usable is open: back to "no file".
        currentFile_.clear();
        if (!noName)
            RemoveScratchFile(workFile_);
        caption_ = QStringLiteral("Record");
        lbLength_ = lbPosition_ = QStringLiteral("0.00Sec");
        Q_EMIT Changed();
        throw;
    }
    SetEnabled({btPlay, btNext, btRecord});
    lbLength_ = FormatDuration(device_.Length());
    caption_ = noName ? QStringLiteral("Record(NoName)")
                      : QStringLiteral("Record(") + currentFile_ + QLatin1Char(')');
    Q_EMIT Changed();
}

void TRecordLogic::actSaveExecute()
{
    if (SaveEnabled())
        SaveRecording(false);
}

QString TRecordLogic::PickSaveTarget()
{
    FileDialogRequest r;
    r.Kind = FileDialogKind::SaveFile;
    r.Directory = ProgramDir();
    r.Filter = kFilter;
    r.DefaultSuffix = QStringLiteral("wav");
    r.CallerConfirmsOverwrite = true;
    const QStringList picked = FileDialogs().Pick(r);
    return picked.isEmpty() ? QString() : picked.first();
}

bool TRecordLogic::CheckWavExtension(const QString& target)
{
    if (QFileInfo(target).suffix().toLower() == QLatin1String("wav"))
        return true;
    ShowInformation(QStringLiteral("The save file should be WAV!"));
    return false;
}

bool TRecordLogic::RefuseScratchFile(const QString& target)
{
    if (!SameFile(target, NoNameFile()) && !SameFile(target, workFile_))
        return false;
    ShowInformation(
        target + QLatin1Char('\n') +
        QStringLiteral("This is a file the recorder works in. Please choose another name."));
    return true;
}

bool TRecordLogic::CanReplace(const QString& target) const
{
    struct stat st {};
    if (::stat(QFile::encodeName(target).constData(), &st) != 0)
        return !QFileInfo(target).isSymLink(); // nothing there (a dangling link is not ours)
    // Read-only counts by its mode too: root may write anything.
    return S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 && QFileInfo(target).isWritable() &&
           !IsFileInUse(target);
}

bool TRecordLogic::SaveRecording(bool ask)
{
    if (currentFile_.isEmpty())
        return true;
    if (enabled_.Has(btStop))
        MediaPlayer1Click(btStop);
    const QString noName = NoNameFile();
    if (!modified_) {
        if (currentFile_ != noName || ask)
            return true;
    } else if (ask) {
        MessageBoxRequest box;
        box.Text = (currentFile_ == noName ? QStringLiteral("NoName") : currentFile_) +
                   QStringLiteral(" has been modified,Save it?");
        box.Caption = ProductName();
        box.Icon = MbIcon::Information;
        box.Buttons = MbButtons::YesNoCancel;
        box.DefaultButton = MbAnswer::Yes;
        const MbAnswer answer = MessageBoxes().Show(box);
        if (answer == MbAnswer::Cancel)
            return false;
        if (answer == MbAnswer::No) {
            modified_ = false;
            Q_EMIT Changed();
            return true;
        }
    }
    if (currentFile_ != noName) {
        if (!FlushDevice())
            return false;
        CopyFileContents(workFile_, currentFile_);
        ExportMp3();
        modified_ = false;
        Q_EMIT Changed();
        return true;
    }

    const QString target = PickSaveTarget();
    if (target.isEmpty() || !CheckWavExtension(target) || RefuseLinkTarget(target) ||
        RefuseScratchFile(target))
        return false;
    if (QFileInfo::exists(target)) {
        if (AskYesNo(target + QStringLiteral(" has existed,overite it?")) != MbAnswer::Yes)
            return false;
        // The rename replaces the old file in one step; it is not deleted before.
        if (!CanReplace(target)) {
            ShowError(kDeleteError);
            return false;
        }
    }
    if (!FlushDevice())
        return false;
    CloseDevice();
    RemoveScratchFile(workFile_);
    if (!MoveFileReplacing(noName, target)) {
        Reopen(noName); // both files are as they were; go on with the recording
        ShowError(kSaveWavError);
        return false;
    }
    LoadRecording(target);
    ExportMp3();
    modified_ = false;
    Q_EMIT Changed();
    return true;
}

void TRecordLogic::actSaveAsExecute()
{
    if (!SaveAsEnabled())
        return;
    const QString target = PickSaveTarget();
    // The chosen name is the file: a link there, even one leading nowhere, is not followed.
    if (target.isEmpty() || !CheckWavExtension(target) || RefuseLinkTarget(target) ||
        RefuseScratchFile(target))
        return;
    const QString noName = NoNameFile();
    // Save As copies the named file as last saved: changes since then are saved or dropped
    // by the user's answer first, never silently.
    if (currentFile_ != noName && modified_ && !SaveRecording(true))
        return;
    if (QFileInfo::exists(target) &&
        AskYesNo(target + QStringLiteral(" has existed,overite it?")) != MbAnswer::Yes)
        return;
    if (currentFile_ == noName) {
        if (!CanReplace(target)) {
            ShowError(kDeleteError);
            return;
        }
        if (!FlushDevice())
            return;
        CloseDevice();
        if (!MoveFileReplacing(noName, target)) {
            Reopen(noName);
            ShowError(kSaveWavError);
            return;
        }
    } else if (!SameFile(currentFile_, target)) {
        // The device keeps its file if this raises.
        QString error;
        if (!CopyFileOverName(currentFile_, target, &error))
            throw EAppException(error);
    }
    CloseDevice();
    LoadRecording(target);
    // Saved under the new name: nothing is left to save or undo, as after Save.
    modified_ = false;
    ExportMp3();
    Q_EMIT Changed();
}

void TRecordLogic::actUndoExecute()
{
    if (!UndoEnabled())
        return;
    if (AskYesNo(QStringLiteral("Discard the modification since last save file.")) != MbAnswer::Yes)
        return;
    CloseDevice();
    try {
        CopyOverScratchFile(currentFile_, workFile_);
    } catch (...) {
        Reopen(workFile_);
        throw;
    }
    OpenDevice(workFile_);
    SetEnabled({btPlay, btNext, btRecord});
    lbLength_ = FormatDuration(device_.Length());
    lbPosition_ = lbLength_;
    Q_EMIT Changed();
}

void TRecordLogic::RecordingControl()
{
    if (!ShellStartDetached(QStringLiteral("pavucontrol"), {QStringLiteral("--tab=2")}))
        ShowError(QStringLiteral("The recording control (pavucontrol) could not be started."));
}

void TRecordLogic::Exit()
{
    if (CloseWindow)
        CloseWindow();
}

void TRecordLogic::lWebClick()
{
    ShellOpenUrl(ManualUrl(QStringLiteral("about")));
}

void TRecordLogic::ExportMp3()
{
    if (!saveMp3_ || currentFile_.isEmpty())
        return;
    const int handle = host_.CDHandle ? host_.CDHandle() : 0;
    if (handle == 0) {
        ShowInformation(QStringLiteral("Please access CD devices rightly above all!"));
        Exit();
        return;
    }
    const QString mp3 = ChangeFileExt(currentFile_, QStringLiteral(".mp3"));
    // Settled once per MP3 name: a Save As to another name asks again for its own MP3.
    if (mp3ConfirmedFor_ != mp3 && FileExists(mp3) &&
        AskYesNo(mp3 + QStringLiteral(" has existed,overite it?")) != MbAnswer::Yes)
        return;
    if (IsFileInUse(mp3)) {
        ShowError(mp3 + QStringLiteral(" maybe be used!"));
        return;
    }
    mp3ConfirmedFor_ = mp3;
    if (!host_.RunJob)
        return;
    // The job encodes to the output format, which is the user's choice for rips: MP3 only
    // for as long as this job runs (it is modal, so nothing else sees the change).
    int32_t& format = OptionsSetting().CommonOptions.OutputFormat;
    const int32_t users = std::exchange(format, int32_t{ofMP3});
    try {
        host_.RunJob(4, handle, {currentFile_});
    } catch (...) {
        format = users;
        throw;
    }
    format = users;
}
