#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include <QString>

/// Multiplies each 16-bit little-endian sample of data by gain, rounding halves to even and
/// holding results at the 16-bit limits (gains above 1 come from hand-edited settings). An odd
/// last byte is left alone.
void ScaleSamples(uint8_t* data, size_t bytes, float gain);

/// Normalises a WAV written by the extraction: copies its first 44 bytes, scales every sample
/// after them by percent / 100 through the file's ".nor" twin in 2048-byte blocks, then renames
/// the twin over the WAV in one step. progress(position, size) is called before each block.
/// On any read or write failure the WAV is left as it was, the twin is removed, and the result
/// is false, with the system's error code in *error when given. A twin that exists as a link or
/// a special file is refused, not followed. A set *stop ends the work before the next block the
/// same way, with ECANCELED: the WAV is never left half scaled.
bool NormalizeWavFile(const QString& path, int32_t percent,
                      const std::function<void(int64_t position, int64_t size)>& progress = {},
                      int* error = nullptr, const std::atomic<bool>* stop = nullptr);

/// "<path> could not be normalized (<the system's text for error>)."
QString NormalizeFailureText(const QString& path, int error);
