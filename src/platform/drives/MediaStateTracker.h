#pragma once

#include <map>
#include <string>

/// Turns reports about drives' media into arrivals and removals, so that the udev monitor and
/// the fallback poll may both report the same drive without repeating an event.
class MediaStateTracker {
public:
    enum class Change { None, Arrived, Removed, Replaced };

    /// A report that `device` now has (present) or lacks a medium; changed says the report
    /// comes from a media-change event. The first report of a device without `changed` only
    /// records its state; after that a flip of `present` is an arrival or removal, and a change
    /// while a disc stays present is a replaced disc.
    Change Update(const std::string& device, bool present, bool changed);

private:
    std::map<std::string, bool> present_;
};
