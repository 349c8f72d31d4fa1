#pragma once

#include <string>

/// A profile given as "KBPS_KHZ_CHANNELS" (for instance "64_44_2").
struct WmaSetting {
    int RequestedKbps = 0; ///< as given
    int BitRate = 0;       ///< bit/s handed to the encoder (at least MinBitRate)
    int SampleRate = 0;    ///< Hz ("44" is 44100, "22" 22050, "11" 11025)
    int Channels = 0;      ///< 1 or 2
};

/// The encoder refuses lower rates, so profiles below it encode at this rate.
inline constexpr int MinWmaBitRate = 24000;

/// Parses a profile; false (with a reason) when it is malformed or unsupported.
bool ParseWmaSetting(const std::string& text, WmaSetting& setting, std::string& reason);
