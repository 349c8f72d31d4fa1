#include "audio/ACSLinks.h"

#include "audio/ACSInput.h"

std::recursive_mutex& AcsLinkMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

void SwapInput(std::atomic<TACSInput*>& slot, TSpinFlag& lock, TACSInput* value, bool busy,
               IACSInputConsumer* self)
{
    std::lock_guard links(AcsLinkMutex());
    TACSInput* old = slot.load();
    if (old == value)
        return;
    if (!busy) {
        TSpinGuard guard(lock);
        slot.store(value);
    } else {
        if (value)
            value->Init();
        {
            TSpinGuard guard(lock);
            slot.store(value);
        }
    }
    if (old)
        old->RemoveConsumer(self);
    if (value)
        value->AddConsumer(self);
    if (busy && old)
        old->Flush();
}

void DropInput(std::atomic<TACSInput*>& slot, TSpinFlag& lock, TACSInput* input)
{
    TSpinGuard guard(lock);
    if (slot.load() == input)
        slot.store(nullptr);
}

void ReleaseInput(std::atomic<TACSInput*>& slot, IACSInputConsumer* self)
{
    std::lock_guard links(AcsLinkMutex());
    if (TACSInput* old = slot.exchange(nullptr))
        old->RemoveConsumer(self);
}
