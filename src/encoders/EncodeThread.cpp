#include "encoders/EncodeThread.h"

#include <csignal>
#include <thread>

#include "encoders/EncodeInvocation.h"

std::atomic<int> TEncodeThread::live_{0};

namespace {

enum class PassResult { Idle, Busy, Over };

// One look at both pipes; each non-empty one is read and parsed on the runner's thread.
PassResult ReadPass(TEncodeInvocation& inv)
{
    bool idle = true;
    const struct {
        int fd;
        TEncodeRequest request;
    } pipes[] = {{inv.StdOut.ReadFd(), TEncodeRequest::ReadStdOut},
                 {inv.StdErr.ReadFd(), TEncodeRequest::ReadStdErr}};
    for (const auto& p : pipes) {
        uint32_t available = 0;
        int err = 0;
        if (!PeekAvailable(p.fd, available, err) || available == 0)
            continue;
        inv.BytesAvailable.store(available);
        idle = false;
        if (!inv.RunOnRunner(p.request, available))
            return PassResult::Over;
    }
    return idle ? PassResult::Idle : PassResult::Busy;
}

} // namespace

void TEncodeThread::Launch(std::shared_ptr<TEncodeInvocation> inv)
{
    ++live_;
    try {
        std::thread([inv = std::move(inv)]() mutable {
            try {
                Execute(inv);
            } catch (...) {
                // Nothing may escape a thread; the tool is ended below all the same.
            }
            // Stopped, failed, or a read failed: the tool may still run. Ask it to end, then
            // make sure.
            if (!inv->Child.Reaped()) {
                inv->Child.Signal(SIGTERM);
                inv->Child.FinishTermination(TerminationGraceMs);
            }
            inv.reset(); // closes the pipes unless the runner still holds them
            --live_;
        }).detach();
    } catch (...) {
        --live_;
        throw;
    }
}

void TEncodeThread::Execute(const std::shared_ptr<TEncodeInvocation>& inv)
{
    const int outFd = inv->StdOut.ReadFd();
    const int errFd = inv->StdErr.ReadFd();
    for (;;) {
        const PassResult pass = ReadPass(*inv);
        if (pass == PassResult::Over)
            break;
        if (pass == PassResult::Busy)
            continue; // output is flowing: no waiting
        if (inv->StopRequested.load())
            break;
        // Wakes at once when the tool ends or writes, else after 100 ms.
        if (inv->Child.WaitForExit(100, {outFd, errFd}) != TChildProcess::WaitResult::Exited)
            continue;
        // The tool has ended: read what it left in the pipes before reporting the end.
        PassResult drain;
        do {
            drain = ReadPass(*inv);
        } while (drain == PassResult::Busy);
        inv->Child.Reap();
        if (drain == PassResult::Idle)
            inv->RunOnRunner(TEncodeRequest::ProcessEnded, 0);
        break;
    }
}
