#include "audio/ACSOutput.h"

#include "audio/ACSException.h"
#include "audio/ACSLinks.h"
#include "core/TextUtil.h"

TACSOutput::TACSOutput()
{
    TACSThread::Handlers h;
    h.step = [this](bool abort) { return DoOutput(abort); };
    h.beforeStep = [this] { ReportProgress(); };
    h.done = [this] { WhenDone(); };
    h.failed = [this](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const EAppException& app) {
            HandleThreadException(app);
        } catch (const std::exception& other) {
            HandleThreadException(EACSException(other.what()));
        } catch (...) {
            HandleThreadException(EACSException("Unknown error"));
        }
    };
    h.notify = [this](std::exception_ptr e) { RaiseThreadException(std::move(e)); };
    h.idle = [this] { return !canOutput_.load(); };
    thread_ = std::make_unique<TACSThread>(std::move(h));
}

TACSOutput::~TACSOutput()
{
    // Concrete sinks have stopped the worker already; this only covers a sink that did not,
    // and then without the final step, whose override is gone.
    thread_->Terminate(false);
    ReleaseInput(input_, this);
}

void TACSOutput::ShutdownWorker()
{
    if (thread_->OnWorkerThread())
        return; // destroyed from its own event handler: cannot join itself
    thread_->Terminate(true);
    std::lock_guard cs(thread_->CriticalSection());
    try {
        FinishLocked();
    } catch (...) {
    }
}

void TACSOutput::Run()
{
    if (busy_.load())
        throw EACSException("Component is buisy");
    if (!input_.load())
        throw EACSException("Input is not assigned");
    failed_ = false;
    std::exception_ptr error;
    {
        std::lock_guard cs(thread_->CriticalSection());
        // Delivered by the worker, as every other event of the sink. The worker gets its own
        // copy (text copied too): an exception object shared between threads is released
        // through reference counts the sanitizer cannot see.
        try {
            Prepare();
        } catch (const EACSException& e) {
            error = std::make_exception_ptr(EACSException(std::string(e.what())));
        } catch (const EAppException& e) {
            error = std::make_exception_ptr(EAppException(std::string(e.what())));
        }
    }
    if (error) {
        failed_ = true;
        canOutput_ = false;
        busy_ = false;
        thread_->PostError(std::move(error));
        return;
    }
    busy_ = true;
    thread_->Stop = false;
    canOutput_ = true;
    thread_->Resume();
}

void TACSOutput::RunInCallerThread()
{
    if (busy_.load())
        throw EACSException("Component is buisy");
    if (!input_.load())
        throw EACSException("Input is not assigned");
    failed_ = false;
    // The critical section is held throughout, so an idling worker cannot step in between.
    std::lock_guard cs(thread_->CriticalSection());
    try {
        Prepare();
    } catch (...) {
        failed_ = true;
        throw;
    }
    busy_ = true;
    canOutput_ = true;
    try {
        while (DoOutput(false)) {
        }
    } catch (...) {
        failed_ = true;
        canOutput_ = false;
        try {
            FinishLocked();
        } catch (...) {
        }
        busy_ = false;
        throw;
    }
    canOutput_ = false;
    try {
        FinishLocked();
    } catch (...) {
        failed_ = true;
        busy_ = false;
        throw;
    }
    busy_ = false;
}

void TACSOutput::Pause()
{
    if (!thread_->Suspended())
        thread_->Suspend();
}

TACSOutputStatus TACSOutput::Status() const
{
    if (!busy_.load())
        return TACSOutputStatus::Idle;
    return thread_->Suspended() ? TACSOutputStatus::Paused : TACSOutputStatus::Running;
}

int TACSOutput::Progress() const
{
    // Under the input lock, so an input being destroyed on another thread is not read.
    TSpinGuard guard(inputLock_);
    TACSInput* input = input_.load();
    if (!input)
        return 0;
    const int64_t size = input->Size();
    if (size == -1)
        return -1;
    if (size == 0)
        return 0;
    return static_cast<int>(
        RoundHalfEven(static_cast<double>(input->Position()) / static_cast<double>(size) * 100.0));
}

void TACSOutput::Prepare()
{
    DoPrepare();
    prepared_ = true;
}

void TACSOutput::Done()
{
    // Waits for a step under way; events run outside the section, so a handler may call this.
    std::lock_guard cs(thread_->CriticalSection());
    canOutput_ = false;
    try {
        FinishLocked();
    } catch (...) {
        failed_ = true;
        throw;
    }
}

void TACSOutput::FinishLocked()
{
    if (!prepared_)
        return;
    prepared_ = false;
    DoDone();
}

void TACSOutput::WhenDone()
{
    {
        std::lock_guard cs(thread_->CriticalSection());
        // CanOutput is clear when the owner finished the job itself meanwhile.
        if (!busy_.load() || !canOutput_.load())
            return;
        canOutput_ = false;
        // A failure here goes to HandleThreadException through the worker, without OnDone.
        FinishLocked();
        busy_ = false;
    }
    TOutputDoneEvent handler;
    {
        std::lock_guard lock(eventsMutex_);
        handler = onDone_;
    }
    if (handler)
        handler(this);
}

void TACSOutput::HandleThreadException(const EAppException& e)
{
    {
        std::lock_guard cs(thread_->CriticalSection());
        if (busy_.load()) {
            try {
                FinishLocked();
            } catch (...) {
            }
        }
        failed_ = true;
        canOutput_ = false;
        busy_ = false;
    }
    TThreadExceptionEvent handler;
    {
        std::lock_guard lock(eventsMutex_);
        handler = onThreadException_;
    }
    if (handler)
        handler(this, e);
}

void TACSOutput::RaiseThreadException(std::exception_ptr error)
{
    TThreadExceptionEvent handler;
    {
        std::lock_guard lock(eventsMutex_);
        handler = onThreadException_;
    }
    if (!handler)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const EAppException& e) {
        handler(this, e);
    }
}

TACSOutput::TStepStart TACSOutput::BeginStep(bool abort, bool inputEnded)
{
    if (!canOutput_.load())
        return TStepStart::Idle;
    if (abort || inputEnded)
        return TStepStart::End;
    return TStepStart::Proceed;
}

void TACSOutput::ReportProgress()
{
    // The progress part of every step, run by the worker just before the step but outside the
    // critical section, so a handler that waits for the owner cannot hold up Done.
    if (!canOutput_.load())
        return;
    const int p = Progress();
    if (p == lastProgress_.load())
        return;
    lastProgress_ = p;
    TOutputProgressEvent handler;
    {
        std::lock_guard lock(eventsMutex_);
        handler = onProgress_;
    }
    if (handler)
        handler(this);
}

int64_t TACSOutput::ReadInput(void* buffer, int64_t count)
{
    TSpinGuard guard(inputLock_);
    TACSInput* input = input_.load();
    return input ? input->GetData(buffer, count) : 0;
}

int64_t TACSOutput::FillFromInput(uint8_t* buffer, int64_t held, int64_t size, bool& ended)
{
    while (held < size) {
        const int64_t n = ReadInput(buffer + held, size - held);
        if (n <= 0) {
            ended = true;
            break;
        }
        held += n;
    }
    return held;
}

void TACSOutput::SetInput(TACSInput* value)
{
    SwapInput(input_, inputLock_, value, busy_.load(), this);
}

void TACSOutput::InputRemoved(TACSInput* input)
{
    DropInput(input_, inputLock_, input);
}

void TACSOutput::SetSuspendWhenIdle(bool value)
{
    if (!busy_.load())
        thread_->SuspendWhenIdle = value;
}

void TACSOutput::SetOnDone(TOutputDoneEvent handler)
{
    if (busy_.load())
        return;
    std::lock_guard lock(eventsMutex_);
    onDone_ = std::move(handler);
}

void TACSOutput::SetOnProgress(TOutputProgressEvent handler)
{
    if (busy_.load())
        return;
    std::lock_guard lock(eventsMutex_);
    onProgress_ = std::move(handler);
}

void TACSOutput::SetOnThreadException(TThreadExceptionEvent handler)
{
    if (busy_.load())
        return;
    std::lock_guard lock(eventsMutex_);
    onThreadException_ = std::move(handler);
}
