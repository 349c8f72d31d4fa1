#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

/// Samples of one CD sector (2352 bytes of 16-bit stereo).
inline constexpr int64_t kSectorFrames = 588;

/// The checksums of one track, fed its PCM (16-bit stereo, little-endian) block by block while
/// it is extracted, so the file is never read twice: the CRC32 of all its bytes (the copy CRC)
/// and AccurateRip v1 and v2. AccurateRip leaves out the first five sectors but one sample of a
/// disc's first track and the last five sectors of its last; a first or last track too short
/// for that has no AccurateRip checksum.
class TTrackChecksums {
public:
    TTrackChecksums(int64_t totalFrames, bool firstTrack, bool lastTrack);

    /// The next bytes of the track; a frame may be split across calls.
    void Add(const uint8_t* pcm, size_t bytes);
    /// The same, copying the bytes to dst (which must not overlap them) in the same pass.
    void AddCopy(uint8_t* dst, const uint8_t* src, size_t bytes);

    uint32_t CopyCrc() const { return crc_; }
    uint32_t V1() const { return v1_; }
    uint32_t V2() const { return v2_; }
    /// False when the skipped parts cover the whole track.
    bool HasAccurateRip() const { return checkFrom_ <= checkTo_; }
    /// Frames added so far.
    int64_t Frames() const { return frame_; }

private:
    void AddPiece(const uint8_t* pcm, size_t bytes);
    /// Takes in count whole frames (4 bytes each) that follow the frames added so far.
    void AddFrames(const uint8_t* frames, int64_t count);

    int64_t checkFrom_; // 1-based frame numbers the AccurateRip sums take in
    int64_t checkTo_;
    int64_t frame_ = 0;
    uint32_t crc_ = 0;
    uint32_t v1_ = 0;
    uint32_t v2_ = 0;
    uint8_t partial_[4] = {};
    size_t partialBytes_ = 0;
};

/// The identifiers AccurateRip files a disc under.
struct TAccurateRipIds {
    int AudioTracks = 0;
    uint32_t Id1 = 0;
    uint32_t Id2 = 0;
    uint32_t Cddb = 0;
};

/// The ids of a disc from its audio tracks' start addresses (sectors from the disc's start,
/// the 150-sector lead-in not counted) and the end of its audio (the lead-out, same scale).
TAccurateRipIds AccurateRipIdsOf(const std::vector<int64_t>& trackStarts, int64_t leadOut,
                                 uint32_t cddbId);

/// "/accuraterip/a/b/c/dBAR-NNN-id1-id2-cddb.bin" for a disc.
QString AccurateRipPath(const TAccurateRipIds& ids);

/// One response block of the database: a pressing's checksums, with how many rips agreed.
struct TAccurateRipBlock {
    struct Track {
        uint8_t Confidence = 0;
        uint32_t Crc = 0;
        uint32_t Frame450Crc = 0;
    };
    TAccurateRipIds Ids;
    std::vector<Track> Tracks;
};

/// The blocks of a dBAR file; nullopt (and the reason in error) for a file that is empty,
/// truncated, or holds a block of 0 tracks.
std::optional<std::vector<TAccurateRipBlock>> ParseDbar(const QByteArray& data,
                                                        QString* error = nullptr);

enum class TVerifyStatus {
    Accurate,       ///< a block holds the track's v1 or v2 checksum
    Mismatch,       ///< the disc is in the database, no block matches
    NotInDatabase,  ///< the database has no entry for the disc
    CouldNotVerify, ///< the database could not be asked
    NoChecksum,     ///< the track is too short for an AccurateRip checksum
};

struct TVerifyResult {
    TVerifyStatus Status = TVerifyStatus::CouldNotVerify;
    int Confidence = 0; ///< the highest among matching blocks
};

/// A track's result (index from 0 among the disc's audio tracks) against the database's blocks
/// for its disc; a block without that track does not count.
TVerifyResult MatchTrack(const std::vector<TAccurateRipBlock>& blocks, int trackIndex,
                         const TTrackChecksums& sums);

/// The words a log gives a result ("accurately ripped (confidence 12)", "mismatch", ...).
QString VerifyText(const TVerifyResult& result);
