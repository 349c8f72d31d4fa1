#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "verify/AccurateRip.h"

/// Sums a track on a thread of its own while the extraction goes on reading and writing: on an
/// image the rip runs at memory speed, and summing in line would slow it by half. The
/// extraction hands over each block once written and gets an emptied one back, so no byte is
/// copied for it. The sums belong to the feed's thread until Finish() returns.
class TChecksumFeed {
public:
    explicit TChecksumFeed(TTrackChecksums& sums);
    /// Finishes.
    ~TChecksumFeed();
    TChecksumFeed(const TChecksumFeed&) = delete;
    TChecksumFeed& operator=(const TChecksumFeed&) = delete;

    /// Queues the block's bytes from `from` on and returns an empty buffer to fill next. Waits
    /// while eight blocks are queued: enough to ride out the summing thread's waits for a core.
    std::vector<char> Hand(std::vector<char> block, size_t from);

    /// Waits until every block handed over has been summed.
    void Finish();

private:
    void Run();

    TTrackChecksums& sums_;
    std::mutex mutex_; // guards everything below but thread_
    std::condition_variable changed_;
    std::deque<std::pair<std::vector<char>, size_t>> queue_;
    std::vector<std::vector<char>> spare_;
    bool finishing_ = false;
    bool producerWaiting_ = false;
    std::thread thread_;
};
