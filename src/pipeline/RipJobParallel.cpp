#include "pipeline/ParallelJob.h"
#include "pipeline/RipJob.h"
#include "pipeline/RipVerification.h"

void TRipJob::StartParallel(int width, const QByteArray& cover)
{
    parallel_ = std::make_unique<TParallelJob>(kind_, cdHandle_, entries_, width, cover);
    connect(parallel_.get(), &TParallelJob::ViewChanged, this, [this] {
        view_ = parallel_->View();
        Changed();
    });
    if (verification_)
        connect(parallel_.get(), &TParallelJob::Extracted, this,
                [this](int k, const TProcessInfo& info) {
                    if (verification_)
                        verification_->TrackExtracted(k, info);
                });
    // The job may end inside Begin (every file kept): the window is then never shown.
    connect(parallel_.get(), &TParallelJob::Ended, this, [this] {
        EndParallelVerification();
        fileList_.reset();
        Q_EMIT CloseRequested();
    });
    parallel_->Begin();
}

std::optional<TJobReport> TRipJob::Report() const
{
    if (!parallel_)
        return std::nullopt;
    return parallel_->Report();
}

void TRipJob::EndParallelVerification()
{
    if (!verification_ || !parallel_)
        return;
    // The cue names a track's encoded file when its encode step ended well, else its WAV
    // (resampling only checks a rip's tracks, normalising changes the WAV).
    const auto& entries = parallel_->Scheduler().Entries();
    std::vector<bool> encoded(entries.size(), false);
    for (size_t k = 0; k < entries.size(); ++k)
        for (const TEntryStep& step : entries[k].Steps)
            if (IsEncodeStep(step.Type) && step.State == TStepState::Succeeded)
                encoded[k] = true;
    verification_->JobEnded(parallel_->Report().Stopped, encoded);
}

bool TRipJob::EntrySucceeded(int k) const
{
    if (k < 0 || static_cast<size_t>(k) >= entryOk_.size())
        return false;
    if (parallel_)
        return parallel_->Scheduler().Entry(k).Succeeded();
    return entryOk_[static_cast<size_t>(k)];
}
