#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include <QMetaObject>
#include <QObject>

class QCoreApplication;

// Qt's event queue and blocking calls synchronise inside Qt, which ThreadSanitizer cannot see
// (Qt is not instrumented). These annotations tell it about the hand-offs the program makes, so
// its reports stay about real races. Without ThreadSanitizer they compile to nothing.
#if defined(__SANITIZE_THREAD__)
#define PLATTERLY_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PLATTERLY_TSAN 1
#endif
#endif

#ifdef PLATTERLY_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
inline void HandoffRelease(const void* addr)
{
    __tsan_release(const_cast<void*>(addr));
}
inline void HandoffAcquire(const void* addr)
{
    __tsan_acquire(const_cast<void*>(addr));
}
inline void HandoffUnseenBegin()
{
    __tsan_ignore_thread_begin();
}
inline void HandoffUnseenEnd()
{
    __tsan_ignore_thread_end();
}
#else
inline void HandoffRelease(const void*) {}
inline void HandoffAcquire(const void*) {}
inline void HandoffUnseenBegin() {}
inline void HandoffUnseenEnd() {}
#endif

/// Queues `call` to run on context's thread (dropped if context dies first), as a hand-off
/// ThreadSanitizer sees: what the caller wrote before is visible to the call. The call lives
/// in a box released before the post and acquired before it runs. Qt copies the capture (the
/// box's pointer) into its own event only after the release can be marked, so those few writes
/// are kept from ThreadSanitizer, which would otherwise take the queue for a race.
template <class F> void QueueCall(QObject* context, F call)
{
    auto box = std::make_shared<F>(std::move(call));
    HandoffRelease(box.get());
    struct Unseen {
        Unseen() { HandoffUnseenBegin(); }
        ~Unseen() { HandoffUnseenEnd(); }
        Unseen(const Unseen&) = delete;
        Unseen& operator=(const Unseen&) = delete;
    } unseen;
    QMetaObject::invokeMethod(
        context,
        [box] {
            HandoffAcquire(box.get());
            (*box)();
        },
        Qt::QueuedConnection);
}

struct BlockingCall;

/// Lets the UI thread release a worker that waits in InvokeBlocking for it, so the UI thread
/// may then wait for that worker without both blocking. After Cancel, waiting calls return at
/// once without running, and later calls do not run either, until Rearm.
class TCancelToken {
public:
    void Cancel();
    void Rearm();
    bool Cancelled() const;

private:
    friend bool InvokeBlocking(QObject*, std::function<void()>, TCancelToken*);
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    std::shared_ptr<BlockingCall> waiting_;
};

/// Runs fn on context's thread and waits until it has run (directly when already on that
/// thread). Returns false when context is gone, or the token was cancelled, and fn did not
/// run. Without a token the caller must never be waited for by context's thread.
bool InvokeBlocking(QObject* context, std::function<void()> fn, TCancelToken* cancel = nullptr);

/// Queues fn to run on context's thread; dropped if context is destroyed first.
void InvokeQueued(QObject* context, std::function<void()> fn);

/// Makes the program's own events visible to ThreadSanitizer as hand-offs; call once after
/// creating the application object (the program and the test main do).
void InstallHandoffObserver(QCoreApplication* app);
