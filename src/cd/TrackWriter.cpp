#include "cd/TrackWriter.h"

#include <algorithm>
#include <cerrno>

#include "core/FileUtil.h"

namespace {

constexpr size_t kQueued = 8;
/// The writing thread is woken once this many blocks wait, not for each: a wake-up costs both
/// threads a few microseconds, which over a disc's 3000 blocks is a visible share of a rip
/// that runs at memory speed.
constexpr size_t kWakeAt = 4;

} // namespace

int WriteError(int fd, const void* data, size_t size)
{
    return WriteAllBytes(fd, data, size) ? 0 : (errno != 0 ? errno : EIO);
}

TTrackWriter::TTrackWriter(int fd) : fd_(fd)
{
    // Returning a block to the spares must not allocate on the writing thread.
    spare_.reserve(kQueued + 2);
    thread_ = std::thread([this] { Run(); });
}

TTrackWriter::~TTrackWriter()
{
    Finish();
}

std::vector<char> TTrackWriter::Hand(std::vector<char> block, size_t bytes)
{
    std::unique_lock lock(mutex_);
    if (queue_.size() >= kQueued) {
        producerWaiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return queue_.size() < kQueued; });
        producerWaiting_ = false;
    }
    queue_.emplace_back(std::move(block), bytes);
    if (queue_.size() >= kWakeAt)
        changed_.notify_all();
    std::vector<char> next;
    if (!spare_.empty()) {
        next = std::move(spare_.back());
        spare_.pop_back();
    }
    return next;
}

void TTrackWriter::Finish()
{
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void TTrackWriter::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || finishing_; });
        if (queue_.empty())
            return;
        auto [block, bytes] = std::move(queue_.front());
        queue_.pop_front();
        if (producerWaiting_)
            changed_.notify_all();
        lock.unlock();
        bytes = std::min(bytes, block.size());
        if (error_.load(std::memory_order_relaxed) == 0 && bytes > 0) {
            if (const int e = WriteError(fd_, block.data(), bytes); e != 0)
                error_.store(e, std::memory_order_release);
        }
        lock.lock();
        if (spare_.size() < spare_.capacity())
            spare_.push_back(std::move(block));
    }
}
