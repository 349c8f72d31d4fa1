#pragma once

#include <functional>

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
inline void HandoffRelease(const void* addr) { __tsan_release(const_cast<void*>(addr)); }
inline void HandoffAcquire(const void* addr) { __tsan_acquire(const_cast<void*>(addr)); }
#else
inline void HandoffRelease(const void*) {}
inline void HandoffAcquire(const void*) {}
#endif

/// Runs fn on context's thread and waits until it has run (directly when already on that
/// thread). Returns false when context is gone and fn did not run. The caller must not be
/// waited for by context's thread, or both block.
bool InvokeBlocking(QObject* context, const std::function<void()>& fn);

/// Queues fn to run on context's thread; dropped if context is destroyed first.
void InvokeQueued(QObject* context, std::function<void()> fn);

/// Makes the program's own events visible to ThreadSanitizer as hand-offs; call once after
/// creating the application object (the program and the test main do).
void InstallHandoffObserver(QCoreApplication* app);
