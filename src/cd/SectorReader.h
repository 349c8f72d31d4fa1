#pragma once

#include <cstdint>
#include <memory>

/// Reads a disc's audio sectors for the extraction thread: plain reads through the CD-access
/// layer, or secure reads of a real drive through paranoia. Used by one thread.
class ISectorReader {
public:
    virtual ~ISectorReader() = default;
    /// Fills out with count sectors (count x 2352 bytes) from absolute sector lsn; false when
    /// they could not be read. Callers read forward, sector after sector.
    virtual bool Read(int32_t lsn, uint32_t count, uint8_t* out) = 0;
    /// Sectors read so far whose errors could not be corrected (their data was kept as read).
    virtual int64_t Uncorrected() const { return 0; }
};

/// Reads through ReadCDAudioLBA on a handle of the CD-access layer, one call per Read.
class TDirectSectorReader final : public ISectorReader {
public:
    explicit TDirectSectorReader(int handle) : handle_(handle) {}
    bool Read(int32_t lsn, uint32_t count, uint8_t* out) override;

private:
    int handle_;
};

/// The reader for a handle: paranoia in mode 1 (overlap only) or 2 (full) on a real drive,
/// plain reads for a disc image or mode 0. Null when paranoia cannot open the drive: reading
/// it without correction instead would pass off unchecked data as secure.
std::unique_ptr<ISectorReader> MakeSectorReader(int handle, int paranoiaMode);
