#pragma once

#include <memory>

#include "cd/SectorReader.h"
#include "platform/cdaccess/DriveCatalog.h"

/// Secure reading through libcdio-paranoia of a real drive (or, for tests, an image): mode 1
/// verifies the overlap of successive reads (jitter), mode 2 runs every check with up to 20
/// retries a sector. A sector still wrong after them is kept and counted by Uncorrected().
/// Null when the drive cannot be opened for it.
std::unique_ptr<ISectorReader> OpenParanoiaReader(const DriveSource& source, int mode);
