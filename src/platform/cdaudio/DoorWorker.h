#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

/// Carries out door requests one after the other on its own thread, so a tray that takes
/// seconds to move never holds up the window. Results are ignored, as nobody is told about
/// them. Destroying the worker waits for the request in progress and drops queued ones.
class TDoorWorker {
public:
    /// Moves the tray of a device node; the default asks libcdio.
    using DoorCall = std::function<void(const std::string& device, bool open)>;

    explicit TDoorWorker(DoorCall call = LibcdioDoor);
    ~TDoorWorker();
    TDoorWorker(const TDoorWorker&) = delete;
    TDoorWorker& operator=(const TDoorWorker&) = delete;

    /// Queues a request and returns at once.
    void Request(std::string device, bool open);

    static void LibcdioDoor(const std::string& device, bool open);

private:
    void Run();

    const DoorCall call_;
    std::mutex mutex_; // guards queue_ and quit_
    std::condition_variable wake_;
    std::deque<std::pair<std::string, bool>> queue_;
    bool quit_ = false;
    std::thread thread_; // started by the first request; touched by the owner's thread only
};
