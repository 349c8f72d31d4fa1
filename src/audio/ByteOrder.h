#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Audio passes between components as native 16-bit samples, which must be little-endian.
static_assert(std::endian::native == std::endian::little, "little-endian host required");

// Little-endian field access for RIFF headers and codec blocks.

inline uint16_t GetLE16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline int16_t GetLE16s(const uint8_t* p)
{
    return static_cast<int16_t>(GetLE16(p));
}
inline uint32_t GetLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutLE16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PutTag(uint8_t* p, const char* tag)
{
    std::memcpy(p, tag, 4);
}

/// A byte count for a 32-bit RIFF size field: negative counts become 0, larger ones saturate.
inline uint32_t RiffSize(int64_t v)
{
    if (v < 0)
        return 0;
    return v > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}
