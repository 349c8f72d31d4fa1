#include "cd/NormalizeThread.h"

#include <cerrno>
#include <chrono>

#include "cd/RipSupport.h"
#include "cd/WavNormalizer.h"
#include "core/AppEvents.h"
#include "core/ProcessInfo.h"

TNormalizeThread::TNormalizeThread(QString path, int32_t percent)
    : Path(std::move(path)), percent_(percent)
{
}

TNormalizeThread::~TNormalizeThread()
{
    if (thread_.joinable())
        thread_.join();
}

void TNormalizeThread::Resume()
{
    if (thread_.joinable())
        return;
    thread_ = std::thread([this] {
        try {
            Execute();
        } catch (...) {
            // Nothing may escape a worker; the WAV is whole whatever went wrong.
            PostAppEvent(receiver_.data(), MakeJobProgress(JobCode::NormalizeEnded, {}, {},
                                                           ExtractOutcome::WriteError));
        }
    });
}

void TNormalizeThread::Execute()
{
    const auto start = std::chrono::steady_clock::now();
    int shown = -1;
    int error = 0;
    // One record per percent: a block is 2048 bytes, and a track has thousands of them.
    const bool ok = NormalizeWavFile(
        Path, percent_,
        [&](int64_t position, int64_t size) {
            const int percent = size > 0 ? static_cast<int>(position * 100 / size) : 0;
            if (percent == shown)
                return;
            shown = percent;
            PostAppEvent(receiver_.data(), MakeProgressRecord(position, size, start));
        },
        &error, &StopRequested);
    if (StopRequested.load(std::memory_order_acquire))
        return;
    PostAppEvent(receiver_.data(),
                 ok ? MakeJobProgress(JobCode::NormalizeEnded)
                    : MakeJobProgress(JobCode::NormalizeEnded, NormalizeFailureText(Path, error),
                                      {}, ExtractOutcome::WriteError));
}
