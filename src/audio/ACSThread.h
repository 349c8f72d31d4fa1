#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

/// The worker thread of one sink. It parks on a condition variable while suspended (created
/// suspended, after a job when SuspendWhenIdle, or when paused) and otherwise runs the step
/// handler in a loop inside its critical section.
///
/// Events are raised outside the critical section, so a handler that waits for another thread
/// never holds up Done or SetInput called from there.
class TACSThread {
public:
    struct Handlers {
        std::function<bool(bool abort)> step;           ///< one step; false when the job ended
        std::function<void()> beforeStep;               ///< outside the critical section
        std::function<void()> done;                     ///< after a step returned false
        std::function<void(std::exception_ptr)> failed; ///< a step raised
        std::function<void(std::exception_ptr)> notify; ///< an error queued by PostError
        std::function<bool()> idle;                     ///< true when no job is open
    };

    explicit TACSThread(Handlers handlers);
    /// Stops the thread without its final step (owners stop it earlier with Terminate).
    ~TACSThread();
    TACSThread(const TACSThread&) = delete;
    TACSThread& operator=(const TACSThread&) = delete;

    void Resume();
    /// Parks the thread before its next step (the step under way finishes first).
    void Suspend();
    bool Suspended() const;
    /// Parks after a job unless a new one has started meanwhile.
    void SuspendIfIdle();
    /// Hands an error to the thread, which passes it to the notify handler, even when parked.
    void PostError(std::exception_ptr error);
    /// Ends the loop after the current step, runs one aborting step when finalStep is set, and
    /// joins. Safe to call more than once; never from the worker itself.
    void Terminate(bool finalStep);
    bool OnWorkerThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    std::mutex& CriticalSection() { return cs_; }

    std::atomic<bool> SuspendWhenIdle{true};
    std::atomic<bool> Stop{false};
    /// Milliseconds to sleep before each step when above 5.
    std::atomic<int> Delay{0};
    /// Steps run (idle ones included); for tests that watch an idle loop.
    std::atomic<uint64_t> StepCount{0};

private:
    void Body();

    Handlers h_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool suspended_ = true;                 // guarded by m_
    bool terminating_ = false;              // guarded by m_
    bool finalStep_ = false;                // guarded by m_
    std::deque<std::exception_ptr> errors_; // guarded by m_
    std::mutex cs_;
    std::thread thread_;
};
