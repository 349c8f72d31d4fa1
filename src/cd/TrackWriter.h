#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "verify/AccurateRip.h"

/// 0, or the error that kept the bytes from the file.
int WriteError(int fd, const void* data, size_t size);

/// Writes a track's blocks to its file on a thread of its own, summing each block first when
/// asked, while the extraction reads on. On an image the rip runs at memory speed: the reading
/// thread only reads and gathers, and each block crosses to the writing thread once, where the
/// sums and the write both find it in the cache. The extraction hands over each full block and
/// gets an emptied one back, so no byte is copied for it. Blocks are written in the order they
/// were handed over; after a failed write nothing more is written. The sums belong to the
/// writing thread until Finish() returns.
class TTrackWriter {
public:
    /// sums may be null: the blocks are only written.
    TTrackWriter(int fd, TTrackChecksums* sums);
    /// Finishes.
    ~TTrackWriter();
    TTrackWriter(const TTrackWriter&) = delete;
    TTrackWriter& operator=(const TTrackWriter&) = delete;

    /// Queues the block (the sums take its bytes from `from` on) and returns an empty buffer
    /// to fill next. Waits while eight blocks are queued.
    std::vector<char> Hand(std::vector<char> block, size_t from);

    /// 0, or the first write's error (it may come a few blocks after the failed one was handed).
    int Error() const { return error_.load(std::memory_order_acquire); }

    /// Waits until every block handed over has been summed and written.
    void Finish();

private:
    void Run();

    const int fd_;
    TTrackChecksums* const sums_;
    std::atomic<int> error_{0};
    std::mutex mutex_; // guards everything below but thread_
    std::condition_variable changed_;
    std::deque<std::pair<std::vector<char>, size_t>> queue_;
    std::vector<std::vector<char>> spare_;
    bool finishing_ = false;
    bool producerWaiting_ = false;
    std::thread thread_;
};
