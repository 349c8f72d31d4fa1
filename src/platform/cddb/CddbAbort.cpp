#include "platform/cddb/CddbAbort.h"

#include "core/ThreadHandoff.h"

void TCddbAbort::Abort()
{
    std::lock_guard lock(mutex_);
    aborted_.store(true, std::memory_order_release);
    // Under the lock: the waiting call cannot unwatch and destroy context meanwhile.
    if (context_ != nullptr)
        InvokeQueued(context_, onAbort_);
}

void TCddbAbort::Watch(QObject* context, std::function<void()> onAbort)
{
    std::lock_guard lock(mutex_);
    context_ = context;
    onAbort_ = std::move(onAbort);
    if (Aborted() && context_ != nullptr)
        InvokeQueued(context_, onAbort_);
}

void TCddbAbort::Unwatch()
{
    std::lock_guard lock(mutex_);
    context_ = nullptr;
    onAbort_ = nullptr;
}
