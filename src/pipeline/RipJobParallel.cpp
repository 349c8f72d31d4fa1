#include "pipeline/ParallelJob.h"
#include "pipeline/RipJob.h"

void TRipJob::StartParallel(int width, const QByteArray& cover)
{
    parallel_ = std::make_unique<TParallelJob>(kind_, cdHandle_, entries_, width, cover);
    connect(parallel_.get(), &TParallelJob::ViewChanged, this, [this] {
        view_ = parallel_->View();
        Changed();
    });
    // The job may end inside Begin (every file kept): the window is then never shown.
    connect(parallel_.get(), &TParallelJob::Ended, this, [this] {
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
