#include "pipeline/JobScheduler.h"

#include <algorithm>

int EncodeLaneWidth(int32_t setting, int cores)
{
    cores = std::max(cores, 1);
    if (setting == 0)
        return cores;
    return std::clamp(setting, 1, cores * 2);
}

TLane LaneOf(TStepType type)
{
    return type == TStepType::Extract ? TLane::Drive : TLane::Encode;
}

TEntryStep* TJobEntry::Step(TStepType type)
{
    for (TEntryStep& step : Steps) {
        if (step.Type == type)
            return &step;
    }
    return nullptr;
}

const TEntryStep* TJobEntry::Step(TStepType type) const
{
    return const_cast<TJobEntry*>(this)->Step(type);
}

bool TJobEntry::Over() const
{
    return std::none_of(Steps.begin(), Steps.end(), [](const TEntryStep& s) {
        return s.State == TStepState::Waiting || s.State == TStepState::Running;
    });
}

bool TJobEntry::Succeeded() const
{
    return std::all_of(Steps.begin(), Steps.end(),
                       [](const TEntryStep& s) { return s.State == TStepState::Succeeded; });
}

bool TJobEntry::Failed() const
{
    return std::any_of(Steps.begin(), Steps.end(),
                       [](const TEntryStep& s) { return s.State == TStepState::Failed; });
}

bool TJobEntry::Stopped() const
{
    return std::any_of(Steps.begin(), Steps.end(),
                       [](const TEntryStep& s) { return s.State == TStepState::Stopped; });
}

TJobScheduler::TJobScheduler(std::vector<TJobEntry> entries, int encodeWidth, TStarter starter)
    : entries_(std::move(entries)), encodeWidth_(std::max(encodeWidth, 1)),
      starter_(std::move(starter))
{
}

TEntryStep* TJobScheduler::NextStep(TJobEntry& entry)
{
    for (TEntryStep& step : entry.Steps) {
        if (step.State == TStepState::Waiting)
            return &step;
        if (step.State != TStepState::Succeeded)
            return nullptr; // running, or the entry has failed
    }
    return nullptr;
}

void TJobScheduler::Pump()
{
    // A starter may end its step at once, which pumps again: that pump only asks this one to
    // look once more, so steps start in entry order and no lane is overfilled.
    if (pumping_) {
        pumpAgain_ = true;
        return;
    }
    pumping_ = true;
    do {
        pumpAgain_ = false;
        for (TJobEntry& entry : entries_) {
            if (stopped_)
                break;
            TEntryStep* step = NextStep(entry);
            if (step == nullptr)
                continue;
            const TLane lane = LaneOf(step->Type);
            if (Running(lane) >= Width(lane))
                continue;
            step->State = TStepState::Running;
            step->Percent = 0;
            starter_(entry.Index, step->Type);
        }
    } while (pumpAgain_ && !stopped_);
    pumping_ = false;
}

bool TJobScheduler::StepEnded(int entry, TStepType type, TStepEnd end, const QString& problem)
{
    if (entry < 0 || entry >= static_cast<int>(entries_.size()))
        return false;
    TJobEntry& e = entries_[static_cast<size_t>(entry)];
    TEntryStep* step = e.Step(type);
    if (step == nullptr || step->State != TStepState::Running)
        return false;
    switch (end) {
    case TStepEnd::Succeeded:
        step->State = TStepState::Succeeded;
        step->Percent = 100;
        break;
    case TStepEnd::Failed:
        step->State = TStepState::Failed;
        step->Problem = problem;
        break;
    case TStepEnd::Skipped:
        step->State = TStepState::Skipped;
        break;
    }
    if (end != TStepEnd::Succeeded) {
        for (TEntryStep& later : e.Steps) {
            if (later.State == TStepState::Waiting)
                later.State = TStepState::Skipped;
        }
    }
    Pump();
    return true;
}

bool TJobScheduler::SetProgress(int entry, TStepType type, int percent)
{
    if (entry < 0 || entry >= static_cast<int>(entries_.size()))
        return false;
    TEntryStep* step = entries_[static_cast<size_t>(entry)].Step(type);
    if (step == nullptr || step->State != TStepState::Running)
        return false;
    const int before = step->Percent;
    step->Percent = std::clamp(percent, 0, 100);
    return step->Percent != before;
}

void TJobScheduler::Stop()
{
    stopped_ = true;
    for (TJobEntry& entry : entries_) {
        for (TEntryStep& step : entry.Steps) {
            if (step.State == TStepState::Waiting || step.State == TStepState::Running)
                step.State = TStepState::Stopped;
        }
    }
}

bool TJobScheduler::Over() const
{
    return std::all_of(entries_.begin(), entries_.end(),
                       [](const TJobEntry& e) { return e.Over(); });
}

int TJobScheduler::Running(TLane lane) const
{
    int n = 0;
    for (const TJobEntry& entry : entries_) {
        for (const TEntryStep& step : entry.Steps)
            n += step.State == TStepState::Running && LaneOf(step.Type) == lane ? 1 : 0;
    }
    return n;
}

int TJobScheduler::Percent() const
{
    int64_t steps = 0;
    int64_t sum = 0;
    for (const TJobEntry& entry : entries_) {
        for (const TEntryStep& step : entry.Steps) {
            ++steps;
            if (step.State == TStepState::Running)
                sum += step.Percent;
            else if (step.State != TStepState::Waiting)
                sum += 100; // over, one way or another
        }
    }
    return steps == 0 ? 100 : static_cast<int>(sum / steps);
}

TJobSummary TJobScheduler::Summary() const
{
    TJobSummary summary;
    for (const TJobEntry& entry : entries_) {
        if (entry.Succeeded()) {
            ++summary.Done;
        } else if (entry.Failed()) {
            ++summary.Failed;
            summary.FailedTitles << entry.Title;
            for (const TEntryStep& step : entry.Steps) {
                if (step.State == TStepState::Failed)
                    summary.Problems << entry.Title + QStringLiteral(": ") + step.Problem;
            }
        } else {
            ++summary.Skipped;
        }
    }
    return summary;
}
