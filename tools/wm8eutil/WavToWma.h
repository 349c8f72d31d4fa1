#pragma once

#include <csignal>
#include <functional>
#include <string>

#include "WmaSetting.h"

/// What to encode: a WAV (or anything libavformat reads) to an ASF file holding wmav2 audio.
struct WavToWmaJob {
    std::string Input;
    std::string Output;
    WmaSetting Setting;
    std::string Author;
    std::string Description;
};

/// Encodes job; progress(percent) is called as the percentage rises (0..99). Returns false with
/// a reason on any failure, having removed the output file if it created it. abort is polled
/// between frames.
bool EncodeWavToWma(const WavToWmaJob& job, const std::function<void(int)>& progress,
                    const volatile std::sig_atomic_t& abort, std::string& reason);
