#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaccess/DriveCatalog.h"

/// The CD-access layer over libcdio. Drives are the system's CD drives, then the images in the
/// program folder's "discs"; a handle is a slot of a small table and stays bound to its drive
/// or image whatever happens to the list.
class LibcdioCdAccess : public ICdAccess {
public:
    /// Handles are 1..kMaxHandles; GetCDHandle fails once all are taken.
    static constexpr int kMaxHandles = 10;

    /// discsDir: the image folder; empty means ProgramDir() + "discs", looked up on each list.
    /// A .cue or .toc in its place makes that image the only drive.
    explicit LibcdioCdAccess(std::string discsDir = {});
    ~LibcdioCdAccess() override;
    LibcdioCdAccess(const LibcdioCdAccess&) = delete;
    LibcdioCdAccess& operator=(const LibcdioCdAccess&) = delete;

    int GetCDList(DriveList& list) override;
    int GetCDHandle(const HandleRequest& request) override;
    int CloseCDHandle(int handle) override;
    int ModifyCDParms(int handle, int parameter, int value) override;
    int ReadTOC(int handle, TocRecord& toc) override;
    int ReadCDAudioLBA(int handle, AudioReadBuffer& buffer) override;
    int GetAspiLibError() override;
    int ReadDiscTOC(const DriveEntry& drive, TocRecord& toc) override;
    int PollMedia(int handle, MediaPoll& poll) override;
    int HandleDrive(int handle, HandleRequest& request, std::string& device) override;
    std::string DrivePath(const DriveEntry& drive) override;

private:
    struct OpenDrive;

    std::string DiscsDir() const;
    std::shared_ptr<OpenDrive> Slot(int handle) const;
    int Fail(int code);

    std::string discsDir_;
    DriveCatalog catalog_;
    mutable std::mutex tableMutex_; // guards slots_ only; each drive has its own lock
    std::array<std::shared_ptr<OpenDrive>, kMaxHandles> slots_;
    std::atomic<int> lastError_{0};
};
