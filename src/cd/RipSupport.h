#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>

#include <QEvent>
#include <QString>

#include "core/FileUtil.h"

/// Size of the PCM header the extraction writes.
inline constexpr int kWavHeaderBytes = 44;

/// The 44-byte header of a 44100 Hz 16-bit stereo PCM WAV holding audioBytes of sound.
std::array<uint8_t, kWavHeaderBytes> MakeRipWavHeader(uint32_t audioBytes);

/// A progress record for `done` of `total` units: Percent = done x 100 / total; the elapsed
/// time since start and the estimated total (elapsed x 100 / Percent) as mm:ss, both empty
/// while Percent is 0.
std::unique_ptr<QEvent> MakeProgressRecord(int64_t done, int64_t total,
                                           std::chrono::steady_clock::time_point start);
