#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

/// 0, or the error that kept the bytes from the file.
int WriteError(int fd, const void* data, size_t size);

/// Writes a track's blocks to its file on a thread of its own while the extraction reads on.
/// On an image the rip runs at memory speed and the kernel's page work of the writes is as much
/// as the reading and summing together: on one thread they would add up. The extraction hands
/// over each full block and gets an emptied one back, so no byte is copied for it. Blocks are
/// written in the order they were handed over; after a failed write nothing more is written.
class TTrackWriter {
public:
    explicit TTrackWriter(int fd);
    /// Finishes.
    ~TTrackWriter();
    TTrackWriter(const TTrackWriter&) = delete;
    TTrackWriter& operator=(const TTrackWriter&) = delete;

    /// Queues the first `bytes` bytes of the block and returns a buffer to fill next (one
    /// handed over before, or an empty one). Waits while eight blocks are queued.
    std::vector<char> Hand(std::vector<char> block, size_t bytes);

    /// 0, or the first write's error (it may come a few blocks after the failed one was handed).
    int Error() const { return error_.load(std::memory_order_acquire); }

    /// Waits until every block handed over has been written.
    void Finish();

private:
    void Run();

    const int fd_;
    std::atomic<int> error_{0};
    std::mutex mutex_; // guards everything below but thread_
    std::condition_variable changed_;
    std::deque<std::pair<std::vector<char>, size_t>> queue_;
    std::vector<std::vector<char>> spare_;
    bool finishing_ = false;
    bool producerWaiting_ = false;
    std::thread thread_;
};
