#include "audio/ACSInput.h"

#include <algorithm>
#include <mutex>

#include "audio/ACSLinks.h"

TACSInput::~TACSInput()
{
    NotifyRemoval();
}

void TACSInput::Reset()
{
    try {
        Flush();
    } catch (...) {
    }
    SetBusy(false);
}

void TACSInput::AddConsumer(IACSInputConsumer* consumer)
{
    std::lock_guard lock(AcsLinkMutex());
    if (std::find(consumers_.begin(), consumers_.end(), consumer) == consumers_.end())
        consumers_.push_back(consumer);
}

void TACSInput::RemoveConsumer(IACSInputConsumer* consumer)
{
    std::lock_guard lock(AcsLinkMutex());
    consumers_.erase(std::remove(consumers_.begin(), consumers_.end(), consumer), consumers_.end());
}

void TACSInput::NotifyRemoval()
{
    // Held across the calls so a consumer cannot be destroyed between being found and told.
    std::lock_guard lock(AcsLinkMutex());
    const std::vector<IACSInputConsumer*> consumers = std::move(consumers_);
    consumers_.clear();
    for (IACSInputConsumer* c : consumers)
        c->InputRemoved(this);
}
