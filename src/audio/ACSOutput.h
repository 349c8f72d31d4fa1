#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "audio/ACSInput.h"
#include "audio/ACSThread.h"
#include "audio/ACSTypes.h"
#include "audio/SpinFlag.h"

class EAppException;

/// Abstract audio sink with its own worker thread, which pulls from Input step by step.
///
/// Calling order for a job: set properties and Input -> Run (Prepare on the caller's thread,
/// then the worker wakes) -> DoOutput on the worker until it returns false -> WhenDone (Done,
/// then OnDone). A failing Prepare or step ends in OnThreadException with the sink Idle.
///
/// Outcome of a job: OnDone is raised only for a job whose every step and whose Done succeeded,
/// so it always means the output is complete. A job that fails anywhere (Prepare, a step, or
/// finishing the output in Done) raises OnThreadException instead and never OnDone; Failed()
/// is set before that event and before the sink turns Idle, and stays set until the next Run.
///
/// Threads: Run, Pause, Done and the setters run on the owner's thread; steps, WhenDone and
/// all three events run on the worker. Steps and Done serialise on the worker's critical
/// section; events are raised outside it, so a handler may wait for the owner's thread even
/// while that thread calls Done. Concrete sinks must call ShutdownWorker() first thing in their
/// destructor; a sink must not be destroyed from its own event handler.
class TACSOutput : public IACSInputConsumer {
public:
    using TOutputDoneEvent = std::function<void(TACSOutput* sender)>;
    using TOutputProgressEvent = std::function<void(TACSOutput* sender)>;
    using TThreadExceptionEvent = std::function<void(TACSOutput* sender, const EAppException& e)>;

    TACSOutput();
    virtual ~TACSOutput();
    TACSOutput(const TACSOutput&) = delete;
    TACSOutput& operator=(const TACSOutput&) = delete;

    /// Starts a job and returns at once. Raises "Component is buisy" when Busy and "Input is not
    /// assigned" without Input; an error from Prepare goes to OnThreadException instead.
    void Run();
    /// Parks the worker before its next step, unless it is parked already.
    void Pause();
    TACSOutputStatus Status() const;
    /// Percent of the input delivered (ties to even); -1 when the input's Size is unknown.
    int Progress() const;
    /// Finishes the open job: closes the output and flushes the input. The owner may call it
    /// after Pause to end a job early; no OnDone follows, and later steps do nothing. Raises the
    /// sink's error (with Failed() set) when the output could not be finished; the output and
    /// the input are closed all the same.
    void Done();
    bool Busy() const { return busy_.load(); }
    /// True when the last job failed (see the class comment); cleared by Run.
    bool Failed() const { return failed_.load(); }

    TACSInput* Input() const { return input_.load(); }
    /// The swap protocol of TACSConverter::SetInput.
    virtual void SetInput(TACSInput* value);

    bool SuspendWhenIdle() const { return thread_->SuspendWhenIdle.load(); }
    void SetSuspendWhenIdle(bool value);
    void SetOnDone(TOutputDoneEvent handler);
    void SetOnProgress(TOutputProgressEvent handler);
    void SetOnThreadException(TThreadExceptionEvent handler);

    /// Runs a whole job on the caller's thread without events: Prepare, steps until the job
    /// ends, Done. Errors propagate (after Done when a step failed). The worker waits meanwhile.
    /// For tools, tests and fuzzers that need no thread.
    void RunInCallerThread();

    /// Opens the output and initialises the input (Run calls it).
    void Prepare();
    /// One step of the job; false when the job has ended.
    virtual bool DoOutput(bool abort) = 0;

    /// The done handler: when a job is running, Done, clear Busy, then OnDone.
    void WhenDone();
    /// The exception handler: Done when busy (errors swallowed), back to Idle, then
    /// OnThreadException.
    void HandleThreadException(const EAppException& e);

    void InputRemoved(TACSInput* input) override;

    /// Worker steps so far, idle ones included.
    uint64_t StepCount() const { return thread_->StepCount.load(); }
    /// True while the worker is parked (or will park before its next step).
    bool WorkerParked() const { return thread_->Suspended(); }

protected:
    virtual void DoPrepare() = 0;
    virtual void DoDone() = 0;

    enum class TStepStart { Proceed, Idle, End };
    /// The first part every DoOutput shares: Idle when no job is open, End on abort or when
    /// the input has ended, otherwise Proceed. (The worker raises OnProgress just before.)
    TStepStart BeginStep(bool abort, bool inputEnded);
    /// Reads from Input under InputLock; 0 when there is no input.
    int64_t ReadInput(void* buffer, int64_t count);
    /// Reads on into buffer, which holds `held` bytes, until it holds `size` or the input ends
    /// (then `ended` is set); returns the bytes it holds.
    int64_t FillFromInput(uint8_t* buffer, int64_t held, int64_t size, bool& ended);

    /// Stops the worker (one aborting step) and finishes a job still open. Concrete sinks
    /// call it first in their destructor, while their overrides still exist.
    void ShutdownWorker();

private:
    void FinishLocked();
    void ReportProgress();
    void RaiseThreadException(std::exception_ptr error);

    std::atomic<bool> canOutput_{false};
    std::atomic<bool> busy_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int> lastProgress_{0};
    bool prepared_ = false; // a job's output is open; guarded by the critical section
    std::atomic<TACSInput*> input_{nullptr};
    mutable TSpinFlag inputLock_;

    std::mutex eventsMutex_;
    TOutputDoneEvent onDone_;
    TOutputProgressEvent onProgress_;
    TThreadExceptionEvent onThreadException_;

    std::unique_ptr<TACSThread> thread_;
};
