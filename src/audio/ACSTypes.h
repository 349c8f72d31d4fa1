#pragma once

#include <cstdint>

/// State of a sink as Status() reports it.
enum class TACSOutputStatus { Running = 0, Paused = 1, Idle = 2 };

/// How a file sink treats an existing file.
enum TFileOutputMode : uint8_t { foRewrite = 0, foAppend = 1 };

/// What the WAV header walk found, and what the WAV writer writes (wtFloat is read only).
enum TWavType : uint8_t {
    wtUnsupported = 0,
    wtPCM = 1,
    wtDVIADPCM = 2,
    wtMSADPCM = 3,
    wtACM = 4,
    wtFloat = 5
};

/// Window applied to the rate converter's sinc kernel.
enum TFilterWindowType : uint8_t { fwHamming = 0, fwHann = 1, fwBlackman = 2 };

/// Bit-rate choices of the Vorbis writer, ordered; brAutoSelect stands for "none".
enum TVorbisBitRate : uint8_t {
    brAutoSelect,
    br45,
    br48,
    br56,
    br64,
    br80,
    br96,
    br112,
    br128,
    br144,
    br160,
    br192,
    br224,
    br256,
    br320,
    br499
};
