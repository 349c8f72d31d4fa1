#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/cdaccess/CdAccessTypes.h"

/// Reads a disc's audio sectors for the extraction thread: plain reads through the CD-access
/// layer, or secure reads of a real drive through paranoia. Used by one thread.
class ISectorReader {
public:
    virtual ~ISectorReader() = default;
    /// Fills out with count sectors (count x 2352 bytes) from absolute sector lsn; false when
    /// they could not be read. Callers read forward, sector after sector.
    virtual bool Read(int32_t lsn, uint32_t count, uint8_t* out) = 0;
    /// The same sectors in a buffer of the reader's, valid until its next call: no copy where
    /// the reader holds them already. Null when they could not be read.
    virtual const uint8_t* View(int32_t lsn, uint32_t count);
    /// Sectors read so far whose errors could not be corrected (their data was kept as read).
    virtual int64_t Uncorrected() const { return 0; }

private:
    std::vector<uint8_t> view_;
};

/// Reads through ReadCDAudioLBA on a handle of the CD-access layer. A disc image is read ahead
/// in larger pieces than asked for: each call of the layer looks at the image's files again,
/// which for ten-sector reads cost a fifth of an image rip. A real drive gets exactly the reads
/// asked for.
class TDirectSectorReader final : public ISectorReader {
public:
    explicit TDirectSectorReader(int handle, uint32_t readAhead = 0)
        : handle_(handle), readAhead_(readAhead)
    {
    }
    bool Read(int32_t lsn, uint32_t count, uint8_t* out) override;
    const uint8_t* View(int32_t lsn, uint32_t count) override;

private:
    bool ReadLayer(int32_t lsn, uint32_t count);

    int handle_;
    uint32_t readAhead_;
    AudioReadBuffer buffer_;
    int32_t bufferedFrom_ = 0;
    uint32_t buffered_ = 0; // sectors of buffer_ from bufferedFrom_ on
};

/// The reader for a handle: paranoia in mode 1 (overlap only) or 2 (full) on a real drive,
/// plain reads for a disc image or mode 0. Null when paranoia cannot open the drive: reading
/// it without correction instead would pass off unchecked data as secure.
std::unique_ptr<ISectorReader> MakeSectorReader(int handle, int paranoiaMode);
