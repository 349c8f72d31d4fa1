#pragma once

#include <atomic>
#include <thread>

/// A boolean used as a short-held lock between a sink's worker (around each read of its input)
/// and SetInput on another thread. Held only for one GetData call, so waiters spin and yield.
class TSpinFlag {
public:
    void Lock()
    {
        while (flag_.exchange(true, std::memory_order_acquire)) {
            while (flag_.load(std::memory_order_relaxed))
                std::this_thread::yield();
        }
    }
    void Unlock() { flag_.store(false, std::memory_order_release); }
    bool IsSet() const { return flag_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> flag_{false};
};

/// Holds a TSpinFlag for a scope, so an exception never leaves it set.
class TSpinGuard {
public:
    explicit TSpinGuard(TSpinFlag& flag) : flag_(flag) { flag_.Lock(); }
    ~TSpinGuard() { flag_.Unlock(); }
    TSpinGuard(const TSpinGuard&) = delete;
    TSpinGuard& operator=(const TSpinGuard&) = delete;

private:
    TSpinFlag& flag_;
};
