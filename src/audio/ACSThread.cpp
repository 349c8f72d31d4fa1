#include "audio/ACSThread.h"

#include <chrono>

#include "audio/ACSException.h"

TACSThread::TACSThread(Handlers handlers) : h_(std::move(handlers))
{
    thread_ = std::thread([this] { Body(); });
}

TACSThread::~TACSThread()
{
    Terminate(false);
}

void TACSThread::Resume()
{
    {
        std::lock_guard lock(m_);
        suspended_ = false;
    }
    cv_.notify_all();
}

void TACSThread::Suspend()
{
    std::lock_guard lock(m_);
    suspended_ = true;
}

bool TACSThread::Suspended() const
{
    std::lock_guard lock(m_);
    return suspended_;
}

void TACSThread::SuspendIfIdle()
{
    // Checked under m_ so a Run that resumed us in between is not undone.
    std::lock_guard lock(m_);
    if (h_.idle())
        suspended_ = true;
}

void TACSThread::PostError(std::exception_ptr error)
{
    {
        std::lock_guard lock(m_);
        errors_.push_back(std::move(error));
    }
    cv_.notify_all();
}

void TACSThread::Terminate(bool finalStep)
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(m_);
        terminating_ = true;
        finalStep_ = finalStep;
    }
    cv_.notify_all();
    thread_.join();
}

void TACSThread::Body()
{
    for (;;) {
        std::exception_ptr posted;
        {
            std::unique_lock lock(m_);
            cv_.wait(lock, [this] { return terminating_ || !errors_.empty() || !suspended_; });
            if (terminating_)
                break;
            if (!errors_.empty()) {
                posted = std::move(errors_.front());
                errors_.pop_front();
            }
        }
        if (posted) {
            h_.notify(posted);
            continue;
        }

        bool more = true;
        std::exception_ptr failure;
        try {
            h_.beforeStep();
        } catch (...) {
            failure = std::current_exception();
        }
        if (!failure) {
            std::lock_guard cs(cs_);
            const int delay = Delay.load();
            if (delay > 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            try {
                more = h_.step(Stop.load());
            } catch (...) {
                failure = std::current_exception();
            }
            StepCount.fetch_add(1, std::memory_order_relaxed);
        }

        if (!failure && !more) {
            Stop = false;
            try {
                h_.done();
            } catch (...) {
                failure = std::current_exception();
            }
            if (!failure && SuspendWhenIdle.load())
                SuspendIfIdle();
        }
        if (failure) {
            Stop = false;
            h_.failed(failure);
            if (SuspendWhenIdle.load())
                SuspendIfIdle();
            continue;
        }
        if (more && h_.idle()) {
            // Not suspended while idle: run idle steps, but without burning a core between them.
            std::unique_lock lock(m_);
            cv_.wait_for(lock, std::chrono::milliseconds(5), [this] {
                return terminating_ || !errors_.empty() || suspended_ || !h_.idle();
            });
        }
    }

    bool finalStep;
    {
        std::lock_guard lock(m_);
        finalStep = finalStep_;
    }
    if (finalStep) {
        std::lock_guard cs(cs_);
        try {
            h_.step(true);
        } catch (...) {
        }
    }
}
