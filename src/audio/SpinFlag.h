#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

/// The lock a sink's worker holds around each read of its input, and SetInput on another
/// thread takes to swap the input between two reads. Held only for one GetData call, so
/// waiters spin and yield. Waiters are served in arrival order: the worker re-taking it for its
/// next read cannot starve a SetInput that is already waiting.
class TSpinFlag {
public:
    void Lock()
    {
        const uint32_t ticket = next_.fetch_add(1, std::memory_order_relaxed);
        while (serving_.load(std::memory_order_acquire) != ticket)
            std::this_thread::yield();
    }
    void Unlock() { serving_.fetch_add(1, std::memory_order_release); }
    bool IsSet() const
    {
        return next_.load(std::memory_order_acquire) != serving_.load(std::memory_order_acquire);
    }

private:
    std::atomic<uint32_t> next_{0};
    std::atomic<uint32_t> serving_{0};
};

/// Holds a TSpinFlag for a scope, so an exception never leaves it set (which is why nothing
/// ever needs to clear another thread's hold).
class TSpinGuard {
public:
    explicit TSpinGuard(TSpinFlag& flag) : flag_(flag) { flag_.Lock(); }
    ~TSpinGuard() { flag_.Unlock(); }
    TSpinGuard(const TSpinGuard&) = delete;
    TSpinGuard& operator=(const TSpinGuard&) = delete;

private:
    TSpinFlag& flag_;
};
