#pragma once

#include <atomic>
#include <memory>

class TEncodeInvocation;

/// The watcher of one tool invocation. It only peeks at the two output pipes and waits on the
/// process; reads, parsing and the end handling run on the runner's (UI) thread at its request,
/// and it waits for each. It is detached: nobody joins it, so the UI thread never waits for a
/// watcher that may be waiting for the UI thread. It holds its invocation alive by itself.
class TEncodeThread {
public:
    /// Starts a detached watcher for inv. Throws std::system_error when no thread can be made.
    static void Launch(std::shared_ptr<TEncodeInvocation> inv);

    /// Watchers still running (tests wait for 0 so no tool outlives them).
    static int LiveCount() { return live_.load(); }

    /// How long a stopped tool gets to end after SIGTERM before its group is killed.
    static constexpr int TerminationGraceMs = 2000;

private:
    static void Execute(const std::shared_ptr<TEncodeInvocation>& inv);
    static std::atomic<int> live_;
};
