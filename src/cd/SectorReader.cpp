#include "cd/SectorReader.h"

#include <cstring>
#include <string>

#include "cd/ParanoiaReader.h"
#include "platform/cdaccess/CdAccess.h"

bool TDirectSectorReader::ReadLayer(int32_t lsn, uint32_t count)
{
    buffered_ = 0;
    const size_t bytes = size_t(count) * kCdSectorBytes;
    if (buffer_.Data.size() < bytes)
        buffer_.Data.resize(bytes);
    buffer_.StartSector = uint32_t(lsn);
    buffer_.SectorCount = count;
    buffer_.Capacity = uint32_t(bytes);
    if (ReadCDAudioLBA(handle_, buffer_) != 1)
        return false;
    // A reply of fewer bytes than asked would shift everything after it: no success either.
    if (buffer_.BytesReturned != bytes || buffer_.Offset > buffer_.Data.size() ||
        bytes > buffer_.Data.size() - buffer_.Offset)
        return false;
    bufferedFrom_ = lsn;
    buffered_ = count;
    return true;
}

const uint8_t* ISectorReader::View(int32_t lsn, uint32_t count)
{
    view_.resize(size_t(count) * kCdSectorBytes);
    return Read(lsn, count, view_.data()) ? view_.data() : nullptr;
}

const uint8_t* TDirectSectorReader::View(int32_t lsn, uint32_t count)
{
    if (lsn < 0 || count == 0)
        return nullptr;
    const bool held = buffered_ > 0 && lsn >= bufferedFrom_ &&
                      int64_t{lsn} + count <= int64_t{bufferedFrom_} + buffered_;
    if (!held) {
        // Near the lead-out the piece ahead does not fit on the disc: from there on, reads are
        // as asked.
        if (readAhead_ <= count || !ReadLayer(lsn, readAhead_)) {
            if (readAhead_ > count)
                readAhead_ = 0;
            if (!ReadLayer(lsn, count))
                return nullptr;
        }
    }
    return buffer_.Data.data() + buffer_.Offset + size_t(lsn - bufferedFrom_) * kCdSectorBytes;
}

bool TDirectSectorReader::Read(int32_t lsn, uint32_t count, uint8_t* out)
{
    const uint8_t* sectors = View(lsn, count);
    if (sectors != nullptr)
        std::memcpy(out, sectors, size_t(count) * kCdSectorBytes);
    return sectors != nullptr;
}

std::unique_ptr<ISectorReader> MakeSectorReader(int handle, int paranoiaMode)
{
    HandleRequest request;
    std::string device;
    const bool known = HandleDrive(handle, request, device) == 1;
    if (paranoiaMode > 0 && known && !device.empty())
        return OpenParanoiaReader(DriveSource{DriveSource::Kind::Device, device}, paranoiaMode);
    // An image is read 160 sectors (376 KB) ahead: the layer's per-call checks fall out of
    // sight, and the piece still sits in the second-level cache.
    return std::make_unique<TDirectSectorReader>(handle, known && device.empty() ? 160 : 0);
}
