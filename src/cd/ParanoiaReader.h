#pragma once

#include <memory>
#include <string>

#include "cd/SectorReader.h"

/// Secure reading of the real drive at device through libcdio-paranoia: mode 1 verifies the
/// overlap of successive reads (jitter), mode 2 runs every check with up to 20 retries a
/// sector. A sector still wrong after them is kept and counted by Uncorrected(). Null when
/// the drive cannot be opened for it.
std::unique_ptr<ISectorReader> OpenParanoiaReader(const std::string& device, int mode);
