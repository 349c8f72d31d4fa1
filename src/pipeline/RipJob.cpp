#include "pipeline/RipJob.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

#include <QFile>
#include <QThread>

#include "cd/CDRipThread.h"
#include "core/AppEvents.h"
#include "core/AppException.h"
#include "core/ErrorHandler.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "encoders/WmaProfiles.h"
#include "metadata/Genres.h"
#include "metadata/TagWriter.h"
#include "metadata/id3tag.h"
#include "pipeline/JobTexts.h"
#include "pipeline/NamePattern.h"
#include "pipeline/OutputFormats.h"
#include "pipeline/ParallelJob.h"
#include "pipeline/RipVerification.h"
#include "pipeline/StreamSteps.h"
#include "pipeline/WmaEstimate.h"

namespace {

/// The pause the job makes after an Ogg Vorbis step, before it closes, and after stopping one.
constexpr int kVorbisSettleMs = 300;

} // namespace

QString JobCaption(const QString& verb, int k, int n, const QString& text)
{
    return verb + QLatin1Char('(') + TwoDigits(k) + QLatin1Char('/') + TwoDigits(n) +
           QStringLiteral("): ") + text;
}

TRipJob::TRipJob(int jobKind, int cdHandle, const QStringList& list, TJobRunners runners,
                 const QByteArray& cover, QObject* parent)
    : QObject(parent), kind_(jobKind), cdHandle_(cdHandle),
      plan_(JobPlanOf(jobKind, OptionsSetting().CommonOptions.OutputFormat)), fileList_(list),
      entries_(list), cover_(jobKind == jkRipTracks ? cover : QByteArray()), runners_(runners)
{
    timer1_.setInterval(1000);
    connect(&timer1_, &QTimer::timeout, this, &TRipJob::Timer1Timer);
    encoded_.assign(static_cast<size_t>(list.size()), false);
    entryOk_.assign(static_cast<size_t>(list.size()), false);
    if (jobKind == jkRipTracks) {
        ripFiles_ = RipJobFiles(list, RipNamingOf(OptionsSetting(), cover));
        if (!list.isEmpty())
            StartVerification();
    }
    tempFile_ = ChooseTempFile();
    // Created for every kind: without the Ogg and Vorbis libraries no job window exists.
    streams_ = std::make_unique<TStreamSteps>(this);
    if (Count() == 0 || plan_.Steps.empty()) {
        fileList_.reset();
        return;
    }
    const int32_t parallel = OptionsSetting().CommonOptions.ParallelEncoders;
    if (ParallelJobWanted(parallel) && TParallelJob::Supports(kind_)) {
        StartParallel(EncodeLaneWidth(parallel, QThread::idealThreadCount()), cover);
        return;
    }
    BeginEntry();
    view_.Label1.clear();
    view_.Label2.clear();
    view_.BarTextVisible = false;
}

TRipJob::~TRipJob()
{
    Cleanup();
    streams_.reset(); // its workers end while this object is still whole
}

void TRipJob::StartVerification()
{
    verification_ = std::make_unique<TRipVerification>(
        RipVerifySetupOf(cdHandle_, ripFiles_, OptionsSetting()));
    connect(verification_.get(), &TRipVerification::TrackResultKnown, this, [this](int k) {
        view_.Results << QStringLiteral("Track %1  %2")
                             .arg(TwoDigits(TrackNumber(k)), verification_->TrackText(k));
        Changed();
    });
}

std::unique_ptr<TRipVerification> TRipJob::TakeVerification()
{
    if (verification_)
        verification_->disconnect(this);
    return std::move(verification_);
}

QString TRipJob::OutputDir()
{
    return IncludeTrailingSlash(OptionsSetting().CommonOptions.OutputFolder);
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

QString TRipJob::EntryText() const
{
    return kind_ == jkRipTracks ? Title(entry_) : entries_.value(entry_);
}

QString TRipJob::StepOutput(const QString& ext) const
{
    switch (plan_.Place) {
    case TOutputPlace::RipEntry:
        return ripFiles_[static_cast<size_t>(entry_)].Encoded;
    case TOutputPlace::BesideEntry:
        return ChangeFileExt(entries_.value(entry_), ext);
    case TOutputPlace::OutputFolder:
        break;
    }
    return ChangeFileExt(OutputDir() + ExtractFileName(entries_.value(entry_)), ext);
}

void TRipJob::SetCaption(const QString& verb, int k, const QString& text)
{
    view_.Caption = JobCaption(verb, k, Count(), text);
    Changed();
}

void TRipJob::SetStep(const QString& group, const QString& verb, int k, const QString& text)
{
    view_.GroupCaption = group;
    SetCaption(verb, k, text);
}

void TRipJob::SetEncodeStep(const QString& verb)
{
    // The first file of a conversion names the whole job in the group box, unless it had to be
    // resampled first; every later step shows the verb alone.
    const bool first = kind_ != jkRipTracks && entry_ == 0 && !resampled_;
    SetStep(first ? plan_.FirstGroup : verb, verb, entry_ + 1, EntryText());
}

// --- The driver -----------------------------------------------------------------------------

void TRipJob::StartCurrentStep()
{
    const TStepType type = CurrentStep();
    // The extraction of the entry is over once another step begins (the WMA end event may
    // arrive inside its runner's Start, long before the next extraction).
    if (type != TStepType::Extract)
        ripThread_.reset();
    if (entryFailed_) {
        SkipStep();
        return;
    }
    switch (type) {
    case TStepType::Extract:
        StartExtract();
        break;
    case TStepType::Resample:
        StartResample();
        break;
    case TStepType::Mp3:
        StartMp3();
        break;
    case TStepType::Wma:
        StartWma();
        break;
    case TStepType::Vorbis:
        StartVorbis();
        break;
    case TStepType::Encoder:
        StartEncoder();
        break;
    case TStepType::Normalize:
        SkipStep(); // not in this job's plans: its extraction normalises
        break;
    }
}

void TRipJob::SkipStep()
{
    progressSeen_ = true;
    PostAppEvent(this, MakeJobProgress(EndCodeOf(CurrentStep()), {}, {}, StepOutcome::Skipped));
}

void TRipJob::StepEnded(TStepType type, bool succeeded)
{
    if (!Running() || stopping_)
        return; // a message box let the user stop the job meanwhile
    ++finished_[static_cast<size_t>(type)];
    progressSeen_ = false; // what comes next reports its own progress
    if (!succeeded)
        entryFailed_ = true;
    if (stepPos_ + 1 < plan_.Steps.size()) {
        ++stepPos_;
        StartCurrentStep();
        return;
    }
    entryOk_[static_cast<size_t>(entry_)] = !entryFailed_;
    if (kind_ == jkRipTracks && !entryFailed_) {
        // The first track in place takes the disc's cover beside it.
        const QString problem = cover_.PlaceBeside(ripFiles_[static_cast<size_t>(entry_)].Wav);
        if (!problem.isEmpty())
            ShowError(problem);
        if (!Running() || stopping_)
            return; // stopped while the message was shown
    }
    if (++entry_ == Count()) {
        Finish(type);
        return;
    }
    BeginEntry();
}

void TRipJob::BeginEntry()
{
    stepPos_ = 0;
    entryFailed_ = false;
    resampled_ = false;
    stepInput_ = entries_.value(entry_); // a file conversion's first step reads the entry
    // A track none of whose files can be written is not read at all.
    if (kind_ == jkRipTracks && (!MakeRipFolders(entry_) || !RipOutputsWritable(entry_)))
        entryFailed_ = true;
    StartCurrentStep();
}

void TRipJob::Finish(TStepType lastStep)
{
    Cleanup();
    if (lastStep == TStepType::Wma) {
        // The end event may arrive inside the runner's Start: close only once back in the loop.
        FinishLater();
    } else if (lastStep == TStepType::Vorbis) {
        QTimer::singleShot(kVorbisSettleMs, this, [this] { Q_EMIT CloseRequested(); });
    } else {
        Q_EMIT CloseRequested();
    }
}

void TRipJob::FinishLater()
{
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT CloseRequested(); }, Qt::QueuedConnection);
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
    // Reports still queued from a job that has ended, or is stopping, change nothing.
    if (!info || !Running() || stopping_)
        return;
    if (info->Percent == JobCode::NormalizeStarts) {
        SetCaption(QStringLiteral("Normalizing"), entry_ + 1, Title(entry_));
        return;
    }
    const struct {
        int32_t code;
        TStepType type;
        void (TRipJob::*handler)(const TProcessInfo&);
    } ends[] = {{JobCode::ExtractEnded, TStepType::Extract, &TRipJob::ExtractEnded},
                {JobCode::ResampleEnded, TStepType::Resample, &TRipJob::ResampleEnded},
                {JobCode::Mp3Ended, TStepType::Mp3, &TRipJob::Mp3Ended},
                {JobCode::WmaEnded, TStepType::Wma, &TRipJob::WmaEnded},
                {JobCode::OggEnded, TStepType::Vorbis, &TRipJob::VorbisEnded},
                {JobCode::EncoderEnded, TStepType::Encoder, &TRipJob::EncoderEnded}};
    for (const auto& end : ends) {
        if (info->Percent != end.code)
            continue;
        // Only the running step can end; anything else is a stray report.
        if (end.type == CurrentStep())
            (this->*end.handler)(*info);
        return;
    }
    HandleProgress(*info);
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

void TRipJob::HandleRipFailed(int code)
{
    if (!Running())
        return;
    if (code == RipFailure::AddressMode)
        ShowError(QStringLiteral("CD extract failed!Please try again."));
    else if (code == RipFailure::TocUnreadable)
        ShowError(QStringLiteral("Error while reading TOC information!"));
    // The job waits for Stop.
}

// --- Extraction ---------------------------------------------------------------------------

void TRipJob::StartExtract()
{
    const int k = entry_;
    SetStep(QStringLiteral("Extracting"), QStringLiteral("Extracting"), k + 1, Title(k));
    view_.Label3 = QStringLiteral("Initializing...");
    view_.Label3Visible = true;
    ripThread_.reset(); // waits for the finished thread
    const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
    stepInput_ = files.Wav;
    auto thread =
        std::make_unique<TCDRipThread>(files.Track, files.NameValid ? files.Wav : QString(),
                                       OptionsSetting().CommonOptions, OptionsSetting().CDOptions);
    thread->SetDriveHandle(cdHandle_);
    thread->SetReceiver(this);
    ripThread_ = std::move(thread);
    ripThread_->Resume();
    Changed();
}

void TRipJob::ExtractEnded(const TProcessInfo& info)
{
    const int c = info.ErrorCode;
    const QString& wav = ripFiles_[static_cast<size_t>(entry_)].Wav;
    if (c == ExtractOutcome::ReadError) {
        ShowError(QStringLiteral("Error while reading CD information!"));
    } else if (c == ExtractOutcome::NotCreated) {
        ShowError(wav +
                  QStringLiteral(
                      " is not a valid file name.Please rename the Title in the CD tracks list."));
    } else if (c == ExtractOutcome::NotRegular) {
        ShowError(LinkOrSpecialFileText(wav));
    } else if (c == ExtractOutcome::InUse) {
        ShowError(wav + QStringLiteral("maybe be used,operate fail!"));
    } else if (c == ExtractOutcome::WriteError) {
        ShowError(info.ElapsedText);
    }
    if (verification_)
        verification_->TrackExtracted(entry_, info);
    StepEnded(TStepType::Extract, c == ExtractOutcome::Success);
}

// --- Resampling (WAV to MP3 and OGG) --------------------------------------------------------

void TRipJob::StartResample()
{
    const QString entry = entries_.value(entry_);
    stepInput_ = entry;
    resampled_ = false;
    // A file that vanished or holds nothing the reader can deliver is skipped with a word,
    // rather than encoded into an empty file or left to fail inside the encoder.
    const bool exists = FileExists(entry);
    if (exists && !InputAcceptable(entry)) {
        StepEnded(TStepType::Resample, false);
        return;
    }
    const TStreamSteps::TInputProbe probe =
        exists ? streams_->Probe(entry) : TStreamSteps::TInputProbe{};
    if (!probe.Readable) {
        ShowError(entry + (exists ? QStringLiteral(" is not a WAV file that can be converted (") +
                                        probe.Refusal + QStringLiteral(").")
                                  : QStringLiteral(" does not exist.")));
        StepEnded(TStepType::Resample, false);
        return;
    }
    if (EncodedAsItIs(plan_, probe.SampleRate, probe.Float)) {
        StepEnded(TStepType::Resample, true); // encoded as it is
        return;
    }
    if (!OutputAcceptable(tempFile_)) {
        StepEnded(TStepType::Resample, false);
        return;
    }
    stepInput_ = tempFile_;
    resampled_ = true;
    streams_->RunResampling(entry, tempFile_, probe.SampleRate < plan_.ResampleBelow);
    SetStep(QStringLiteral("Resampling WAV"), QStringLiteral("Resampling"), entry_ + 1, entry);
}

void TRipJob::ResampleEnded(const TProcessInfo& info)
{
    // A failed resampling left an incomplete temporary file: it goes, and is never encoded (the
    // failure has been shown).
    const bool succeeded = info.ErrorCode != StepOutcome::ToolFailed;
    if (!succeeded)
        RemoveFailedOutput(tempFile_);
    StepEnded(TStepType::Resample, succeeded);
}

// --- The encoder runners ------------------------------------------------------------------

void TRipJob::StartRunner(TEncodeProcess* runner, const QString& input, const QString& output,
                          bool encode)
{
    if (runner == nullptr)
        throw EAppException("Error while creating mp3 encoding process!");
    runner->Active = true;
    runner->InputFile = input;
    runner->OutputFile = output;
    runner->WriteFile = partial_.Path();
    runner->NotifyWindow = this;
    runner->Encode = encode;
    runner->JobKind = static_cast<uint8_t>(kind_);
    runner->Start();
}

void TRipJob::StartMp3()
{
    SetEncodeStep(plan_.Decode ? QStringLiteral("Decoding") : QStringLiteral("Encoding"));
    stepOutput_ = StepOutput(plan_.Decode ? QStringLiteral(".wav") : QStringLiteral(".mp3"));
    if (!InputAcceptable(stepInput_) || !OutputAcceptable(stepOutput_)) {
        SkipStep();
        return;
    }
    if (const QString refusal = DecodeInputRefusal(plan_, stepInput_); !refusal.isEmpty()) {
        ShowError(refusal);
        SkipStep();
        return;
    }
    if (!CreatePartialOutput()) {
        SkipStep();
        return;
    }
    if (runners_.Mp3 != nullptr)
        runners_.Mp3->Settings = OptionsSetting().Mp3Options;
    StartRunner(runners_.Mp3, stepInput_, stepOutput_, !plan_.Decode);
}

void TRipJob::Mp3Ended(const TProcessInfo& info)
{
    const int o = info.ErrorCode;
    if (o == StepOutcome::OutputInUse && !progressSeen_)
        ShowError(entries_.value(entry_) + QStringLiteral("maybe be used,operate fail!"));
    else if ((o == StepOutcome::ToolExited || o == StepOutcome::ToolFailed) && !progressSeen_)
        ShowError(CreateMp3Error());
    else if (o == StepOutcome::ToolFailed) // failed after it had begun: say how
        ShowError(CreateMp3Error() + QStringLiteral("\r\n") + info.ElapsedText);
    const bool succeeded = FinishPartialOutput(o == StepOutcome::ToolExited && progressSeen_);
    if (Running() && succeeded && kind_ == jkRipTracks) {
        encoded_[static_cast<size_t>(entry_)] = true;
        if (OptionsSetting().ID3.Use)
            WriteTrackTag(stepOutput_);
    }
    StepEnded(TStepType::Mp3, succeeded);
}

void TRipJob::WriteTrackTag(const QString& mp3)
{
    const TCDInfo& info = OptionsSetting().CDInfo;
    Tid3tag tag;
    tag.SetTitle(Title(entry_).left(255));
    tag.SetArtist(info.Artist.left(255));
    tag.SetAlbum(info.Album.left(255));
    tag.SetYear(info.Year.left(255));
    tag.Genre = GenreToByte(info.Genre & 0xFF);
    tag.SetComment(info.Comment);
    tag.SetTrack(static_cast<uint8_t>(TrackNumber(entry_)));
    const uint16_t r = tag.WriteTag(mp3);
    if (r > 255)
        ShowPlain(QStringLiteral("Error #%1! Could not save Tag!").arg(r));
}

void TRipJob::StartWma()
{
    SetEncodeStep(QStringLiteral("Encoding"));
    stepOutput_ = StepOutput(QStringLiteral(".wma"));
    if (!InputAcceptable(stepInput_) || !OutputAcceptable(stepOutput_) || !CreatePartialOutput()) {
        SkipStep();
        return;
    }
    wmaStepStartTime_ = std::chrono::steady_clock::now();
    view_.Bar = 0;
    timer1_.start();
    wmaInputSize_ = std::max<qint64>(0, FileSizeOrMinus1(stepInput_));
    if (kind_ != jkRipTracks)
        view_.Label2.clear();
    Changed();
    TOptionsSetting& settings = OptionsSetting();
    // An out-of-range profile is repaired in the record, so it is saved repaired at exit.
    settings.WMAOptions.BitRate = ValidWmaProfile(settings.WMAOptions.BitRate);
    if (TWMAEncodeProcess* wma = runners_.Wma) {
        wma->Profile = settings.WMAOptions.BitRate;
        wma->Author = settings.ID3.Use ? settings.CDInfo.Artist : QString();
        wma->Description = settings.ID3.Use ? settings.CDInfo.Comment : QString();
    }
    StartRunner(runners_.Wma, stepInput_, stepOutput_, true);
}

void TRipJob::WmaEnded(const TProcessInfo& info)
{
    timer1_.stop();
    const int o = info.ErrorCode;
    if (o == StepOutcome::OutputInUse && !progressSeen_)
        ShowError(entries_.value(entry_) + QStringLiteral("maybe be used,operate fail!"));
    else if (o == StepOutcome::ErrorLine)
        ShowError(info.ElapsedText);
    else if (o == StepOutcome::ToolFailed)
        ShowError(QStringLiteral("Create WMA file error!") + QStringLiteral("\r\n") +
                  info.ElapsedText);
    const bool succeeded = FinishPartialOutput(o == StepOutcome::ToolExited);
    if (Running() && succeeded && kind_ == jkRipTracks)
        encoded_[static_cast<size_t>(entry_)] = true;
    StepEnded(TStepType::Wma, succeeded);
}

void TRipJob::Timer1Timer()
{
    const int64_t e = ElapsedSeconds(wmaStepStartTime_);
    view_.Label1 = Mmss(e);
    Changed();
    if (runners_.Wma == nullptr || !runners_.Wma->Active)
        return;
    view_.Label3Visible = false;
    int32_t& profile = OptionsSetting().WMAOptions.BitRate;
    profile = ValidWmaProfile(profile);
    const std::optional<TWmaEstimate> estimate =
        EstimateWma(e, wmaInputSize_, FileSizeOrMinus1(runners_.Wma->WritePath()), profile);
    if (!estimate) {
        Changed();
        return; // nothing written yet: no estimate
    }
    view_.Label2 = Mmss(estimate->Total);
    view_.BarTextVisible = true;
    view_.Bar = std::max(view_.Bar, estimate->Percent);
    Changed();
}

// --- Ogg Vorbis ---------------------------------------------------------------------------

void TRipJob::StartVorbis()
{
    SetEncodeStep(QStringLiteral("Encoding"));
    stepOutput_ = StepOutput(QStringLiteral(".ogg"));
    if (!InputAcceptable(stepInput_) || !OutputAcceptable(stepOutput_) || !CreatePartialOutput()) {
        SkipStep();
        return;
    }
    streams_->RunVorbis(stepInput_, partial_.Path(), OptionsSetting().OggOptions);
}

void TRipJob::VorbisEnded(const TProcessInfo& info)
{
    // The writer settles before the job moves on; the wait runs the event loop, and a Stop in
    // the meantime ends the job instead.
    const int32_t outcome = info.ErrorCode;
    const int entry = entry_;
    const size_t step = stepPos_;
    QTimer::singleShot(kVorbisSettleMs, this, [this, outcome, entry, step] {
        // The job may have been stopped, or moved on through a stray second report.
        if (!Running() || stopping_ || entry != entry_ || step != stepPos_)
            return;
        const bool succeeded = FinishPartialOutput(outcome != StepOutcome::ToolFailed &&
                                                   outcome != StepOutcome::Skipped);
        if (succeeded && kind_ == jkRipTracks)
            encoded_[static_cast<size_t>(entry_)] = true;
        StepEnded(TStepType::Vorbis, succeeded);
    });
}

// --- In-process encoders (FLAC, Opus) -----------------------------------------------------

void TRipJob::StartEncoder()
{
    SetEncodeStep(QStringLiteral("Encoding"));
    stepOutput_ = StepOutput(OutputExtensionOf(plan_));
    const TOutputFormat* format = OutputFormatOf(plan_.Format);
    if (format == nullptr || !format->MakeEncoder || !InputAcceptable(stepInput_) ||
        !OutputAcceptable(stepOutput_) || !CreatePartialOutput()) {
        SkipStep();
        return;
    }
    streams_->RunEncoder(format->MakeEncoder(OptionsSetting()), stepInput_, partial_.Path());
}

void TRipJob::EncoderEnded(const TProcessInfo& info)
{
    // A failure has been shown by the stream steps; its file goes.
    const bool succeeded = FinishPartialOutput(info.ErrorCode != StepOutcome::ToolFailed &&
                                               info.ErrorCode != StepOutcome::Skipped);
    if (Running() && succeeded && kind_ == jkRipTracks)
        encoded_[static_cast<size_t>(entry_)] = true;
    StepEnded(TStepType::Encoder, succeeded);
}

// --- Files --------------------------------------------------------------------------------

QString TRipJob::ChooseTempFile() const
{
    const QString base =
        kind_ == jkWavToMp3 ? QStringLiteral("MyMP3ReTemp") : QStringLiteral("MyReTemp");
    // The temporary file is rewritten for every input and deleted at the end: it must never be
    // one of the job's own inputs. A rip's entries are titles, not files.
    const auto isInput = [this](const QString& candidate) {
        return kind_ != jkRipTracks &&
               std::any_of(entries_.begin(), entries_.end(),
                           [&](const QString& entry) { return SameFile(entry, candidate); });
    };
    QString candidate = OutputDir() + base + QStringLiteral(".wav");
    for (int n = 1; isInput(candidate); ++n)
        candidate = OutputDir() + base + QString::number(n) + QStringLiteral(".wav");
    return candidate;
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
    ShowError(LinkOrSpecialFileText(output));
    return false;
}

bool TRipJob::MakeRipFolders(int k)
{
    const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
    if (!files.NameValid)
        return true; // the extraction reports the name
    // A folder of the name pattern that is a link could lead anywhere: refused, never followed.
    const QString problem = MakeNameFolders(OutputDir(), files.Name);
    if (problem.isEmpty())
        return true;
    ShowError(problem);
    return false;
}

bool TRipJob::RipOutputsWritable(int k)
{
    const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
    if (!files.NameValid)
        return true; // the extraction reports the name
    for (const QString& path : files.All()) {
        if (!OutputAcceptable(path))
            return false;
        // The user chose to replace the files that exist; one another program holds, or one
        // made read-only, still stays as it is.
        if (IsFileInUse(path) || IsWriteProtected(path)) {
            ShowError(path + QStringLiteral("maybe be used,operate fail!"));
            return false;
        }
    }
    return true;
}

bool TRipJob::CreatePartialOutput()
{
    if (partial_.Create(stepOutput_))
        return true;
    ShowError(CouldNotWrite(stepOutput_, errno));
    return false;
}

bool TRipJob::FinishPartialOutput(bool succeeded)
{
    // A Stop while a message box was open has removed the file already.
    if (!succeeded || partial_.Path().isEmpty()) {
        partial_.Discard();
        return false;
    }
    TagPartialOutput();
    if (partial_.Path().isEmpty())
        return false; // stopped while the tag's message was shown
    if (partial_.Commit())
        return true;
    ShowError(CouldNotWrite(stepOutput_, errno));
    return false;
}

void TRipJob::TagPartialOutput()
{
    // A ripped track's file is tagged before it takes its name, so no player ever sees it
    // untagged or half rewritten. Picked files have no disc information to tag them with.
    const TOutputFormat* format = OutputFormatOf(plan_.Format);
    if (kind_ != jkRipTracks || !OptionsSetting().Tags.Write || format == nullptr ||
        format->Tag == TTagKind::None)
        return;
    const QString problem =
        WriteTags(partial_.Path(), format->Tag, ripFiles_[static_cast<size_t>(entry_)].Tags);
    if (!problem.isEmpty())
        ShowError(QStringLiteral("The tags of %1 could not be written.").arg(stepOutput_));
}

void TRipJob::RemoveFailedOutput(const QString& output)
{
    // What a failed tool left is no complete file; only a plain file of ours is removed.
    if (!output.isEmpty() && IsRegularFile(output) && !IsLinkOrSpecialFile(output) &&
        !IsFileInUse(output))
        QFile::remove(output);
}

// --- Clean-up and Stop --------------------------------------------------------------------

void TRipJob::Cleanup()
{
    if (!fileList_)
        return;
    if (parallel_) {
        parallel_->Cleanup();
        EndParallelVerification();
        fileList_.reset();
        return;
    }
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
    // A window closed during an Ogg Vorbis step ends the writer here (Stop has done so already).
    streams_->StopVorbis();
    streams_->StopEncoder();
    // What an encode step was writing is no whole file: it goes, and the final name keeps
    // whatever it held before.
    partial_.Discard();
    const TCommonOptions& common = OptionsSetting().CommonOptions;
    if (kind_ == jkRipTracks && ExtractIndex() == Count() && !common.IsKeepWav &&
        plan_.Steps.size() > 1) {
        // Only tracks whose encode step succeeded: a job stopped during the last encode, or an
        // encode that failed, keeps that track's WAV, the only complete copy of it.
        for (size_t k = 0; k < ripFiles_.size(); ++k) {
            const TRipEntryFiles& files = ripFiles_[k];
            if (encoded_[k] && files.NameValid && FileExists(files.Wav) && !IsFileInUse(files.Wav))
                QFile::remove(files.Wav);
        }
    }
    fileList_.reset();
    if (verification_)
        verification_->JobEnded(entry_ < Count(), encoded_);
    // A check that never resamples makes no temporary file, so it deletes none either.
    if (std::count(plan_.Steps.begin(), plan_.Steps.end(), TStepType::Resample) > 0 &&
        plan_.ResampleBelow > 0) {
        if (FileExists(tempFile_) && !IsFileInUse(tempFile_))
            QFile::remove(tempFile_);
    }
}

void TRipJob::Stop()
{
    if (!Running()) {
        Q_EMIT CloseRequested();
        return;
    }
    if (parallel_) {
        parallel_->Stop(); // its end closes the window
        return;
    }
    if (std::count(plan_.Steps.begin(), plan_.Steps.end(), TStepType::Vorbis) > 0) {
        // The writer closes its stream; the job gives it a moment before cleaning up, and takes
        // no report as the step's end meanwhile.
        stopping_ = true;
        streams_->StopVorbis();
        QTimer::singleShot(kVorbisSettleMs, this, [this] {
            Cleanup();
            Q_EMIT CloseRequested();
        });
        return;
    }
    Cleanup();
    Q_EMIT CloseRequested();
}
