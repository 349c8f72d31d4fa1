#include "DiscFixture.h"

#include <cstring>

#include <QFile>
#include <gtest/gtest.h>

#include "platform/cdaccess/CdAccessTypes.h"

void MakeImage(const QString& dir, const QString& name, const std::vector<int64_t>& sectors,
               const makedisc::DiscImageOptions& options)
{
    std::string error;
    const bool ok = makedisc::WriteDiscImage(QFile::encodeName(dir).toStdString(),
                                             name.toStdString(), sectors, options, &error);
    ASSERT_TRUE(ok) << error;
}

QByteArray BinSectors(const QString& binPath, int64_t first, int64_t count)
{
    QFile f(binPath);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(first * kCdSectorBytes))
        return {};
    return f.read(count * kCdSectorBytes);
}

std::vector<ListedImage> ListedImages()
{
    DriveList list;
    GetCDList(list);
    std::vector<ListedImage> out;
    for (int i = 0; i < list.Count; ++i) {
        const DriveEntry& e = list.Entries[size_t(i)];
        if (std::strcmp(e.Vendor.data(), "Image ") == 0)
            out.push_back({i, QString::fromUtf8(e.Product.data()), e});
    }
    return out;
}

void CloseAllHandles()
{
    for (int h = 1; h <= 16; ++h)
        CloseCDHandle(h);
}

DriveEntry FakeDrive(const char* vendor, const char* product, uint8_t id)
{
    DriveEntry e;
    e.Lun = id;
    std::strncpy(e.Vendor.data(), vendor, e.Vendor.size() - 1);
    std::strncpy(e.Product.data(), product, e.Product.size() - 1);
    return e;
}

FakeCdAccess::FakeCdAccess()
{
    InstallCdAccess(this);
}

FakeCdAccess::~FakeCdAccess()
{
    InstallCdAccess(nullptr);
}

uint8_t FakeCdAccess::PatternByte(int64_t sector, int64_t offset)
{
    return uint8_t((sector * 131 + offset * 7 + (offset >> 8)) & 0xff);
}

TocRecord FakeCdAccess::Toc() const
{
    TocRecord toc;
    toc.FirstTrack = uint8_t(firstTrack);
    toc.LastTrack = uint8_t(firstTrack - 1 + int(trackSectors.size()));
    int32_t frames = firstTrackLsn + kLeadInFrames;
    auto put = [](TocEntry& e, int32_t f) {
        e.Address = {0, uint8_t(f / 4500), uint8_t(f / 75 % 60), uint8_t(f % 75)};
    };
    for (size_t i = 0; i <= trackSectors.size(); ++i) {
        TocEntry& e = toc.Entries[size_t(firstTrack - 1) + i];
        e.TrackNumber = i < trackSectors.size() ? uint8_t(size_t(firstTrack) + i) : kLeadOutTrack;
        e.AdrControl = (i < dataTracks.size() && dataTracks[i]) ? 0x14 : 0x10;
        put(e, frames);
        if (i < trackSectors.size())
            frames += trackSectors[i];
    }
    return toc;
}

int FakeCdAccess::GetCDList(DriveList& list)
{
    list.Count = 0;
    for (const DriveEntry& d : drives) {
        if (list.Count >= kDriveListCapacity)
            break;
        list.Entries[list.Count++] = d;
    }
    return 1;
}

int FakeCdAccess::GetCDHandle(const HandleRequest& request)
{
    return onGetHandle ? onGetHandle(request) : 1;
}

int FakeCdAccess::CloseCDHandle(int handle)
{
    return onClose ? onClose(handle) : 1;
}

int FakeCdAccess::ModifyCDParms(int handle, int parameter, int value)
{
    return onModify ? onModify(handle, parameter, value) : 1;
}

int FakeCdAccess::ReadTOC(int handle, TocRecord& toc)
{
    if (onReadToc)
        return onReadToc(handle, toc);
    toc = Toc();
    return 1;
}

int FakeCdAccess::ReadCDAudioLBA(int handle, AudioReadBuffer& buffer)
{
    if (onRead)
        return onRead(handle, buffer);
    return PatternRead(buffer);
}

int FakeCdAccess::PatternRead(AudioReadBuffer& buffer)
{
    for (uint32_t i = 0; i < buffer.SectorCount * uint32_t(kCdSectorBytes); ++i)
        buffer.Data[i] = PatternByte(buffer.StartSector + i / kCdSectorBytes, i % kCdSectorBytes);
    buffer.BytesReturned = buffer.SectorCount * kCdSectorBytes;
    buffer.Offset = 0;
    return 1;
}

int FakeCdAccess::ReadDiscTOC(const DriveEntry& drive, TocRecord& toc)
{
    if (onReadDiscToc)
        return onReadDiscToc(drive, toc);
    toc = Toc();
    return 1;
}

int FakeCdAccess::PollMedia(int handle, MediaPoll& poll)
{
    poll = MediaPoll{};
    if (onPoll)
        return onPoll(handle, poll);
    return 0;
}
