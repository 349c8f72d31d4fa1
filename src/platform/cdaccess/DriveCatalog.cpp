#include "platform/cdaccess/DriveCatalog.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>

#include "platform/cdaccess/CdioUtil.h"

namespace {

constexpr uint8_t kDeviceAdapter = 0;
constexpr uint8_t kImageAdapter = 1;

bool HasExtension(const std::string& name, const char* ext)
{
    const size_t n = std::char_traits<char>::length(ext);
    if (name.size() <= n)
        return false;
    return std::equal(name.end() - long(n), name.end(), ext, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

std::string StemOf(const std::string& path)
{
    std::string name = path.substr(path.find_last_of('/') + 1);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::atomic<bool> g_systemDrivesListed{true};

std::vector<std::string> SortedDevices()
{
    std::vector<std::string> out;
    if (!g_systemDrivesListed.load())
        return out;
    SilenceCdioLog();
    // NULL, not an empty list, when the machine has no drive.
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    if (devices == nullptr)
        return out;
    // /dev/cdrom and /dev/sr0 are one drive: list each by its real node.
    for (char** d = devices; *d != nullptr; ++d) {
        std::error_code ec;
        const auto real = std::filesystem::canonical(*d, ec);
        out.push_back(ec ? std::string(*d) : real.string());
    }
    cdio_free_device_list(devices);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool ImageUsable(const DriveSource& source)
{
    const CdioPtr cdio = OpenCdio(source);
    TocRecord toc;
    return cdio && FillToc(cdio.get(), true, toc);
}

/// Copies text into a fixed NUL-terminated field, cutting at a UTF-8 character boundary.
template <size_t N> void CopyField(std::array<char, N>& field, const std::string& text)
{
    field.fill('\0');
    size_t n = std::min(text.size(), N - 1);
    // Do not split a UTF-8 sequence: back up over continuation bytes.
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::copy_n(text.begin(), n, field.begin());
}
} // namespace

bool IsImageFileName(const std::string& path)
{
    const std::string name = path.substr(path.find_last_of('/') + 1);
    return HasExtension(name, ".cue") || HasExtension(name, ".toc");
}

void SetSystemDrivesListedForTests(bool listed)
{
    g_systemDrivesListed.store(listed);
}

std::string DriveSource::DataPath() const
{
    if (kind != Kind::CueImage)
        return {};
    const size_t dot = path.find_last_of('.');
    return path.substr(0, dot) + ".bin";
}

std::vector<std::string> ListImageFiles(const std::string& discsDir)
{
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(discsDir, ec);
    if (ec)
        return names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const std::string name = it->path().filename().string();
        if (!HasExtension(name, ".cue") && !HasExtension(name, ".toc"))
            continue;
        std::error_code typeEc;
        if (!std::filesystem::is_regular_file(it->path(), typeEc))
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<DriveCatalog::Drive> DriveCatalog::List(const std::string& discsDir)
{
    std::vector<Drive> drives;
    // One image named instead of a folder (a command line's device) is the only drive: no
    // system drive to probe, and no sibling image to crowd it out of the list.
    const bool single = IsImageFileName(discsDir);
    for (const std::string& node : single ? std::vector<std::string>{} : SortedDevices()) {
        if (drives.size() >= size_t(kDriveListCapacity))
            return drives;
        Drive d{{DriveSource::Kind::Device, node}, {}};
        const uint16_t id = IdFor(d.source);
        if (id == 0)
            continue;
        d.entry.HostAdapter = kDeviceAdapter;
        d.entry.Target = uint8_t(id >> 8);
        d.entry.Lun = uint8_t(id & 0xff);
        cdio_hwinfo_t hw{};
        const CdioPtr cdio = OpenCdio(d.source);
        if (cdio && cdio_get_hwinfo(cdio.get(), &hw)) {
            CopyField(d.entry.Vendor, hw.psz_vendor);
            CopyField(d.entry.Product, hw.psz_model);
        } else {
            CopyField(d.entry.Product, node.substr(node.find_last_of('/') + 1));
        }
        drives.push_back(d);
    }
    std::string dir = discsDir.empty() || discsDir.back() == '/' ? discsDir : discsDir + "/";
    std::vector<std::string> images;
    if (single) {
        const size_t slash = discsDir.find_last_of('/');
        dir = slash == std::string::npos ? std::string("./") : discsDir.substr(0, slash + 1);
        std::error_code ec;
        if (std::filesystem::is_regular_file(discsDir, ec))
            images.push_back(discsDir.substr(slash == std::string::npos ? 0 : slash + 1));
    } else {
        images = ListImageFiles(dir);
    }
    for (const std::string& name : images) {
        if (drives.size() >= size_t(kDriveListCapacity))
            break;
        const auto kind =
            HasExtension(name, ".toc") ? DriveSource::Kind::TocImage : DriveSource::Kind::CueImage;
        Drive d{{kind, dir + name}, {}};
        if (!ImageUsable(d.source))
            continue;
        const uint16_t id = IdFor(d.source);
        if (id == 0)
            continue;
        d.entry.HostAdapter = kImageAdapter;
        d.entry.Target = uint8_t(id >> 8);
        d.entry.Lun = uint8_t(id & 0xff);
        // "Image " + product reads as "Image Platterly Demo" in the drive name.
        CopyField(d.entry.Vendor, "Image ");
        CopyField(d.entry.Product, StemOf(name));
        drives.push_back(d);
    }
    return drives;
}

std::optional<DriveSource> DriveCatalog::Find(uint8_t hostAdapter, uint8_t target,
                                              uint8_t lun) const
{
    std::lock_guard lock(mutex_);
    const size_t id = (size_t(target) << 8) | lun;
    if (id == 0 || id > ids_.size())
        return std::nullopt;
    const DriveSource& s = ids_[id - 1];
    if ((hostAdapter == kImageAdapter) != s.IsImage())
        return std::nullopt;
    return s;
}

uint16_t DriveCatalog::IdFor(const DriveSource& source)
{
    std::lock_guard lock(mutex_);
    const auto it = std::find(ids_.begin(), ids_.end(), source);
    if (it != ids_.end())
        return uint16_t(it - ids_.begin() + 1);
    if (ids_.size() >= 0xffff)
        return 0;
    ids_.push_back(source);
    return uint16_t(ids_.size());
}
