#include "platform/cdaudio/DoorWorker.h"

#include <cdio/cdio.h>

TDoorWorker::TDoorWorker(DoorCall call) : call_(std::move(call)) {}

TDoorWorker::~TDoorWorker()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void TDoorWorker::Request(std::string device, bool open)
{
    {
        std::lock_guard lock(mutex_);
        queue_.emplace_back(std::move(device), open);
    }
    if (!thread_.joinable())
        thread_ = std::thread([this] { Run(); });
    wake_.notify_one();
}

void TDoorWorker::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_)
            return;
        auto [device, open] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        call_(device, open);
        lock.lock();
    }
}

void TDoorWorker::LibcdioDoor(const std::string& device, bool open)
{
    if (open) {
        cdio_eject_media_drive(device.c_str());
    } else {
        driver_id_t driver = DRIVER_DEVICE;
        cdio_close_tray(device.c_str(), &driver);
    }
}
