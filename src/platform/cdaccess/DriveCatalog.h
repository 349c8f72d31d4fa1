#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cdaccess/CdAccessTypes.h"

/// What a drive of the list is: a system CD drive or a disc image in the discs folder.
struct DriveSource {
    enum class Kind : uint8_t { Device = 0, CueImage = 1, TocImage = 2 };
    Kind kind = Kind::Device;
    std::string path; ///< device node, or the image's .cue / .toc

    bool IsImage() const { return kind != Kind::Device; }
    /// The audio file libcdio reads for a cue sheet (the .bin of the same base name, whatever
    /// the sheet says); empty for devices and .toc images.
    std::string DataPath() const;
    bool operator==(const DriveSource&) const = default;
};

/// Enumerates the drives and gives each one an identity (host adapter, target, LUN) that stays
/// the same for the run, so a request made from an old list still reaches its drive.
class DriveCatalog {
public:
    struct Drive {
        DriveSource source;
        DriveEntry entry;
    };

    /// The system's CD drives in device-path order, then the valid images of discsDir in
    /// file-name order; at most kDriveListCapacity in all. Broken images are left out. A discsDir
    /// that names a .cue or .toc lists that image alone, when it is valid.
    std::vector<Drive> List(const std::string& discsDir);

    /// The drive an identity was given to, if any.
    std::optional<DriveSource> Find(uint8_t hostAdapter, uint8_t target, uint8_t lun) const;

private:
    /// 0 when no identity is left.
    uint16_t IdFor(const DriveSource& source);

    mutable std::mutex mutex_;
    std::vector<DriveSource> ids_; // identity n is ids_[n - 1]
};

/// Whether a path names a disc image's sheet (*.cue or *.toc, any case).
bool IsImageFileName(const std::string& path);

/// Image files, in name order, that the discs folder offers (*.cue and *.toc).
std::vector<std::string> ListImageFiles(const std::string& discsDir);
