#pragma once

#include <cstdint>
#include <optional>

/// The WMA tool says nothing until it ends, so a job estimates its progress each second from
/// the time it has run and the bytes it has written, against the output its profile predicts.
struct TWmaEstimate {
    int64_t Total = 0; ///< seconds the whole encode is expected to take, always beyond elapsed
    int Percent = 0;   ///< elapsed share of Total, 0..100
};

/// elapsed: seconds since the tool started; inputSize: the WAV's bytes; written: the output's
/// bytes so far (-1 when it is not there yet); profile: the WMA profile index. An input under
/// 2000000 bytes is taken to need 2 seconds; a larger one has no estimate until something is
/// written.
std::optional<TWmaEstimate> EstimateWma(int64_t elapsed, int64_t inputSize, int64_t written,
                                        int32_t profile);
