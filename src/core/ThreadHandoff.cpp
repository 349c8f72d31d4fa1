#include "core/ThreadHandoff.h"

#include "core/AppEvents.h"

#include <memory>

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

bool InvokeBlocking(QObject* context, const std::function<void()>& fn)
{
    if (context == nullptr)
        return false;
    if (context->thread() == QThread::currentThread()) {
        fn();
        return true;
    }
    bool ran = false;
    QPointer<QObject> guard(context);
    HandoffRelease(&ran);
    QMetaObject::invokeMethod(
        context,
        [&] {
            HandoffAcquire(&ran);
            if (guard) {
                fn();
                ran = true;
            }
            HandoffRelease(&ran);
        },
        Qt::BlockingQueuedConnection);
    HandoffAcquire(&ran);
    return ran;
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
        const int t = event->type();
        if (t >= WM_RIPFAILED && t <= WM_CDDBSTATE)
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
