#include "platform/process/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool ExitedNoReap(pid_t pid)
{
    siginfo_t info{};
    for (;;) {
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0)
            return info.si_pid != 0;
        if (errno != EINTR)
            return true; // ECHILD: nothing left to wait for
    }
}

} // namespace

TChildProcess::~TChildProcess()
{
    if (pid_ > 0 && !Reaped()) {
        Signal(SIGKILL);
        Reap();
    }
    if (pidfd_ >= 0)
        ::close(pidfd_);
}

int TChildProcess::Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                         int stderrFd)
{
    if (pid_ > 0 || argv.empty())
        return EINVAL;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    // dup2 clears close-on-exec on the copy (glibc does so even when the numbers coincide).
    posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    posix_spawn_file_actions_adddup2(&actions, stderrFd, 2);
    // Own process group, so a stop also reaches whatever the tool starts; default SIGPIPE
    // (the program ignores it, and ignored signals survive exec) and no blocked signals.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t mask;
    sigemptyset(&mask);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &mask);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                        POSIX_SPAWN_SETSIGMASK);

    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return rc;
    pid_ = pid;
    // Not reaped yet, so the pid still names our child.
#ifdef SYS_pidfd_open
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
    return 0;
}

TChildProcess::WaitResult TChildProcess::WaitForExit(int timeoutMs,
                                                     std::initializer_list<int> wakeFds)
{
    if (pid_ <= 0 || Reaped())
        return WaitResult::Exited;
    std::vector<pollfd> fds;
    for (int fd : wakeFds)
        fds.push_back(pollfd{fd, POLLIN, 0});
    if (pidfd_ >= 0) {
        fds.push_back(pollfd{pidfd_, POLLIN, 0});
        int rc;
        do {
            rc = ::poll(fds.data(), fds.size(), timeoutMs);
        } while (rc < 0 && errno == EINTR);
        if (rc > 0 && (fds.back().revents & POLLIN) != 0)
            return WaitResult::Exited;
        return rc > 0 ? WaitResult::Readable : WaitResult::Timeout;
    }
    // Kernel without pidfd: look at the child every 10 ms instead.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (ExitedNoReap(pid_))
            return WaitResult::Exited;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return WaitResult::Timeout;
        const int rc =
            ::poll(fds.data(), fds.size(), static_cast<int>(std::min<long>(10, left.count())));
        if (rc > 0)
            return WaitResult::Readable;
    }
}

bool TChildProcess::HasExited()
{
    if (pid_ <= 0 || Reaped())
        return true;
    return ExitedNoReap(pid_);
}

void TChildProcess::Signal(int sig)
{
    std::lock_guard lock(mutex_);
    if (pid_ > 0 && !reaped_)
        ::kill(-pid_, sig);
}

int TChildProcess::Reap()
{
    if (pid_ <= 0)
        return -1;
    {
        std::lock_guard lock(mutex_);
        if (reaped_)
            return status_;
    }
    // Wait without reaping first, so the lock is never held while the child runs.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    std::lock_guard lock(mutex_);
    int status = 0;
    pid_t rc;
    do {
        rc = ::waitpid(pid_, &status, 0);
    } while (rc < 0 && errno == EINTR);
    reaped_ = true;
    status_ = rc == pid_ ? status : -1;
    return status_;
}

void TChildProcess::FinishTermination(int graceMs)
{
    if (pid_ <= 0 || Reaped())
        return;
    if (WaitForExit(graceMs, {}) != WaitResult::Exited)
        Signal(SIGKILL);
    Reap();
}

bool TChildProcess::Reaped() const
{
    std::lock_guard lock(mutex_);
    return reaped_;
}

int TChildProcess::WaitStatus() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}
