#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "pipeline/JobPlan.h"

/// Encode-lane width for a [CommonOptions] ParallelEncoders value on a machine with `cores`
/// cores: 0 one per core; anything else kept within 1..cores×2, so a bad value in options.ini
/// can neither stall a job nor start a process per track.
int EncodeLaneWidth(int32_t setting, int cores);

/// Where a step runs: the drive lane reads one track at a time (a drive has one reader);
/// the encode lane runs several per-track steps at once.
enum class TLane { Drive, Encode };
TLane LaneOf(TStepType type);

enum class TStepState {
    Waiting,
    Running,
    Succeeded,
    Failed,  ///< its worker failed; the entry's later steps are skipped
    Skipped, ///< never ran: an earlier step failed, or there was nothing to do
    Stopped, ///< the job was stopped before the step could end
};

/// How a running step ended, as its worker reported it.
enum class TStepEnd { Succeeded, Failed, Skipped };

struct TEntryStep {
    TStepType Type = TStepType::Extract;
    TStepState State = TStepState::Waiting;
    int Percent = 0;   ///< while running, 0..100
    QString Problem{}; ///< why it failed
};

/// One entry of a job (a track, or a picked file) and the state of each of its steps.
struct TJobEntry {
    int Index = 0;        ///< position in the job
    int Track = 0;        ///< the disc's track number; 0 for a file
    QString Title{};      ///< the track's title, or the file's path
    QString OutputBase{}; ///< the output's path without extension
    std::vector<TEntryStep> Steps{};

    /// The step of this type, or null.
    TEntryStep* Step(TStepType type);
    const TEntryStep* Step(TStepType type) const;
    bool Over() const;
    bool Succeeded() const;
    bool Failed() const;
    bool Stopped() const;
};

/// What a job did, for its end report.
struct TJobSummary {
    int Done = 0;
    int Failed = 0;
    int Skipped = 0; ///< left out or stopped before they ended
    QStringList FailedTitles{};
    QStringList Problems{}; ///< one per failed entry: "title: why"
};

/// Decides which step of which entry runs next, over two lanes: the drive lane one step at a
/// time, the encode lane up to its width. An entry's steps run in plan order; its next step is
/// ready when the one before it succeeded. Ready steps start in entry order. Knows nothing of
/// workers: the starter begins a step, and the owner reports its end (possibly from inside the
/// starter). UI thread only.
class TJobScheduler {
public:
    using TStarter = std::function<void(int entry, TStepType step)>;

    TJobScheduler(std::vector<TJobEntry> entries, int encodeWidth, TStarter starter);

    /// Starts every step that may start now.
    void Pump();
    /// A running step ended. False (and nothing changes) for a step that is not running: a
    /// stray or late report.
    bool StepEnded(int entry, TStepType step, TStepEnd end, const QString& problem = {});
    /// A running step's percent; true when that changed it.
    bool SetProgress(int entry, TStepType step, int percent);
    /// No step starts any more; every step not over is marked stopped (the owner ends the
    /// running ones' workers).
    void Stop();

    /// Nothing runs, and nothing is left to start.
    bool Over() const;
    bool Stopping() const { return stopped_; }
    int Running(TLane lane) const;
    int Width(TLane lane) const { return lane == TLane::Drive ? 1 : encodeWidth_; }
    /// The whole job's progress, 0..100: every step counts the same.
    int Percent() const;
    const std::vector<TJobEntry>& Entries() const { return entries_; }
    const TJobEntry& Entry(int k) const { return entries_[static_cast<size_t>(k)]; }
    TJobSummary Summary() const;

private:
    /// The entry's step that may start next, or null.
    TEntryStep* NextStep(TJobEntry& entry);

    std::vector<TJobEntry> entries_;
    const int encodeWidth_;
    TStarter starter_;
    bool stopped_ = false;
    bool pumping_ = false;
    bool pumpAgain_ = false;
};
