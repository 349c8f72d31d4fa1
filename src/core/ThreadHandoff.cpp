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

namespace {

/// Wakes the waiting caller when the queued call has run, or when Qt drops it unrun (its
/// context died first): the call's functor, and this with it, is destroyed either way.
struct BlockingCall {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool ran = false;
};

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

bool InvokeBlocking(QObject* context, const std::function<void()>& fn)
{
    if (context == nullptr)
        return false;
    if (context->thread() == QThread::currentThread()) {
        fn();
        return true;
    }
    // The wait uses a mutex and condition variable rather than Qt's blocking connection, whose
    // semaphore ThreadSanitizer cannot see.
    auto call = std::make_shared<BlockingCall>();
    auto completion = std::make_shared<Completion>(call);
    QPointer<QObject> guard(context);
    const std::function<void()>* task = &fn;
    QMetaObject::invokeMethod(
        context,
        [completion, guard, task] {
            if (guard) {
                (*task)();
                std::lock_guard lock(completion->call->mutex);
                completion->call->ran = true;
            }
        },
        Qt::QueuedConnection);
    completion.reset();
    std::unique_lock lock(call->mutex);
    call->done.wait(lock, [&] { return call->finished; });
    return call->ran;
}

void InvokeQueued(QObject* context, std::function<void()> fn)
{
    if (context == nullptr)
        return;
    // Shared, so the task is freed also when context dies before it runs.
    auto task = std::make_shared<std::function<void()>>(std::move(fn));
    HandoffRelease(task.get());
    QMetaObject::invokeMethod(
        context,
        [task] {
            HandoffAcquire(task.get());
            (*task)();
        },
        Qt::QueuedConnection);
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
