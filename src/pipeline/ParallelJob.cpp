#include "pipeline/ParallelJob.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

#include <QFile>
#include <QPointer>

#include "cd/CDRipThread.h"
#include "cd/NormalizeThread.h"
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
#include "pipeline/StreamSteps.h"
#include "pipeline/WmaEstimate.h"

/// The worker of one step of one entry, and the receiver of its reports: it hands each to the
/// job, queued, naming the entry and step, so the job never runs inside a worker's own call
/// and may end the worker from any of its handlers.
class TStepWorker : public QObject {
public:
    TStepWorker(TParallelJob* job, int entry, TStepType step)
        : job_(job), entry_(entry), step_(step)
    {
    }
    ~TStepWorker() override { End(); }

    /// Ends whatever runs, without waiting for more than the rip thread's current read.
    void End()
    {
        if (Rip) {
            Rip->StopRequested = true;
            Rip.reset();
        }
        if (Norm) {
            Norm->StopRequested = true;
            Norm.reset();
        }
        if (Tool) {
            Tool->Stop(0);
            Tool.reset();
        }
        if (Streams) {
            Streams->StopResampling();
            Streams->StopVorbis();
            Streams->StopEncoder();
            Streams.reset();
        }
    }

    // Declared first: the file goes only after every writer has let go of it.
    TPartialOutput Partial;
    std::unique_ptr<TCDRipThread> Rip;
    std::unique_ptr<TNormalizeThread> Norm;
    std::unique_ptr<TEncodeProcess> Tool;
    std::unique_ptr<TStreamSteps> Streams;

protected:
    bool event(QEvent* e) override
    {
        const QPointer<TParallelJob> job = job_;
        const int entry = entry_;
        const TStepType step = step_;
        if (e->type() == static_cast<QEvent::Type>(WM_JOBPROGRESS)) {
            std::shared_ptr<TProcessInfo> info = std::move(static_cast<JobProgressEvent*>(e)->Info);
            // A percent is taken at once (a rip sends thousands a second); anything else may end
            // the step and drop this worker, so it is taken once this event is over.
            if (info && info->Percent >= 0 && info->Percent <= 100) {
                if (job)
                    GuardedCall([&] { job->HandleReport(entry, step, *info); });
            } else if (info) {
                QMetaObject::invokeMethod(
                    job_,
                    [job, entry, step, info] {
                        if (job)
                            GuardedCall([&] { job->HandleReport(entry, step, *info); });
                    },
                    Qt::QueuedConnection);
            }
            return true;
        }
        if (e->type() == static_cast<QEvent::Type>(WM_RIPFAILED)) {
            const int code = static_cast<RipFailedEvent*>(e)->Code;
            QMetaObject::invokeMethod(
                job_,
                [job, code] {
                    if (job)
                        GuardedCall([&] { job->HandleRipFailed(code); });
                },
                Qt::QueuedConnection);
            return true;
        }
        return QObject::event(e);
    }

private:
    TParallelJob* const job_;
    const int entry_;
    const TStepType step_;
};

namespace {

QString StepVerb(TStepType step, bool decode)
{
    switch (step) {
    case TStepType::Extract:
        return QStringLiteral("Extracting");
    case TStepType::Resample:
        return QStringLiteral("Resampling");
    case TStepType::Normalize:
        return QStringLiteral("Normalizing");
    case TStepType::Mp3:
        return decode ? QStringLiteral("Decoding") : QStringLiteral("Encoding");
    default:
        return QStringLiteral("Encoding");
    }
}

int Key(TStepType step)
{
    return static_cast<int>(step);
}

} // namespace

QString JobReportText(const TJobReport& report)
{
    QString text = QStringLiteral("%1 done, %2 failed, %3 skipped in %4")
                       .arg(report.Counts.Done)
                       .arg(report.Counts.Failed)
                       .arg(report.Counts.Skipped)
                       .arg(Mmss(report.Seconds));
    if (!report.Counts.FailedTitles.isEmpty())
        text +=
            QStringLiteral(". Failed: ") + report.Counts.FailedTitles.join(QStringLiteral(", "));
    return text;
}

TResultNotice JobReportNotice(const TJobReport& report)
{
    TResultNotice notice;
    notice.Summary = JobReportText(report);
    notice.Level = report.Counts.Failed > 0 ? TResultNotice::Severity::Warning
                                            : TResultNotice::Severity::Information;
    notice.Folder = report.Folder;
    return notice;
}

bool ParallelJobWanted(int32_t setting)
{
    return setting == 0 || setting > 1;
}

bool TParallelJob::Supports(int jobKind)
{
    // A recording is one file: nothing to spread.
    return jobKind != jkRecordingToMp3 && !JobPlanOf(jobKind, ofMP3).Steps.empty();
}

TParallelJob::TParallelJob(int jobKind, int cdHandle, const QStringList& list, int encodeWidth,
                           const QByteArray& cover, QObject* parent)
    : QObject(parent), kind_(jobKind), cdHandle_(cdHandle),
      plan_(JobPlanOf(jobKind, OptionsSetting().CommonOptions.OutputFormat,
                      OptionsSetting().CommonOptions.IsNormalize)),
      entries_(list), cover_(jobKind == jkRipTracks ? cover : QByteArray())
{
    if (kind_ == jkRipTracks)
        ripFiles_ = RipJobFiles(list, RipNamingOf(OptionsSetting(), cover));
    work_.resize(static_cast<size_t>(list.size()));
    std::vector<TJobEntry> entries;
    for (qsizetype k = 0; k < list.size(); ++k) {
        TJobEntry e;
        e.Index = static_cast<int>(k);
        if (kind_ == jkRipTracks) {
            const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
            e.Track = files.Track;
            e.Title = files.Title;
            e.OutputBase = files.NameValid ? OutputDir() + files.Name : QString();
        } else {
            e.Title = list[k];
            e.OutputBase = ChangeFileExt(OutputOf(static_cast<int>(k), QStringLiteral(".x")), {});
        }
        for (const TStepType step : plan_.Steps)
            e.Steps.push_back({step});
        entries.push_back(std::move(e));
    }
    scheduler_ = std::make_unique<TJobScheduler>(
        std::move(entries), encodeWidth,
        [this](int entry, TStepType step) { StartStep(entry, step); });
    clock_.setInterval(1000);
    connect(&clock_, &QTimer::timeout, this, &TParallelJob::Tick);
    view_.GroupCaption = kind_ == jkRipTracks ? QStringLiteral("Extracting") : plan_.FirstGroup;
}

TParallelJob::~TParallelJob()
{
    Cleanup();
}

QString TParallelJob::OutputDir()
{
    return IncludeTrailingSlash(OptionsSetting().CommonOptions.OutputFolder);
}

QString TParallelJob::OutputOf(int k, const QString& ext) const
{
    switch (plan_.Place) {
    case TOutputPlace::RipEntry:
        return ripFiles_[static_cast<size_t>(k)].Encoded;
    case TOutputPlace::BesideEntry:
        return ChangeFileExt(entries_.value(k), ext);
    case TOutputPlace::OutputFolder:
        break;
    }
    return ChangeFileExt(OutputDir() + ExtractFileName(entries_.value(k)), ext);
}

void TParallelJob::Begin()
{
    running_ = true;
    start_ = std::chrono::steady_clock::now();
    // Every question before the first step: a conversion's tool would ask in the middle of
    // the job, while other encoders run. A rip's files were asked about by its caller.
    const bool mp3Asks = plan_.Steps.back() == TStepType::Mp3 && kind_ != jkRipTracks;
    const bool wmaAsks = plan_.Steps.back() == TStepType::Wma && kind_ != jkRipTracks;
    if (mp3Asks || wmaAsks) {
        const QString ext = OutputExtensionOf(plan_);
        for (int k = 0; k < static_cast<int>(entries_.size()); ++k) {
            const QString output =
                OutputOf(k, mp3Asks && plan_.Decode ? QStringLiteral(".wav") : ext);
            if (!FileExists(output))
                continue;
            if (AskYesNo(output + QStringLiteral(" has existed,overite it?"), MbIcon::Information,
                         MbAnswer::Yes) != MbAnswer::Yes)
                skipped_.insert(k);
            if (!running_)
                return; // the window went away while the question was open
        }
    }
    clock_.start();
    UpdateView();
    scheduler_->Pump();
    MaybeFinish();
}

TStepWorker* TParallelJob::Worker(int k, TStepType step)
{
    const auto it = workers_.find({k, Key(step)});
    return it == workers_.end() ? nullptr : it->second.get();
}

TStepWorker& TParallelJob::NewWorker(int k, TStepType step)
{
    auto& slot = workers_[{k, Key(step)}];
    slot = std::make_unique<TStepWorker>(this, k, step);
    return *slot;
}

void TParallelJob::DropWorker(int k, TStepType step)
{
    const auto it = workers_.find({k, Key(step)});
    if (it == workers_.end())
        return;
    std::unique_ptr<TStepWorker> worker = std::move(it->second);
    workers_.erase(it);
    worker.reset(); // joins what is left of its threads, removes an unfinished file
}

void TParallelJob::StartStep(int k, TStepType step)
{
    work_[static_cast<size_t>(k)].ProgressSeen = false;
    if (skipped_.count(k) > 0) {
        EndStep(k, step, TStepEnd::Skipped);
        return;
    }
    try {
        switch (step) {
        case TStepType::Extract:
            StartExtract(k);
            break;
        case TStepType::Resample:
            StartResample(k);
            break;
        case TStepType::Normalize:
            StartNormalize(k);
            break;
        case TStepType::Mp3:
        case TStepType::Wma:
            StartTool(k, step);
            break;
        case TStepType::Vorbis:
        case TStepType::Encoder:
            StartStream(k, step);
            break;
        }
    } catch (const std::exception& e) {
        // A worker that cannot start fails its track; the others go on.
        DropWorker(k, step);
        EndStep(k, step, TStepEnd::Failed, QString::fromUtf8(e.what()));
    }
    UpdateView();
}

void TParallelJob::EndStep(int k, TStepType step, TStepEnd end, const QString& problem)
{
    // From inside the scheduler's start: the end is taken once the start has returned.
    QMetaObject::invokeMethod(
        this,
        [this, k, step, end, problem] {
            if (!scheduler_->StepEnded(k, step, end, problem))
                return;
            UpdateView();
            MaybeFinish();
        },
        Qt::QueuedConnection);
}

// --- Starting steps -------------------------------------------------------------------------

QString TParallelJob::RipOutputsProblem(int k) const
{
    const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
    if (!files.NameValid)
        return {}; // the extraction reports the name
    const QString folders = MakeNameFolders(OutputDir(), files.Name);
    if (!folders.isEmpty())
        return folders;
    for (const QString& path : files.All()) {
        if (IsLinkOrSpecialFile(path))
            return LinkOrSpecialFileText(path);
        if (IsFileInUse(path) || IsWriteProtected(path))
            return path + QStringLiteral("maybe be used,operate fail!");
    }
    return {};
}

void TParallelJob::StartExtract(int k)
{
    // A track none of whose files can be written is not read at all.
    const QString problem = RipOutputsProblem(k);
    if (!problem.isEmpty()) {
        EndStep(k, TStepType::Extract, TStepEnd::Failed, problem);
        return;
    }
    const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
    work_[static_cast<size_t>(k)].Input = files.Wav;
    TStepWorker& worker = NewWorker(k, TStepType::Extract);
    // The drive only reads: normalising is a step of its own (the plan has it when asked for).
    TCommonOptions options = OptionsSetting().CommonOptions;
    options.IsNormalize = false;
    worker.Rip = std::make_unique<TCDRipThread>(
        files.Track, files.NameValid ? files.Wav : QString(), options, OptionsSetting().CDOptions);
    worker.Rip->SetDriveHandle(cdHandle_);
    worker.Rip->SetReceiver(&worker);
    worker.Rip->Resume();
}

void TParallelJob::StartNormalize(int k)
{
    TStepWorker& worker = NewWorker(k, TStepType::Normalize);
    worker.Norm = std::make_unique<TNormalizeThread>(
        ripFiles_[static_cast<size_t>(k)].Wav, OptionsSetting().CommonOptions.NormalizePercent);
    worker.Norm->SetReceiver(&worker);
    worker.Norm->Resume();
}

void TParallelJob::StartResample(int k)
{
    TEntryWork& work = work_[static_cast<size_t>(k)];
    const QString entry = entries_.value(k);
    work.Input = entry;
    if (!FileExists(entry)) {
        EndStep(k, TStepType::Resample, TStepEnd::Failed,
                entry + QStringLiteral(" does not exist."));
        return;
    }
    if (!IsRegularFile(entry)) {
        EndStep(k, TStepType::Resample, TStepEnd::Failed,
                entry + QStringLiteral(" is not a regular file."));
        return;
    }
    TStepWorker& worker = NewWorker(k, TStepType::Resample);
    worker.Streams = std::make_unique<TStreamSteps>(&worker);
    worker.Streams->ReportFailuresAtEnd(); // with the other failures, in one box
    const TStreamSteps::TInputProbe probe = worker.Streams->Probe(entry);
    if (!probe.Readable) {
        DropWorker(k, TStepType::Resample);
        EndStep(k, TStepType::Resample, TStepEnd::Failed,
                entry + QStringLiteral(" is not a WAV file that can be converted (") +
                    probe.Refusal + QStringLiteral(")."));
        return;
    }
    if (EncodedAsItIs(plan_, probe.SampleRate, probe.Float)) {
        DropWorker(k, TStepType::Resample);
        EndStep(k, TStepType::Resample, TStepEnd::Succeeded); // encoded as it is
        return;
    }
    // Each entry resamples into a file of its own: several run at once.
    work.Temp = std::make_unique<TPartialOutput>();
    if (!work.Temp->Create(OutputDir() + QStringLiteral("MyReTemp.wav"))) {
        const QString problem = CouldNotWrite(OutputDir() + QStringLiteral("MyReTemp.wav"), errno);
        DropWorker(k, TStepType::Resample);
        EndStep(k, TStepType::Resample, TStepEnd::Failed, problem);
        return;
    }
    work.Input = work.Temp->Path();
    worker.Streams->RunResampling(entry, work.Input, probe.SampleRate < plan_.ResampleBelow);
}

TStepWorker* TParallelJob::StartOutputStep(int k, TStepType step, const QString& output)
{
    TEntryWork& work = work_[static_cast<size_t>(k)];
    if (kind_ != jkRipTracks && work.Input.isEmpty())
        work.Input = entries_.value(k);
    if (FileExists(work.Input) && !IsRegularFile(work.Input)) {
        EndStep(k, step, TStepEnd::Failed, work.Input + QStringLiteral(" is not a regular file."));
        return nullptr;
    }
    if (const QString refusal = DecodeInputRefusal(plan_, work.Input); !refusal.isEmpty()) {
        EndStep(k, step, TStepEnd::Failed, refusal);
        return nullptr;
    }
    if (IsLinkOrSpecialFile(output)) {
        EndStep(k, step, TStepEnd::Failed, LinkOrSpecialFileText(output));
        return nullptr;
    }
    TStepWorker& worker = NewWorker(k, step);
    if (!worker.Partial.Create(output)) {
        const QString problem = CouldNotWrite(output, errno);
        DropWorker(k, step);
        EndStep(k, step, TStepEnd::Failed, problem);
        return nullptr;
    }
    return &worker;
}

void TParallelJob::StartTool(int k, TStepType step)
{
    const QString output = OutputOf(k, step == TStepType::Wma ? QStringLiteral(".wma")
                                       : plan_.Decode         ? QStringLiteral(".wav")
                                                              : QStringLiteral(".mp3"));
    TStepWorker* const started = StartOutputStep(k, step, output);
    if (started == nullptr)
        return;
    TStepWorker& worker = *started;
    TEntryWork& work = work_[static_cast<size_t>(k)];
    TOptionsSetting& settings = OptionsSetting();
    if (step == TStepType::Mp3) {
        auto mp3 = std::make_unique<TMp3EncodeProcess>();
        mp3->Settings = settings.Mp3Options;
        worker.Tool = std::move(mp3);
    } else {
        auto wma = std::make_unique<TWMAEncodeProcess>();
        settings.WMAOptions.BitRate = ValidWmaProfile(settings.WMAOptions.BitRate);
        wma->Profile = settings.WMAOptions.BitRate;
        wma->Author = settings.ID3.Use ? settings.CDInfo.Artist : QString();
        wma->Description = settings.ID3.Use ? settings.CDInfo.Comment : QString();
        worker.Tool = std::move(wma);
    }
    work.ToolStart = std::chrono::steady_clock::now();
    work.InputSize = std::max<qint64>(0, FileSizeOrMinus1(work.Input));
    TEncodeProcess& tool = *worker.Tool;
    tool.Active = true;
    tool.InputFile = work.Input;
    tool.OutputFile = output;
    tool.WriteFile = worker.Partial.Path();
    tool.NotifyWindow = &worker;
    tool.Encode = !plan_.Decode;
    tool.JobKind = static_cast<uint8_t>(kind_);
    tool.OverwriteAsked = true;
    tool.Start();
}

void TParallelJob::StartStream(int k, TStepType step)
{
    const QString output = OutputOf(k, OutputExtensionOf(plan_));
    const TOutputFormat* format = OutputFormatOf(plan_.Format);
    if (step == TStepType::Encoder && (format == nullptr || !format->MakeEncoder)) {
        EndStep(k, step, TStepEnd::Skipped);
        return;
    }
    TStepWorker* const started = StartOutputStep(k, step, output);
    if (started == nullptr)
        return;
    TStepWorker& worker = *started;
    const TEntryWork& work = work_[static_cast<size_t>(k)];
    worker.Streams = std::make_unique<TStreamSteps>(&worker);
    worker.Streams->ReportFailuresAtEnd(); // with the other failures, in one box
    if (step == TStepType::Vorbis)
        worker.Streams->RunVorbis(work.Input, worker.Partial.Path(), OptionsSetting().OggOptions);
    else
        worker.Streams->RunEncoder(format->MakeEncoder(OptionsSetting()), work.Input,
                                   worker.Partial.Path());
}

// --- Reports ----------------------------------------------------------------------------------

void TParallelJob::HandleRipFailed(int code)
{
    if (!running_)
        return;
    // As the sequential job: the drive cannot be read, the job waits for Stop. The encoders of
    // tracks already read go on.
    if (code == RipFailure::AddressMode)
        ShowError(QStringLiteral("CD extract failed!Please try again."));
    else if (code == RipFailure::TocUnreadable)
        ShowError(QStringLiteral("Error while reading TOC information!"));
}

void TParallelJob::HandleReport(int k, TStepType step, const TProcessInfo& info)
{
    if (!running_ || Worker(k, step) == nullptr)
        return; // a report from a step that has ended, or a stopped job
    if (info.Percent == JobCode::NormalizeStarts) {
        view_.Label3 = QStringLiteral("Normalizing");
        UpdateView();
        return;
    }
    if (info.Percent == EndCodeOf(step)) {
        StepFinished(k, step, info);
        return;
    }
    if (info.Percent >= 0 && info.Percent <= 100) {
        work_[static_cast<size_t>(k)].ProgressSeen = true;
        // A rip reports every ten sectors, an image's thousands of times a second: the view is
        // built again only when a percent or the clock it shows moves.
        if (scheduler_->SetProgress(k, step, info.Percent) ||
            ElapsedSeconds(start_) != shownSeconds_)
            UpdateView();
    }
}

void TParallelJob::StepFinished(int k, TStepType step, const TProcessInfo& info)
{
    const int o = info.ErrorCode;
    TEntryWork& work = work_[static_cast<size_t>(k)];
    TStepEnd end = TStepEnd::Failed;
    QString problem;
    switch (step) {
    case TStepType::Extract: {
        const QString& wav = ripFiles_[static_cast<size_t>(k)].Wav;
        if (o == ExtractOutcome::Success)
            end = TStepEnd::Succeeded;
        else if (o == ExtractOutcome::ReadError)
            problem = QStringLiteral("Error while reading CD information!");
        else if (o == ExtractOutcome::NotCreated)
            problem =
                wav + QStringLiteral(" is not a valid file name.Please rename the Title in the CD "
                                     "tracks list.");
        else if (o == ExtractOutcome::NotRegular)
            problem = LinkOrSpecialFileText(wav);
        else if (o == ExtractOutcome::InUse)
            problem = wav + QStringLiteral("maybe be used,operate fail!");
        else
            problem = info.ElapsedText;
        Q_EMIT Extracted(k, info);
        DropWorker(k, step);
        break;
    }
    case TStepType::Normalize:
        // A failure leaves the WAV as it was read: it stays for the user.
        DropWorker(k, step);
        if (o == ExtractOutcome::Success)
            end = TStepEnd::Succeeded;
        else
            problem = info.ElapsedText.isEmpty() ? ripFiles_[static_cast<size_t>(k)].Wav +
                                                       QStringLiteral(" could not be normalized.")
                                                 : info.ElapsedText;
        break;
    case TStepType::Resample:
        DropWorker(k, step);
        if (o == StepOutcome::ToolFailed) {
            problem = info.ElapsedText;
            work.Temp.reset(); // incomplete: never encoded
        } else {
            end = TStepEnd::Succeeded;
        }
        break;
    case TStepType::Mp3: {
        const bool seen = work.ProgressSeen;
        if (o == StepOutcome::Declined)
            end = TStepEnd::Skipped;
        else if (o == StepOutcome::OutputInUse)
            problem = entries_.value(k) + QStringLiteral("maybe be used,operate fail!");
        else if ((o == StepOutcome::ToolExited || o == StepOutcome::ToolFailed) && !seen)
            problem = CreateMp3Error();
        else if (o == StepOutcome::ToolFailed)
            problem = CreateMp3Error() + QStringLiteral("\r\n") + info.ElapsedText;
        if (end != TStepEnd::Skipped)
            end = FinishEncode(k, step, o == StepOutcome::ToolExited && seen, problem);
        break;
    }
    case TStepType::Wma:
        if (o == StepOutcome::Declined)
            end = TStepEnd::Skipped;
        else if (o == StepOutcome::OutputInUse)
            problem = entries_.value(k) + QStringLiteral("maybe be used,operate fail!");
        else if (o == StepOutcome::ErrorLine)
            problem = info.ElapsedText;
        else if (o == StepOutcome::ToolFailed)
            problem = QStringLiteral("Create WMA file error!") + QStringLiteral("\r\n") +
                      info.ElapsedText;
        if (end != TStepEnd::Skipped)
            end = FinishEncode(k, step, o == StepOutcome::ToolExited, problem);
        break;
    case TStepType::Vorbis:
    case TStepType::Encoder:
        if (o == StepOutcome::ToolFailed)
            problem = info.ElapsedText;
        end = FinishEncode(k, step, o != StepOutcome::ToolFailed && o != StepOutcome::Skipped,
                           problem);
        break;
    }
    if (IsEncodeStep(step))
        work.Temp.reset(); // the resampled copy has served
    if (!scheduler_->StepEnded(k, step, end, problem))
        return;
    if (kind_ == jkRipTracks && scheduler_->Entry(k).Succeeded()) {
        // The first track in place takes the disc's cover beside it.
        const QString coverProblem = cover_.PlaceBeside(ripFiles_[static_cast<size_t>(k)].Wav);
        if (!coverProblem.isEmpty())
            warnings_ << coverProblem;
    }
    UpdateView();
    MaybeFinish();
}

TStepEnd TParallelJob::FinishEncode(int k, TStepType step, bool succeeded, QString& problem)
{
    TStepWorker* worker = Worker(k, step);
    // The writer lets go of its file first: its threads end and its process is reaped.
    if (worker != nullptr)
        worker->End();
    if (!succeeded || worker == nullptr || worker->Partial.Path().isEmpty()) {
        DropWorker(k, step);
        if (problem.isEmpty())
            problem = QStringLiteral("The encoder stopped before its end.");
        return TStepEnd::Failed;
    }
    const QString path = worker->Partial.Path();
    const QString output = worker->Partial.FinalPath();
    if (kind_ == jkRipTracks) {
        const TOutputFormat* format = OutputFormatOf(plan_.Format);
        if (OptionsSetting().Tags.Write && format != nullptr && format->Tag != TTagKind::None &&
            !WriteTags(path, format->Tag, ripFiles_[static_cast<size_t>(k)].Tags).isEmpty())
            warnings_ << QStringLiteral("The tags of %1 could not be written.").arg(output);
    }
    if (!worker->Partial.Commit()) {
        problem = CouldNotWrite(output, errno);
        DropWorker(k, step);
        return TStepEnd::Failed;
    }
    DropWorker(k, step);
    if (kind_ != jkRipTracks)
        return TStepEnd::Succeeded;
    if (step == TStepType::Mp3 && OptionsSetting().ID3.Use) {
        const TCDInfo& info = OptionsSetting().CDInfo;
        const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
        Tid3tag tag;
        tag.SetTitle(files.Title.left(255));
        tag.SetArtist(info.Artist.left(255));
        tag.SetAlbum(info.Album.left(255));
        tag.SetYear(info.Year.left(255));
        tag.Genre = GenreToByte(info.Genre & 0xFF);
        tag.SetComment(info.Comment);
        tag.SetTrack(static_cast<uint8_t>(files.Track));
        const uint16_t r = tag.WriteTag(output);
        if (r > 255)
            warnings_ << QStringLiteral("Error #%1! Could not save Tag!").arg(r);
    }
    // The track is encoded: its WAV goes now, unless the user keeps WAV files.
    const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
    if (!OptionsSetting().CommonOptions.IsKeepWav && files.NameValid && FileExists(files.Wav) &&
        !IsFileInUse(files.Wav))
        QFile::remove(files.Wav);
    return TStepEnd::Succeeded;
}

// --- The end --------------------------------------------------------------------------------

void TParallelJob::MaybeFinish()
{
    if (running_ && scheduler_->Over())
        EndJob(false);
}

void TParallelJob::StopWorkers(bool stopped)
{
    // Every writer is told to end first, so the drive and all encoders stop together; then
    // each is waited for and its unfinished file removed.
    for (auto& [key, worker] : workers_) {
        if (worker->Rip)
            worker->Rip->StopRequested = true;
        if (worker->Norm)
            worker->Norm->StopRequested = true;
        if (worker->Tool)
            worker->Tool->Stop(0);
    }
    for (auto& [key, worker] : workers_) {
        const int k = key.first;
        const bool extracting = worker->Rip != nullptr;
        worker.reset();
        // A track read only in part is no copy of it.
        if (stopped && extracting && kind_ == jkRipTracks) {
            const TRipEntryFiles& files = ripFiles_[static_cast<size_t>(k)];
            if (files.NameValid && IsRegularFile(files.Wav) && !IsFileInUse(files.Wav))
                QFile::remove(files.Wav);
        }
    }
    workers_.clear();
    for (TEntryWork& work : work_)
        work.Temp.reset();
}

void TParallelJob::EndJob(bool stopped)
{
    if (!running_)
        return;
    running_ = false;
    stopped_ = stopped;
    clock_.stop();
    seconds_ = ElapsedSeconds(start_);
    scheduler_->Stop();
    StopWorkers(stopped);
    UpdateView();
    if (!stopped) {
        // Failures were kept for the end, so several encoders failing at once make one report.
        const TJobSummary counts = scheduler_->Summary();
        QStringList lines = counts.Problems;
        lines << warnings_;
        if (!lines.isEmpty())
            ShowError(lines.join(QStringLiteral("\r\n")));
    }
    Q_EMIT Ended();
}

void TParallelJob::Stop()
{
    EndJob(true);
}

void TParallelJob::Cleanup()
{
    if (!running_)
        return;
    running_ = false;
    stopped_ = true;
    clock_.stop();
    seconds_ = ElapsedSeconds(start_);
    scheduler_->Stop();
    StopWorkers(true);
}

TJobReport TParallelJob::Report() const
{
    TJobReport report;
    report.Counts = scheduler_->Summary();
    report.Seconds = running_ ? ElapsedSeconds(start_) : seconds_;
    report.Folder =
        kind_ == jkRipTracks || plan_.Place == TOutputPlace::OutputFolder
            ? OutputDir()
            : entries_.value(0).left(entries_.value(0).lastIndexOf(QLatin1Char('/')) + 1);
    report.Stopped = stopped_;
    return report;
}

std::vector<qint64> TParallelJob::ToolProcesses() const
{
    std::vector<qint64> pids;
    for (const auto& [key, worker] : workers_) {
        if (worker->Tool && worker->Tool->ProcessId() != 0)
            pids.push_back(worker->Tool->ProcessId());
    }
    return pids;
}

// --- The window's view ------------------------------------------------------------------------

void TParallelJob::Tick()
{
    // The WMA tool prints nothing until it ends: its lines show the sequential job's estimate.
    for (const TJobEntry& e : scheduler_->Entries()) {
        const TEntryStep* step = e.Step(TStepType::Wma);
        const TStepWorker* worker = Worker(e.Index, TStepType::Wma);
        if (step == nullptr || step->State != TStepState::Running || worker == nullptr ||
            !worker->Tool || !worker->Tool->Active)
            continue;
        const TEntryWork& work = work_[static_cast<size_t>(e.Index)];
        const std::optional<TWmaEstimate> estimate = EstimateWma(
            ElapsedSeconds(work.ToolStart), work.InputSize,
            FileSizeOrMinus1(worker->Tool->WritePath()), OptionsSetting().WMAOptions.BitRate);
        if (estimate && estimate->Percent > step->Percent)
            scheduler_->SetProgress(e.Index, TStepType::Wma, estimate->Percent);
    }
    UpdateView();
}

void TParallelJob::UpdateView()
{
    const int n = static_cast<int>(entries_.size());
    QStringList lines;
    int reading = -1;
    for (const TJobEntry& e : scheduler_->Entries()) {
        for (const TEntryStep& s : e.Steps) {
            if (s.State != TStepState::Running)
                continue;
            const QString who = kind_ == jkRipTracks
                                    ? TwoDigits(e.Track) + QLatin1Char(' ') + e.Title
                                    : ExtractFileName(e.Title);
            if (s.Type == TStepType::Extract)
                reading = e.Index;
            lines << QStringLiteral("%1 %2: %3%")
                         .arg(StepVerb(s.Type, plan_.Decode), who)
                         .arg(s.Percent);
        }
    }
    const int done =
        static_cast<int>(std::count_if(scheduler_->Entries().begin(), scheduler_->Entries().end(),
                                       [](const TJobEntry& e) { return e.Over(); }));
    if (reading >= 0) {
        view_.Caption = JobCaption(QStringLiteral("Extracting"), reading + 1, n,
                                   scheduler_->Entry(reading).Title);
        view_.GroupCaption = QStringLiteral("Extracting");
    } else {
        view_.Caption = JobCaption(
            kind_ == jkMp3ToWav ? QStringLiteral("Decoding") : QStringLiteral("Encoding"),
            std::min(done + 1, n), n,
            QStringLiteral("%1 at once").arg(scheduler_->Width(TLane::Encode)));
        view_.GroupCaption = kind_ == jkRipTracks ? QStringLiteral("Encoding") : plan_.FirstGroup;
    }
    view_.Lines = lines;
    const int percent = scheduler_->Percent();
    const int64_t elapsed = running_ ? ElapsedSeconds(start_) : seconds_;
    shownSeconds_ = elapsed;
    view_.Label1 = Mmss(elapsed);
    view_.Label2 = percent > 0 ? Mmss(elapsed * (100 - percent) / percent) : QString();
    view_.Bar = percent;
    view_.BarTextVisible = true;
    view_.Label3Visible = percent == 0;
    Q_EMIT ViewChanged();
}
