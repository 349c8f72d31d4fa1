#include "core/ThreadHandoff.h"

#include "core/AppEvents.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

/// One blocking call: the caller waits until it finished (ran, or was dropped unrun by Qt
/// because its context died) or was cancelled.
struct BlockingCall {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool cancelled = false;
    bool ran = false;
};

namespace {

/// Destroyed with the queued functor, whether it ran or not: wakes the caller.
struct Completion {
    explicit Completion(std::shared_ptr<BlockingCall> c) : call(std::move(c)) {}
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;
    std::shared_ptr<BlockingCall> call;
    ~Completion()
    {
        {
            std::lock_guard lock(call->mutex);
            call->finished = true;
        }
        call->done.notify_all();
    }
};

} // namespace

void TCancelToken::Cancel()
{
    std::shared_ptr<BlockingCall> call;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        call = waiting_;
    }
    if (call) {
        {
            std::lock_guard lock(call->mutex);
            call->cancelled = true;
        }
        call->done.notify_all();
    }
}

void TCancelToken::Rearm()
{
    std::lock_guard lock(mutex_);
    cancelled_ = false;
}

bool TCancelToken::Cancelled() const
{
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool InvokeBlocking(QObject* context, std::function<void()> fn, TCancelToken* cancel)
{
    if (context == nullptr)
        return false;
    if (context->thread() == QThread::currentThread()) {
        if (cancel != nullptr && cancel->Cancelled())
            return false;
        fn();
        return true;
    }
    // The wait uses a mutex and condition variable rather than Qt's blocking connection, whose
    // semaphore ThreadSanitizer cannot see, and which nobody could cancel.
    auto call = std::make_shared<BlockingCall>();
    if (cancel != nullptr) {
        std::lock_guard lock(cancel->mutex_);
        if (cancel->cancelled_)
            return false;
        cancel->waiting_ = call;
    }
    auto completion = std::make_shared<Completion>(call);
    QPointer<QObject> guard(context);
    // The functor owns fn: after a cancel the caller is gone, but Qt may still run or drop it.
    QueueCall(context, [completion, guard, task = std::move(fn)] {
        BlockingCall& c = *completion->call;
        {
            std::lock_guard lock(c.mutex);
            if (c.cancelled || !guard)
                return;
        }
        task();
        std::lock_guard lock(c.mutex);
        c.ran = true;
    });
    completion.reset();
    bool ran = false;
    {
        std::unique_lock lock(call->mutex);
        call->done.wait(lock, [&] { return call->finished || call->cancelled; });
        ran = call->ran;
    }
    if (cancel != nullptr) {
        std::lock_guard lock(cancel->mutex_);
        if (cancel->waiting_ == call)
            cancel->waiting_.reset();
    }
    return ran;
}

void InvokeQueued(QObject* context, std::function<void()> fn)
{
    if (context == nullptr)
        return;
    QueueCall(context, std::move(fn));
}

namespace {

/// Sees every event the main thread delivers; the program's own events were released by
/// their sender (PostAppEvent, SendAppEvent) and are acquired here before any handler runs.
class HandoffObserver : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Acquire before reading anything of the event: even its type was written by the
        // sender's thread. Acquiring an address nobody released costs nothing.
        HandoffAcquire(event);
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void InstallHandoffObserver(QCoreApplication* app)
{
    if (app != nullptr)
        app->installEventFilter(new HandoffObserver(app));
}
