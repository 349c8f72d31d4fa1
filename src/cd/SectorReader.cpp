#include "cd/SectorReader.h"

#include <cstring>
#include <string>

#include "cd/ParanoiaReader.h"
#include "platform/cdaccess/CdAccess.h"

bool TDirectSectorReader::Read(int32_t lsn, uint32_t count, uint8_t* out)
{
    if (lsn < 0)
        return false;
    auto buffer = AudioReadBuffer::Make(uint32_t(lsn), count);
    if (ReadCDAudioLBA(handle_, buffer) != 1)
        return false;
    // A reply of fewer bytes than asked would shift everything after it: no success either.
    const size_t bytes = size_t(count) * kCdSectorBytes;
    if (buffer.BytesReturned != bytes || buffer.Offset > buffer.Data.size() ||
        bytes > buffer.Data.size() - buffer.Offset)
        return false;
    std::memcpy(out, buffer.Data.data() + buffer.Offset, bytes);
    return true;
}

std::unique_ptr<ISectorReader> MakeSectorReader(int handle, int paranoiaMode)
{
    HandleRequest request;
    std::string device;
    if (paranoiaMode > 0 && HandleDrive(handle, request, device) == 1 && !device.empty())
        return OpenParanoiaReader(DriveSource{DriveSource::Kind::Device, device}, paranoiaMode);
    return std::make_unique<TDirectSectorReader>(handle);
}
