#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include <sys/types.h>

/// One child process started without a shell, in its own process group, with chosen
/// descriptors as its standard input, output and error.
///
/// Thread use: one thread (the watcher) waits for and reaps the child; any other thread may
/// call Signal at any time. Signals are only sent while the child is not yet reaped, so a pid
/// that the system has handed to another process is never signalled. The destructor kills
/// and reaps a child that is still there.
class TChildProcess {
public:
    TChildProcess() = default;
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    /// Starts argv[0] (searched on PATH when it has no "/") with argv as its arguments.
    /// Returns 0 or the errno of the failure (a missing program gives ENOENT).
    int Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd, int stderrFd);

    /// Process id, or 0 when none was started.
    pid_t Pid() const { return pid_; }
    bool Started() const { return pid_ > 0; }

    enum class WaitResult { Exited, Readable, Timeout };
    /// Waits up to timeoutMs for the child to end, returning early when one of wakeFds has
    /// data. Does not reap.
    WaitResult WaitForExit(int timeoutMs, std::initializer_list<int> wakeFds);

    /// True once the child has ended (without reaping it).
    bool HasExited();

    /// Sends sig to the child's process group unless the child has been reaped.
    void Signal(int sig);

    /// Waits for the child to end and reaps it; returns its wait status. Idempotent.
    int Reap();

    /// Waits up to graceMs for the child to end after a termination request, then kills its
    /// group, and reaps it.
    void FinishTermination(int graceMs);

    bool Reaped() const;
    /// The wait status once reaped (see WIFEXITED and friends), else -1.
    int WaitStatus() const;

private:
    pid_t pid_ = 0;
    int pidfd_ = -1;
    mutable std::mutex mutex_; // guards reaped_ and status_ against Signal on another thread
    bool reaped_ = false;
    int status_ = -1;
};

/// True when path names an existing regular file that we may execute.
bool IsExecutableFile(const std::string& path);
