#pragma once

#include <cstdint>

#include <QString>

/// Report record a worker hands to the job window. Percent is 0..100 progress or an event code.
struct TProcessInfo {
    int32_t Percent = 0;
    QString ElapsedText;
    QString TotalText;
    int32_t ErrorCode = 0;
};

/// Event codes carried in TProcessInfo::Percent.
namespace JobCode {
inline constexpr int32_t NormalizeStarts = 999;
inline constexpr int32_t ExtractEnded = 1000;
inline constexpr int32_t Mp3Ended = 2000;
inline constexpr int32_t OggEnded = 3000;
inline constexpr int32_t ResampleEnded = 4000;
inline constexpr int32_t WmaEnded = 5000;
} // namespace JobCode
