#include "cd/ChecksumFeed.h"

namespace {

constexpr size_t kQueued = 8;
/// The summing thread is woken once this many blocks wait, not for each: a wake-up costs both
/// threads a few microseconds, which over a disc's 3000 blocks is a visible share of a rip
/// that runs at memory speed.
constexpr size_t kWakeAt = 4;

} // namespace

TChecksumFeed::TChecksumFeed(TTrackChecksums& sums) : sums_(sums)
{
    // Returning a block to the spares must not allocate on the summing thread.
    spare_.reserve(kQueued + 2);
    thread_ = std::thread([this] { Run(); });
}

TChecksumFeed::~TChecksumFeed()
{
    Finish();
}

std::vector<char> TChecksumFeed::Hand(std::vector<char> block, size_t from)
{
    std::unique_lock lock(mutex_);
    if (queue_.size() >= kQueued) {
        producerWaiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return queue_.size() < kQueued; });
        producerWaiting_ = false;
    }
    queue_.emplace_back(std::move(block), from);
    if (queue_.size() >= kWakeAt)
        changed_.notify_all();
    std::vector<char> next;
    if (!spare_.empty()) {
        next = std::move(spare_.back());
        spare_.pop_back();
        next.clear();
    }
    return next;
}

void TChecksumFeed::Finish()
{
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void TChecksumFeed::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || finishing_; });
        if (queue_.empty())
            return;
        auto [block, from] = std::move(queue_.front());
        queue_.pop_front();
        if (producerWaiting_)
            changed_.notify_all();
        lock.unlock();
        if (from < block.size())
            sums_.Add(reinterpret_cast<const uint8_t*>(block.data()) + from, block.size() - from);
        lock.lock();
        if (spare_.size() < spare_.capacity())
            spare_.push_back(std::move(block));
    }
}
