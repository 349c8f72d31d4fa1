#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/process/ChildProcess.h"
#include "platform/process/PosixPipe.h"

class QObject;
class TEncodeInvocation;

/// What an invocation's watcher asks of its runner.
enum class TEncodeRequest { ReadStdOut, ReadStdErr, ProcessEnded };

/// The runner side of an invocation, as the invocation sees it: where its requests run.
class IEncodeRequestHandler {
public:
    virtual ~IEncodeRequestHandler() = default;
    /// The object on whose thread requests run; calls queued to it are dropped with it.
    virtual QObject* RequestContext() = 0;
    /// Runs a request of inv on that thread; may raise.
    virtual void HandleRequest(const std::shared_ptr<TEncodeInvocation>& inv,
                               TEncodeRequest request, uint32_t count) = 0;
};

/// Everything one tool invocation owns: its three pipes and its process. The runner (UI thread)
/// and the invocation's watcher thread share it; whichever lets go last closes the pipes, so
/// the watcher never touches a descriptor the UI thread has closed. The runner lets go when the
/// invocation ends (ProcessEnded) or is stopped; the watcher then sees StopRequested and ends.
class TEncodeInvocation : public std::enable_shared_from_this<TEncodeInvocation> {
public:
    // The runner keeps the child's ends too, so the tool's end is seen from its process,
    // never from end of file on a pipe.
    TPosixPipe StdIn;
    TPosixPipe StdOut;
    TPosixPipe StdErr;
    TChildProcess Child;

    /// Set by the UI thread when the invocation is over for the runner; the watcher ends.
    std::atomic<bool> StopRequested{false};
    /// Byte count found by the watcher's last peek.
    std::atomic<uint32_t> BytesAvailable{0};

    /// UI thread only: after an "ERROR" end event no more output is parsed or reported.
    bool ReportingEnded = false;

    /// UI thread: the runner that handles this invocation's requests. Its context is asked
    /// for here, so the watcher never makes a virtual call on a runner that may be mid-destruction.
    void Attach(IEncodeRequestHandler* runner);
    /// UI thread: sets StopRequested and forgets the runner; the watcher posts nothing after
    /// this returns.
    void Detach();

    /// Watcher thread: has the runner run the request on its thread and waits until it has
    /// run, or was dropped because the runner is gone. Returns false when the invocation is
    /// stopped, has no runner, or the request raised an error (kept in WatcherError).
    bool RunOnRunner(TEncodeRequest request, uint32_t count);

    /// Text of the error the watcher ended with (empty if none). Safe from any thread.
    std::string WatcherError() const;

private:
    mutable std::mutex mutex_; // guards runner_, context_ and watcherError_
    IEncodeRequestHandler* runner_ = nullptr;
    QObject* context_ = nullptr;
    std::string watcherError_;
};
