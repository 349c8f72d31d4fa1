#include "pipeline/RipJob.h"

#include <algorithm>

#include <QFile>
#include <QThread>

#include "cd/CDRipThread.h"
#include "pipeline/StreamSteps.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "metadata/Genres.h"
#include "metadata/Id3Tag.h"
#include "core/AppEvents.h"
#include "core/AppException.h"
#include "core/ErrorHandler.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "core/TextUtil.h"

QString JobCaption(const QString& verb, int k, int n, const QString& text)
{
    return verb + QLatin1Char('(') + TwoDigits(k) + QLatin1Char('/') + TwoDigits(n) +
           QStringLiteral("): ") + text;
}

namespace {

constexpr int kWmaRatios[33] = {7315,  8770,  10949, 7316,   8772,   10954,  14581,  17471, 21790,
                                28963, 43174, 28963, 43134,  28999,  34720,  43214,  68873, 43134,
                                62208, 68264, 68264, 84458,  67963,  84150,  84150,  110460, 131113,
                                133765, 165296, 113717, 167692, 220395, 261485};

} // namespace

int WmaSizeRatio(int profile)
{
    return profile >= 0 && profile < 33 ? kWmaRatios[profile] : kWmaRatios[8];
}

TRipJob::TRipJob(int jobKind, int cdHandle, const QStringList& list, TJobRunners runners, QObject* parent)
    : QObject(parent), kind_(jobKind), cdHandle_(cdHandle), fileList_(list), entries_(list), runners_(runners)
{
    timer1_.setInterval(1000);
    connect(&timer1_, &QTimer::timeout, this, &TRipJob::Timer1Timer);
    encoded_.assign(static_cast<size_t>(list.size()), false);
    tempFile_ = ChooseTempFile();
    // Created for every kind: without the Ogg and Vorbis libraries no job window exists.
    streams_ = std::make_unique<TStreamSteps>(this);
    if (Count() == 0) {
        fileList_.reset();
        return;
    }
    switch (kind_) {
    case jkRipTracks:
        StartExtraction(0);
        view_.Label3 = QStringLiteral("Initializing...");
        SetCaption(QStringLiteral("Extracting"), 1, Title(0));
        break;
    case jkMp3ToWav:
        SetStep(QStringLiteral("Decoding MP3 to WAV"), QStringLiteral("Decoding"), 1, entries_[0]);
        StartMp3(entries_[0], OutputFor(0, QStringLiteral(".wav")), false);
        break;
    case jkRecordingToMp3:
        SetStep(QStringLiteral("Encoding WAV to MP3"), QStringLiteral("Encoding"), 1, entries_[0]);
        StartMp3(entries_[0], ChangeFileExt(entries_[0], QStringLiteral(".mp3")), true);
        break;
    case jkWavToWma:
        SetStep(QStringLiteral("Encoding WAV to WMA"), QStringLiteral("Encoding"), 1, entries_[0]);
        StartWma(entries_[0], OutputFor(0, QStringLiteral(".wma")));
        break;
    case jkWavToMp3:
    case jkWavToOgg:
        ResamplingTest(0);
        break;
    default:
        break;
    }
    view_.Label1.clear();
    view_.Label2.clear();
    view_.BarTextVisible = false;
}

TRipJob::~TRipJob()
{
    Cleanup();
    streams_.reset(); // its workers end while this object is still whole
}

QString TRipJob::OutputDir()
{
    return IncludeTrailingSlash(OptionsSetting().CommonOptions.OutputFolder);
}

QString TRipJob::OutputFor(int k, const QString& ext) const
{
    return ChangeFileExt(OutputDir() + ExtractFileName(entries_.value(k)), ext);
}

void TRipJob::SetStep(const QString& group, const QString& verb, int k, const QString& text)
{
    view_.GroupCaption = group;
    SetCaption(verb, k, text);
}

QString TRipJob::Title(int k) const
{
    return entries_.value(k).mid(2);
}

int TRipJob::TrackNumber(int k) const
{
    int32_t n = 0;
    return ParseDecimal(entries_.value(k).left(2), n) ? n : 0;
}

void TRipJob::SetCaption(const QString& verb, int k, const QString& text)
{
    view_.Caption = JobCaption(verb, k, Count(), text);
    Changed();
}

void TRipJob::StartExtraction(int k)
{
    auto thread = std::make_unique<TCDRipThread>(TrackNumber(k), Title(k));
    thread->SetDriveHandle(cdHandle_);
    thread->SetReceiver(this);
    ripThread_ = std::move(thread);
    ripThread_->Resume();
}

void TRipJob::StartNextExtraction()
{
    SetCaption(QStringLiteral("Extracting"), extractIndex_ + 1, Title(extractIndex_));
    view_.Label3 = QStringLiteral("Initializing...");
    view_.Label3Visible = true;
    view_.GroupCaption = QStringLiteral("Extracting");
    ripThread_.reset(); // waits for the finished thread
    StartExtraction(extractIndex_);
    Changed();
}

bool TRipJob::event(QEvent* e)
{
    // A step that cannot start (a runner's process, an unreadable input) is reported by the
    // general error handler; the job then waits for Stop.
    if (e->type() == static_cast<QEvent::Type>(WM_JOBPROGRESS)) {
        auto* progress = static_cast<JobProgressEvent*>(e);
        GuardedCall([&] { HandleJobProgress(std::move(progress->Info)); });
        return true;
    }
    if (e->type() == static_cast<QEvent::Type>(WM_RIPFAILED)) {
        const int code = static_cast<RipFailedEvent*>(e)->Code;
        GuardedCall([&] { HandleRipFailed(code); });
        return true;
    }
    return QObject::event(e);
}

void TRipJob::HandleJobProgress(std::unique_ptr<TProcessInfo> info)
{
    // Reports still queued from a job that has ended change nothing.
    if (!info || !Running())
        return;
    switch (info->Percent) {
    case JobCode::NormalizeStarts:
        SetCaption(QStringLiteral("Normalizing"), extractIndex_ + 1, Title(extractIndex_));
        break;
    case JobCode::ExtractEnded:
        HandleExtractEnded(*info);
        break;
    case JobCode::Mp3Ended:
        HandleMp3Ended(*info);
        break;
    case JobCode::WmaEnded:
        HandleWmaEnded(*info);
        break;
    case JobCode::OggEnded:
        HandleOggEnded(*info);
        break;
    case JobCode::ResampleEnded:
        HandleResampleEnded(*info);
        break;
    default:
        HandleProgress(*info);
        break;
    }
}

void TRipJob::HandleProgress(const TProcessInfo& info)
{
    timer1_.stop();
    progressSeen_ = true;
    view_.Label1 = info.ElapsedText;
    view_.Label2 = info.TotalText;
    if (info.Percent > 0) {
        view_.Label3Visible = false;
        view_.BarTextVisible = true;
        view_.Bar = std::clamp(info.Percent, 0, 100);
    }
    Changed();
}

void TRipJob::HandleExtractEnded(const TProcessInfo& info)
{
    // The extraction step is complete: progress seen from here on is the encoder's.
    progressSeen_ = false;
    const int c = info.ErrorCode;
    if (c == ExtractOutcome::ReadError) {
        ShowError(QStringLiteral("Error while reading CD information!"));
    } else if (c == ExtractOutcome::NotCreated) {
        ShowError(OptionsSetting().CommonOptions.OutputFolder + QStringLiteral("/") + Title(extractIndex_) +
                  QStringLiteral(".wav") +
                  QStringLiteral(" is not a valid file name.Please rename the Title in the CD tracks list."));
    } else if (c == ExtractOutcome::WriteError) {
        ShowError(info.ElapsedText);
    }
    ++extractIndex_;
    if (!Running())
        return; // a message box let the user stop the job meanwhile
    if (OptionsSetting().CommonOptions.OutputFormat == ofWAV) {
        if (extractIndex_ == Count()) {
            Finish();
            return;
        }
        StartNextExtraction();
        return;
    }
    StartEncodeStepOfTrack(info);
}

void TRipJob::StartEncodeStepOfTrack(const TProcessInfo& ended)
{
    const int format = OptionsSetting().CommonOptions.OutputFormat;
    const QString title = Title(extractIndex_ - 1);
    const QString wav = OutputDir() + title + QStringLiteral(".wav");
    if (format == ofWMA)
        ripThread_.reset();
    const QString output = ChangeFileExt(wav, format == ofWMA ? QStringLiteral(".wma")
                                              : format == ofOGG ? QStringLiteral(".ogg")
                                                                : QStringLiteral(".mp3"));
    if (ended.ErrorCode != ExtractOutcome::Success || !OutputAcceptable(output)) {
        // The track has no WAV to encode, or nowhere safe to put it: its encode step ends at
        // once as skipped.
        SkipStep();
        return;
    }
    SetStep(QStringLiteral("Encoding"), QStringLiteral("Encoding"), extractIndex_, title);
    if (format == ofWMA)
        StartWma(wav, output);
    else if (format == ofOGG)
        RunVorbis(wav, output);
    else
        StartMp3(wav, output, true);
}

int32_t TRipJob::EndCodeOfStep() const
{
    if (kind_ == jkRipTracks) {
        const int format = OptionsSetting().CommonOptions.OutputFormat;
        return format == ofOGG ? JobCode::OggEnded : (format == ofWMA ? JobCode::WmaEnded : JobCode::Mp3Ended);
    }
    if (kind_ == jkWavToOgg)
        return JobCode::OggEnded;
    return kind_ == jkWavToWma ? JobCode::WmaEnded : JobCode::Mp3Ended;
}

void TRipJob::SkipStep()
{
    progressSeen_ = true;
    PostAppEvent(this, MakeJobProgress(EndCodeOfStep(), {}, {}, StepOutcome::Skipped));
}

bool TRipJob::InputAcceptable(const QString& input)
{
    // A FIFO or device would hang the reader or the tool; a missing file is left to the step,
    // which reports it in its own words.
    if (!FileExists(input) || IsRegularFile(input))
        return true;
    ShowError(input + QStringLiteral(" is not a regular file."));
    return false;
}

bool TRipJob::OutputAcceptable(const QString& output)
{
    // The tools open their output following links: a link planted where the output goes would
    // have them write outside the output folder.
    if (!IsLinkOrSpecialFile(output))
        return true;
    ShowError(output + QStringLiteral(" is a link or a special file; it was not written."));
    return false;
}

void TRipJob::RemoveFailedOutput(const QString& output)
{
    // What a failed tool left is no complete file; only a plain file of ours is removed.
    if (!output.isEmpty() && IsRegularFile(output) && !IsLinkOrSpecialFile(output) && !IsFileInUse(output))
        QFile::remove(output);
}

void TRipJob::MarkEncoded(int k)
{
    if (k >= 0 && k < static_cast<int>(encoded_.size()))
        encoded_[static_cast<size_t>(k)] = true;
}

void TRipJob::StartRunner(TEncodeProcess* runner, const QString& input, const QString& output, bool encode)
{
    if (runner == nullptr)
        throw EAppException("Error while creating mp3 encoding process!");
    runner->Active = true;
    runner->InputFile = input;
    runner->OutputFile = output;
    runner->NotifyWindow = this;
    runner->Encode = encode;
    runner->JobKind = static_cast<uint8_t>(kind_);
    runner->Start();
}

void TRipJob::StartMp3(const QString& input, const QString& output, bool encode)
{
    if (!InputAcceptable(input) || !OutputAcceptable(output)) {
        SkipStep();
        return;
    }
    StartRunner(runners_.Mp3, input, output, encode);
}

void TRipJob::StartWma(const QString& input, const QString& output)
{
    if (!InputAcceptable(input) || !OutputAcceptable(output)) {
        SkipStep();
        return;
    }
    wmaStepStartTime_ = std::chrono::steady_clock::now();
    view_.Bar = 0;
    timer1_.start();
    wmaInputSize_ = std::max<qint64>(0, FileSizeOrMinus1(input));
    Changed();
    StartRunner(runners_.Wma, input, output, true);
}

void TRipJob::HandleMp3Ended(const TProcessInfo& info)
{
    const int o = info.ErrorCode;
    const QString createError = QStringLiteral("Create MP3 file error!") + QStringLiteral("\r\n") +
                                QStringLiteral("Please check the output and lame options or run application again.");
    if (o == StepOutcome::OutputInUse && !progressSeen_)
        ShowError(entries_.value(encodeIndex_) + QStringLiteral("maybe be used,operate fail!"));
    else if ((o == StepOutcome::ToolExited || o == StepOutcome::ToolFailed) && !progressSeen_)
        ShowError(createError);
    else if (o == StepOutcome::ToolFailed) // failed after it had begun: say how
        ShowError(createError + QStringLiteral("\r\n") + info.ElapsedText);
    if (o == StepOutcome::ToolFailed && runners_.Mp3 != nullptr)
        RemoveFailedOutput(runners_.Mp3->OutputFile);
    if (!Running())
        return;
    const bool succeeded = o == StepOutcome::ToolExited && progressSeen_;
    if (kind_ == jkRipTracks && succeeded) {
        MarkEncoded(encodeIndex_);
        if (OptionsSetting().ID3.Use)
            WriteTrackTag();
    }
    progressSeen_ = false;
    ++encodeIndex_;
    if (encodeIndex_ == Count()) {
        Finish();
        return;
    }
    if (kind_ == jkRipTracks) {
        StartNextExtraction();
    } else if (kind_ == jkWavToMp3) {
        ResamplingTest(encodeIndex_);
    } else if (kind_ == jkMp3ToWav) {
        const int k = encodeIndex_;
        SetStep(QStringLiteral("Decoding"), QStringLiteral("Decoding"), k + 1, entries_[k]);
        StartMp3(entries_[k], OutputFor(k, QStringLiteral(".wav")), false);
    }
}

void TRipJob::HandleWmaEnded(const TProcessInfo& info)
{
    timer1_.stop();
    const int o = info.ErrorCode;
    if (o == StepOutcome::OutputInUse && !progressSeen_)
        ShowError(entries_.value(encodeIndex_) + QStringLiteral("maybe be used,operate fail!"));
    else if (o == StepOutcome::ErrorLine)
        ShowError(info.ElapsedText);
    else if (o == StepOutcome::ToolFailed)
        ShowError(QStringLiteral("Create WMA file error!") + QStringLiteral("\r\n") + info.ElapsedText);
    if (o == StepOutcome::ToolFailed && runners_.Wma != nullptr)
        RemoveFailedOutput(runners_.Wma->OutputFile);
    if (!Running())
        return;
    if (kind_ == jkRipTracks && o == StepOutcome::ToolExited)
        MarkEncoded(encodeIndex_);
    progressSeen_ = false;
    ++encodeIndex_;
    if (encodeIndex_ == Count()) {
        // The end event may arrive inside the runner's Start: close only once back in the loop.
        Cleanup();
        FinishLater();
        return;
    }
    if (kind_ == jkRipTracks) {
        StartNextExtraction();
    } else if (kind_ == jkWavToWma) {
        const int k = encodeIndex_;
        SetStep(QStringLiteral("Encoding"), QStringLiteral("Encoding"), k + 1, entries_[k]);
        StartWma(entries_[k], OutputFor(k, QStringLiteral(".wma")));
        view_.Label2.clear();
        Changed();
    }
}

QString TRipJob::TempFile() const
{
    return tempFile_;
}

QString TRipJob::ChooseTempFile() const
{
    const QString base = kind_ == jkWavToMp3 ? QStringLiteral("MyMP3ReTemp") : QStringLiteral("MyReTemp");
    // The temporary file is rewritten for every input and deleted at the end: it must never be
    // one of the job's own inputs.
    const auto isInput = [this](const QString& candidate) {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const QString& entry) { return SameFile(entry, candidate); });
    };
    QString candidate = OutputDir() + base + QStringLiteral(".wav");
    for (int n = 1; isInput(candidate); ++n)
        candidate = OutputDir() + base + QString::number(n) + QStringLiteral(".wav");
    return candidate;
}

void TRipJob::ResamplingTest(int k)
{
    const QString entry = entries_[k];
    // A file that vanished or holds nothing the reader can deliver is skipped with a word,
    // rather than encoded into an empty file or left to fail inside the encoder.
    const bool exists = FileExists(entry);
    if (exists && !InputAcceptable(entry)) {
        SkipStep();
        return;
    }
    const TStreamSteps::TInputProbe probe = exists ? streams_->Probe(entry) : TStreamSteps::TInputProbe{};
    if (!probe.Readable) {
        ShowError(entry + (exists ? QStringLiteral(" is not a WAV file that can be converted.")
                                  : QStringLiteral(" does not exist.")));
        SkipStep();
        return;
    }
    if (probe.SampleRate >= 44100) {
        const QString group = k == 0 ? (kind_ == jkWavToMp3 ? QStringLiteral("Encoding WAV to MP3")
                                                            : QStringLiteral("Encoding WAV to OGG"))
                                     : QStringLiteral("Encoding");
        SetStep(group, QStringLiteral("Encoding"), k + 1, entry);
        if (kind_ == jkWavToMp3)
            StartMp3(entry, OutputFor(k, QStringLiteral(".mp3")), true);
        else
            RunVorbis(entry, OutputFor(k, QStringLiteral(".ogg")));
        return;
    }
    if (!OutputAcceptable(TempFile())) {
        SkipStep();
        return;
    }
    streams_->RunResampling(entry, TempFile());
    SetStep(QStringLiteral("Resampling WAV"), QStringLiteral("Resampling"), k + 1, entry);
}

void TRipJob::RunVorbis(const QString& input, const QString& output)
{
    if (!InputAcceptable(input) || !OutputAcceptable(output)) {
        SkipStep();
        return;
    }
    oggOutput_ = output;
    streams_->RunVorbis(input, output);
}

void TRipJob::HandleOggEnded(const TProcessInfo& info)
{
    QThread::msleep(300);
    if (info.ErrorCode == StepOutcome::ToolFailed)
        RemoveFailedOutput(oggOutput_);
    else if (kind_ == jkRipTracks && info.ErrorCode != StepOutcome::Skipped)
        MarkEncoded(oggIndex_);
    progressSeen_ = false;
    ++oggIndex_;
    if (oggIndex_ == Count()) {
        Cleanup();
        QThread::msleep(300);
        Q_EMIT CloseRequested();
        return;
    }
    if (kind_ == jkRipTracks)
        StartNextExtraction();
    else if (kind_ == jkWavToOgg)
        ResamplingTest(oggIndex_);
}

void TRipJob::HandleResampleEnded(const TProcessInfo& info)
{
    // The resampling step is complete: progress seen from here on is the encoder's.
    progressSeen_ = false;
    if (info.ErrorCode != 0) {
        // The temporary file is incomplete: never encode it (the failure has been shown).
        SkipStep();
        return;
    }
    if (kind_ == jkWavToMp3) {
        const int k = encodeIndex_;
        SetStep(QStringLiteral("Encoding"), QStringLiteral("Encoding"), k + 1, entries_[k]);
        StartMp3(TempFile(), OutputFor(k, QStringLiteral(".mp3")), true);
    } else if (kind_ == jkWavToOgg) {
        const int k = oggIndex_;
        SetStep(QStringLiteral("Encoding"), QStringLiteral("Encoding"), k + 1, entries_[k]);
        RunVorbis(TempFile(), OutputFor(k, QStringLiteral(".ogg")));
    }
}

void TRipJob::WriteTrackTag()
{
    const TCDInfo& info = OptionsSetting().CDInfo;
    const int index = extractIndex_ - 1;
    const QString t = Title(index);
    Tid3tag tag;
    tag.SetTitle(t.left(255));
    tag.SetArtist(info.Artist.left(255));
    tag.SetAlbum(info.Album.left(255));
    tag.SetYear(info.Year.left(255));
    tag.Genre = GenreToByte(info.Genre & 0xFF);
    tag.SetComment(info.Comment);
    tag.SetTrack(static_cast<uint8_t>(TrackNumber(index)));
    const uint16_t r = tag.WriteTag(OutputDir() + t + QStringLiteral(".mp3"));
    if (r > 255)
        ShowPlain(QStringLiteral("Error #%1! Could not save Tag!").arg(r));
}

void TRipJob::Timer1Timer()
{
    const int64_t e = ElapsedSeconds(wmaStepStartTime_);
    view_.Label1 = Mmss(e);
    Changed();
    if (runners_.Wma == nullptr || !runners_.Wma->Active)
        return;
    view_.Label3Visible = false;
    const qint64 out = FileSizeOrMinus1(runners_.Wma->OutputFile);
    int64_t total = 0;
    if (wmaInputSize_ < 2000000) {
        total = 2;
    } else {
        int32_t& profile = OptionsSetting().WMAOptions.BitRate;
        if (profile < 0 || profile > 32)
            profile = 8;
        int64_t predicted = RoundHalfEven(static_cast<double>(wmaInputSize_) * 1000.0 / WmaSizeRatio(profile));
        if (predicted < out)
            predicted = out;
        if (out <= 0) {
            Changed();
            return; // nothing written yet: no estimate
        }
        total = predicted * e / out;
    }
    if (e >= total)
        total = e + 1;
    view_.Label2 = Mmss(total);
    view_.BarTextVisible = true;
    const int pct = static_cast<int>(RoundHalfEven(static_cast<double>(e) * 100.0 / static_cast<double>(total)));
    if (view_.Bar < pct)
        view_.Bar = std::min(pct, 100);
    Changed();
}

void TRipJob::HandleRipFailed(int code)
{
    if (!Running())
        return;
    if (code == 1)
        ShowError(QStringLiteral("CD extract failed!Please try again."));
    else if (code == 2)
        ShowError(QStringLiteral("Error while reading TOC information!"));
    // The job waits for Stop.
}

void TRipJob::Finish()
{
    Cleanup();
    Q_EMIT CloseRequested();
}

void TRipJob::FinishLater()
{
    QMetaObject::invokeMethod(this, [this] { Q_EMIT CloseRequested(); }, Qt::QueuedConnection);
}

void TRipJob::Cleanup()
{
    if (!fileList_)
        return;
    if (ripThread_) {
        ripThread_->StopRequested = true;
        ripThread_.reset();
    }
    timer1_.stop();
    // A resampling still writing its temporary file is ended, so the file can go below.
    streams_->StopResampling();
    // Stop the encoders first: a WAV must not go while its encode is still running.
    if (runners_.Mp3 != nullptr && runners_.Mp3->Active)
        runners_.Mp3->Stop(0);
    if (runners_.Wma != nullptr && runners_.Wma->Active)
        runners_.Wma->Stop(0);
    const TCommonOptions& common = OptionsSetting().CommonOptions;
    if (kind_ == jkRipTracks && extractIndex_ == Count() && !common.IsKeepWav &&
        (common.OutputFormat == ofMP3 || common.OutputFormat == ofOGG || common.OutputFormat == ofWMA)) {
        // Only tracks whose encode step succeeded: a job stopped during the last encode, or an
        // encode that failed, keeps that track's WAV, the only complete copy of it.
        for (int k = 0; k < Count(); ++k) {
            if (!encoded_[static_cast<size_t>(k)])
                continue;
            const QString name = Title(k) + QStringLiteral(".wav");
            const QString wav = OutputDir() + name;
            if (IsValidFileName(name) && FileExists(wav) && !IsFileInUse(wav))
                QFile::remove(wav);
        }
    }
    fileList_.reset();
    if (kind_ == jkWavToMp3 || kind_ == jkWavToOgg) {
        const QString temp = TempFile();
        if (FileExists(temp) && !IsFileInUse(temp))
            QFile::remove(temp);
    }
}

void TRipJob::Stop()
{
    const int format = OptionsSetting().CommonOptions.OutputFormat;
    if ((kind_ == jkRipTracks && format == ofOGG) || kind_ == jkWavToOgg) {
        streams_->StopVorbis();
        QThread::msleep(300);
    }
    Cleanup();
    Q_EMIT CloseRequested();
}
