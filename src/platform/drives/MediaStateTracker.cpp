#include "platform/drives/MediaStateTracker.h"

MediaStateTracker::Change MediaStateTracker::Update(const std::string& device, bool present,
                                                    bool changed)
{
    const auto it = present_.find(device);
    if (it == present_.end()) {
        present_[device] = present;
        if (!changed)
            return Change::None;
        return present ? Change::Arrived : Change::Removed;
    }
    const bool was = it->second;
    it->second = present;
    if (was != present)
        return present ? Change::Arrived : Change::Removed;
    if (changed && present)
        return Change::Replaced;
    return Change::None;
}
