#include "encoders/EncodeInvocation.h"

#include <condition_variable>
#include <exception>

#include <QMetaObject>

#include "core/ThreadHandoff.h"

namespace {

// Signalled when the request has run or its queued call was destroyed unrun.
struct TCompletion {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::string error;

    void Finish()
    {
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_all();
    }
    void Wait()
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return done; });
    }
};

// Lives inside the queued call; its end (after running, or when Qt drops the call because the
// runner is being destroyed) releases the waiting watcher.
struct TCompletionToken {
    explicit TCompletionToken(std::shared_ptr<TCompletion> c) : completion(std::move(c)) {}
    ~TCompletionToken() { completion->Finish(); }
    TCompletionToken(const TCompletionToken&) = delete;
    TCompletionToken& operator=(const TCompletionToken&) = delete;
    std::shared_ptr<TCompletion> completion;
};

} // namespace

void TEncodeInvocation::Attach(IEncodeRequestHandler* runner)
{
    QObject* const context = runner != nullptr ? runner->RequestContext() : nullptr;
    std::lock_guard lock(mutex_);
    runner_ = runner;
    context_ = context;
}

void TEncodeInvocation::Detach()
{
    StopRequested.store(true);
    std::lock_guard lock(mutex_);
    runner_ = nullptr;
    context_ = nullptr;
}

bool TEncodeInvocation::RunOnRunner(TEncodeRequest request, uint32_t count)
{
    auto completion = std::make_shared<TCompletion>();
    {
        std::lock_guard lock(mutex_);
        if (runner_ == nullptr || context_ == nullptr || StopRequested.load())
            return false;
        auto token = std::make_shared<TCompletionToken>(completion);
        IEncodeRequestHandler* runner = runner_;
        std::weak_ptr<TEncodeInvocation> self = weak_from_this();
        // Posted while holding the lock, so Detach (and so the runner's destructor) cannot
        // pass between the check above and the post; Qt drops calls queued to a destroyed
        // object, which ends the token and frees us.
        QueueCall(context_, [runner, self, token, request, count] {
            const std::shared_ptr<TEncodeInvocation> inv = self.lock();
            if (!inv)
                return;
            try {
                runner->HandleRequest(inv, request, count);
            } catch (const std::exception& e) {
                token->completion->error = e.what();
                if (token->completion->error.empty())
                    token->completion->error = "error";
            } catch (...) {
                token->completion->error = "unknown error";
            }
        });
    }
    completion->Wait();
    if (!completion->error.empty()) {
        std::lock_guard lock(mutex_);
        watcherError_ = completion->error;
        return false;
    }
    return !StopRequested.load();
}

std::string TEncodeInvocation::WatcherError() const
{
    std::lock_guard lock(mutex_);
    return watcherError_;
}
