#pragma once

#include <atomic>
#include <functional>
#include <mutex>

class QObject;

/// Ends a lookup from another thread: Abort() marks it and wakes the call waiting on the
/// network, which then returns at once with CddbError::Aborted, as do all later calls.
class TCddbAbort {
public:
    /// Any thread; idempotent.
    void Abort();
    bool Aborted() const { return aborted_.load(std::memory_order_acquire); }

    /// The waiting call (on its own thread) names what Abort() runs there, in context's thread;
    /// runs it at once (queued) when the abort came first. Unwatch before context dies.
    void Watch(QObject* context, std::function<void()> onAbort);
    void Unwatch();

private:
    std::atomic<bool> aborted_{false};
    std::mutex mutex_; // guards context_ and onAbort_
    QObject* context_ = nullptr;
    std::function<void()> onAbort_;
};
