#include "pipeline/WmaEstimate.h"

#include <algorithm>

#include "core/TextUtil.h"
#include "encoders/WmaProfiles.h"

std::optional<TWmaEstimate> EstimateWma(int64_t elapsed, int64_t inputSize, int64_t written,
                                        int32_t profile)
{
    int64_t total = 0;
    if (inputSize < 2000000) {
        total = 2;
    } else {
        int64_t predicted = RoundHalfEven(static_cast<double>(inputSize) * 1000.0 /
                                          WmaSizeRatio(ValidWmaProfile(profile)));
        if (predicted < written)
            predicted = written;
        if (written <= 0)
            return std::nullopt;
        total = predicted * elapsed / written;
    }
    if (elapsed >= total)
        total = elapsed + 1;
    const auto percent = static_cast<int>(
        RoundHalfEven(static_cast<double>(elapsed) * 100.0 / static_cast<double>(total)));
    return TWmaEstimate{total, std::min(percent, 100)};
}
