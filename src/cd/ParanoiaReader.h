#pragma once

#include <memory>

#include "cd/SectorReader.h"
#include "platform/cdaccess/DriveCatalog.h"

struct cdrom_drive_s;
/// The drive's raw read under paranoia (sectors read, or negative on an error).
using RawAudioRead = long (*)(cdrom_drive_s* drive, void* out, int32_t lsn, long sectors);

/// Secure reading through libcdio-paranoia of a real drive (or, for tests, an image): mode 1
/// verifies the overlap of successive reads (jitter), mode 2 runs every check with up to 20
/// retries a sector. A sector still wrong after them is kept and counted by Uncorrected().
/// Null when the drive cannot be opened for it. Given `read`, the drive's raw reads go through
/// it, and `original` gets the drive's own: tests stand in a drive that returns wrong data.
std::unique_ptr<ISectorReader> OpenParanoiaReader(const DriveSource& source, int mode,
                                                  RawAudioRead read = nullptr,
                                                  RawAudioRead* original = nullptr);
