#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes audio CD images (a .bin of raw 2352-byte sectors plus a .cue or cdrdao .toc sheet)
// with deterministic, audible content: each track plays a short chord progression of its own,
// with a faint deterministic dither so no two sectors of an image are alike. Plain C++ so the
// command-line tool, the build and the tests share it.
namespace makedisc {

inline constexpr int kSectorBytes = 2352;
inline constexpr int kSectorsPerSecond = 75;

struct DiscImageOptions {
    uint32_t Seed = 1;     ///< varies the content; the same seed gives the same bytes
    int PregapSectors = 0; ///< silence before each track's index 1, track 1 included (cue only)
    bool TocSheet = false; ///< write a cdrdao .toc instead of a .cue
};

/// Fills out (2352 bytes) with sector `sector` (0-based) of track `track` (1-based).
void RenderTrackSector(int track, int64_t sector, uint32_t seed, uint8_t* out);

/// Writes dir/name.bin and dir/name.cue (or .toc). Each length is a track's length in sectors
/// (at least 1; at most 99 tracks). Returns false and sets error when it cannot.
bool WriteDiscImage(const std::string& dir, const std::string& name,
                    const std::vector<int64_t>& trackSectors, const DiscImageOptions& options,
                    std::string* error);

/// "MM:SS:FF" of a sector count (minutes not limited), as cue and toc sheets write it.
std::string SheetTime(int64_t sectors);

/// Parses a length: a sector count ("1234") or whole seconds ("25s"). False when malformed.
bool ParseLength(const std::string& text, int64_t& sectors);

} // namespace makedisc
