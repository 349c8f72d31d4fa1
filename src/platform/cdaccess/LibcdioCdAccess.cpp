#include "platform/cdaccess/LibcdioCdAccess.h"

#include <QFile>

#include <optional>

#include "core/AppPaths.h"
#include "platform/cdaccess/CdioUtil.h"

/// One open handle. Everything below is guarded by `lock`, held for the whole of each
/// operation, because the UI thread and one worker use the same handle.
struct LibcdioCdAccess::OpenDrive {
    std::mutex lock;
    DriveSource source;
    HandleRequest request; // what opened it, to open the same drive again
    CdioPtr cdio;          // null after the medium vanished; ReadTOC reopens
    bool msfForm = false;
    int32_t leadOutLsn = -1; // of the disc last opened
    // Images: the sheet and its data files as opened, to see them vanish or be replaced.
    std::vector<std::pair<std::string, std::optional<FileStamp>>> files;
    bool closed = false;

    /// Images: whether the files are still there (a vanished image fails its operations).
    bool ImagePresent() const
    {
        for (const auto& [path, stamp] : files) {
            if (stamp && !FileStamp::Of(path))
                return false;
        }
        return true;
    }

    bool ImageReplaced() const
    {
        for (const auto& [path, stamp] : files) {
            if (FileStamp::Of(path) != stamp)
                return true;
        }
        return false;
    }

    bool Reopen()
    {
        cdio.reset();
        leadOutLsn = -1;
        files.clear();
        std::vector<std::string> dataFiles;
        cdio = OpenCdio(source, &dataFiles);
        if (!cdio)
            return false;
        if (source.IsImage()) {
            files.emplace_back(source.path, FileStamp::Of(source.path));
            for (const std::string& f : dataFiles)
                files.emplace_back(f, FileStamp::Of(f));
        }
        leadOutLsn = LeadOutLsn(cdio.get()).value_or(-1);
        return true;
    }
};

LibcdioCdAccess::LibcdioCdAccess(std::string discsDir) : discsDir_(std::move(discsDir))
{
    SilenceCdioLog();
}

LibcdioCdAccess::~LibcdioCdAccess() = default;

std::string LibcdioCdAccess::DiscsDir() const
{
    if (!discsDir_.empty())
        return discsDir_;
    return QFile::encodeName(ProgramDir() + QStringLiteral("discs")).toStdString();
}

std::shared_ptr<LibcdioCdAccess::OpenDrive> LibcdioCdAccess::Slot(int handle) const
{
    if (handle < 1 || handle > kMaxHandles)
        return nullptr;
    std::lock_guard lock(tableMutex_);
    return slots_[size_t(handle - 1)];
}

int LibcdioCdAccess::Fail(int code)
{
    lastError_.store(code, std::memory_order_relaxed);
    return 0;
}

int LibcdioCdAccess::GetCDList(DriveList& list)
{
    const uint8_t capacity = std::min<uint8_t>(list.Capacity, uint8_t(kDriveListCapacity));
    list.Count = 0;
    for (const auto& d : catalog_.List(DiscsDir())) {
        if (list.Count >= capacity)
            break;
        list.Entries[list.Count++] = d.entry;
    }
    return 1;
}

int LibcdioCdAccess::GetCDHandle(const HandleRequest& request)
{
    const auto source = catalog_.Find(request.HostAdapter, request.Target, request.Lun);
    if (!source)
        return Fail(CdAccessError::UnknownDrive);
    auto drive = std::make_shared<OpenDrive>();
    drive->source = *source;
    drive->request = request;
    if (!drive->Reopen())
        return Fail(CdAccessError::OpenFailed);
    std::lock_guard lock(tableMutex_);
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (!slots_[i]) {
            slots_[i] = std::move(drive);
            return int(i) + 1;
        }
    }
    return Fail(CdAccessError::NoFreeHandle);
}

int LibcdioCdAccess::CloseCDHandle(int handle)
{
    std::shared_ptr<OpenDrive> drive;
    {
        std::lock_guard lock(tableMutex_);
        if (handle < 1 || handle > kMaxHandles || !slots_[size_t(handle - 1)])
            return Fail(CdAccessError::BadHandle);
        drive = std::move(slots_[size_t(handle - 1)]);
    }
    // Wait for an operation in progress on another thread, then release the drive.
    std::lock_guard lock(drive->lock);
    drive->cdio.reset();
    drive->closed = true;
    return 1;
}

int LibcdioCdAccess::ModifyCDParms(int handle, int parameter, int value)
{
    const auto drive = Slot(handle);
    if (!drive)
        return Fail(CdAccessError::BadHandle);
    if (parameter != kCdpMsf || (value != 0 && value != 1))
        return Fail(CdAccessError::BadParameter);
    std::lock_guard lock(drive->lock);
    if (drive->closed)
        return Fail(CdAccessError::BadHandle);
    drive->msfForm = value == 1;
    return 1;
}

int LibcdioCdAccess::ReadTOC(int handle, TocRecord& toc)
{
    toc = TocRecord{};
    const auto drive = Slot(handle);
    if (!drive)
        return Fail(CdAccessError::BadHandle);
    std::lock_guard lock(drive->lock);
    if (drive->closed)
        return Fail(CdAccessError::BadHandle);
    if (!drive->ImagePresent()) {
        drive->cdio.reset();
        return Fail(CdAccessError::MediumGone);
    }
    // libcdio keeps the TOC it read when opening, so a real drive is reopened for every read
    // of the TOC (the disc may have changed) and an image when its files were replaced.
    const bool reopen = !drive->cdio || !drive->source.IsImage() || drive->ImageReplaced();
    if (reopen && !drive->Reopen())
        return Fail(CdAccessError::OpenFailed);
    if (!FillToc(drive->cdio.get(), drive->msfForm, toc, &drive->leadOutLsn))
        return Fail(CdAccessError::TocFailed);
    return 1;
}

int LibcdioCdAccess::ReadCDAudioLBA(int handle, AudioReadBuffer& buffer)
{
    buffer.BytesReturned = 0;
    buffer.Offset = 0;
    const auto drive = Slot(handle);
    if (!drive)
        return Fail(CdAccessError::BadHandle);
    const uint64_t bytes = uint64_t(buffer.SectorCount) * kCdSectorBytes;
    if (buffer.SectorCount == 0 || bytes > buffer.Capacity || buffer.Capacity > buffer.Data.size())
        return Fail(CdAccessError::BadParameter);
    std::lock_guard lock(drive->lock);
    if (drive->closed)
        return Fail(CdAccessError::BadHandle);
    // libcdio opens an image's data file by name at its first read: a file replaced since the
    // open (by a link out of the folder, say) is another disc, to be checked by the next TOC
    // read, never read here.
    // (A vanished file is a replaced one too: one look at each file per read.)
    if (!drive->cdio || drive->ImageReplaced()) {
        drive->cdio.reset();
        return Fail(CdAccessError::MediumGone);
    }
    // libcdio reads past the end of an image without complaint; the lead-out is the limit.
    if (drive->leadOutLsn < 0 ||
        uint64_t(buffer.StartSector) + buffer.SectorCount > uint64_t(drive->leadOutLsn))
        return Fail(CdAccessError::BadParameter);
    if (cdio_read_audio_sectors(drive->cdio.get(), buffer.Data.data(), lsn_t(buffer.StartSector),
                                buffer.SectorCount) != DRIVER_OP_SUCCESS)
        return Fail(CdAccessError::ReadFailed);
    buffer.BytesReturned = uint32_t(bytes);
    buffer.Offset = 0;
    return 1;
}

int LibcdioCdAccess::GetAspiLibError()
{
    return lastError_.load(std::memory_order_relaxed);
}

int LibcdioCdAccess::ReadDiscTOC(const DriveEntry& drive, TocRecord& toc)
{
    toc = TocRecord{};
    const auto source = catalog_.Find(drive.HostAdapter, drive.Target, drive.Lun);
    if (!source)
        return Fail(CdAccessError::UnknownDrive);
    const CdioPtr cdio = OpenCdio(*source);
    if (!cdio)
        return Fail(CdAccessError::OpenFailed);
    if (!FillToc(cdio.get(), true, toc))
        return Fail(CdAccessError::TocFailed);
    return 1;
}

int LibcdioCdAccess::PollMedia(int handle, MediaPoll& poll)
{
    poll = MediaPoll{};
    const auto drive = Slot(handle);
    if (!drive)
        return Fail(CdAccessError::BadHandle);
    std::lock_guard lock(drive->lock);
    if (drive->closed || drive->source.IsImage())
        return 0;
    if (!drive->cdio && !drive->Reopen())
        return Fail(CdAccessError::OpenFailed);
    poll.Device = drive->source.path;
    const int changed = cdio_get_media_changed(drive->cdio.get());
    poll.Changed = changed == 1;
    const discmode_t mode = cdio_get_discmode(drive->cdio.get());
    poll.Present = mode != CDIO_DISC_MODE_NO_INFO && mode != CDIO_DISC_MODE_ERROR;
    return 1;
}

std::string LibcdioCdAccess::DrivePath(const DriveEntry& drive)
{
    const auto source = catalog_.Find(drive.HostAdapter, drive.Target, drive.Lun);
    return source ? source->path : std::string();
}

int LibcdioCdAccess::HandleDrive(int handle, HandleRequest& request, std::string& device)
{
    device.clear();
    const auto drive = Slot(handle);
    if (!drive)
        return Fail(CdAccessError::BadHandle);
    std::lock_guard lock(drive->lock);
    if (drive->closed)
        return Fail(CdAccessError::BadHandle);
    request = drive->request;
    if (!drive->source.IsImage())
        device = drive->source.path;
    return 1;
}
