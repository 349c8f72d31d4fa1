#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <QObject>
#include <QStringList>
#include <QTimer>

#include "core/ProcessInfo.h"
#include "core/ResultNotice.h"
#include "pipeline/JobPlan.h"
#include "pipeline/JobScheduler.h"
#include "pipeline/JobView.h"
#include "pipeline/PartialOutput.h"
#include "pipeline/RipCover.h"
#include "pipeline/RipFiles.h"

class TStepWorker;

/// What a finished job reports: its counts, the time it took and where its files went.
struct TJobReport {
    TJobSummary Counts;
    int64_t Seconds = 0;
    QString Folder;
    bool Stopped = false;
};

/// "8 done, 1 failed, 1 skipped in 02:31" and the failed entries' titles.
QString JobReportText(const TJobReport& report);
/// The report for the main window's result bar: a warning when an entry failed.
TResultNotice JobReportNotice(const TJobReport& report);

/// Whether a [CommonOptions] ParallelEncoders value asks for the parallel job (1, or a value
/// clamped to 1, keeps the job sequential).
bool ParallelJobWanted(int32_t setting);

/// The job that encodes while the drive reads on: a CD rip or a conversion of picked files,
/// its steps spread over the scheduler's lanes. Every step of every entry has its own worker
/// (its own rip thread, lame or WMA-tool process, or stream components), which reports to the
/// job naming its entry. A failed step is recorded, not shown at once, so several encoders
/// failing together never stack message boxes; the end names every failure. Lives on the UI
/// thread; no widgets.
class TParallelJob : public QObject {
    Q_OBJECT
public:
    static bool Supports(int jobKind);

    /// cover: the disc's front cover (JPEG or PNG bytes) for a rip's files; empty: none.
    TParallelJob(int jobKind, int cdHandle, const QStringList& list, int encodeWidth,
                 const QByteArray& cover = {}, QObject* parent = nullptr);
    ~TParallelJob() override;

    /// Asks the job's overwrite questions, then starts the first steps. Ended may be emitted
    /// before this returns (nothing left to do).
    void Begin();
    /// Ends the drive read and every encoder, removes what they were writing, keeps every
    /// finished file; emits Ended.
    void Stop();
    /// Stop without the Ended signal (the window closed); runs once.
    void Cleanup();

    bool Running() const { return running_; }
    const TJobView& View() const { return view_; }
    const TJobScheduler& Scheduler() const { return *scheduler_; }
    TJobReport Report() const;
    /// Process ids of the encoder tools running now (tests, the benchmark).
    std::vector<qint64> ToolProcesses() const;

    /// A worker's report (posted to the job by the step's worker).
    void HandleReport(int entry, TStepType step, const TProcessInfo& info);
    void HandleRipFailed(int code);

Q_SIGNALS:
    void ViewChanged();
    /// A rip's track has been read (whole or not); info carries its extraction result.
    void Extracted(int entry, const TProcessInfo& info);
    /// The job is over, by itself or by Stop.
    void Ended();

private:
    struct TEntryWork {
        QString Input;                        ///< what the entry's next step reads
        std::unique_ptr<TPartialOutput> Temp; ///< a resampled copy of the input, if any
        bool ProgressSeen = false;            ///< the running tool reported progress
        std::chrono::steady_clock::time_point ToolStart{}; ///< when its encoder tool started
        int64_t InputSize = 0;                             ///< bytes of its tool's input
    };

    void StartStep(int entry, TStepType step);
    void StartExtract(int k);
    void StartResample(int k);
    void StartNormalize(int k);
    /// The checks and the partial output every step that makes a file starts with; null (the
    /// step ended as failed) when the input is not a plain file or the output cannot be made.
    TStepWorker* StartOutputStep(int k, TStepType step, const QString& output);
    void StartTool(int k, TStepType step);
    void StartStream(int k, TStepType step);
    /// Ends a step from inside its start: the scheduler pumps on, and the end is recorded.
    void EndStep(int k, TStepType step, TStepEnd end, const QString& problem = {});
    void StepFinished(int k, TStepType step, const TProcessInfo& info);
    /// The outcome of an encode step's end record: its partial output renamed into place (after
    /// the tag step) or removed.
    TStepEnd FinishEncode(int k, TStepType step, bool succeeded, QString& problem);
    void MaybeFinish();
    void EndJob(bool stopped);
    void StopWorkers(bool stopped);
    void UpdateView();
    /// Every second: the clock, and estimates for tools that report no progress.
    void Tick();

    static QString OutputDir();
    QString OutputOf(int k, const QString& ext) const;
    /// Why a rip entry's files cannot be written, or empty.
    QString RipOutputsProblem(int k) const;
    TStepWorker* Worker(int k, TStepType step);
    TStepWorker& NewWorker(int k, TStepType step);
    void DropWorker(int k, TStepType step);

    const int kind_;
    const int cdHandle_;
    const TJobPlan plan_;
    const QStringList entries_;
    std::vector<TRipEntryFiles> ripFiles_;
    TRipCover cover_; ///< what a rip leaves beside its tracks
    std::vector<TEntryWork> work_;
    std::unique_ptr<TJobScheduler> scheduler_;
    std::map<std::pair<int, int>, std::unique_ptr<TStepWorker>> workers_;
    std::set<int> skipped_; ///< entries whose output the user chose to keep
    QStringList warnings_;  ///< tag failures and the like: the file is kept
    bool running_ = false;
    bool stopped_ = false;
    std::chrono::steady_clock::time_point start_{};
    int64_t seconds_ = 0;
    int64_t shownSeconds_ = -1; // the elapsed time the view shows
    QTimer clock_;
    TJobView view_;
};
