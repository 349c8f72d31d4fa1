#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QString>

#include "makedisc/DiscImageWriter.h"
#include "platform/cdaccess/CdAccess.h"

/// Writes dir/name.bin + .cue (or .toc) with makedisc; fails the current test when it cannot.
void MakeImage(const QString& dir, const QString& name, const std::vector<int64_t>& sectors,
               const makedisc::DiscImageOptions& options = {});

/// Bytes of sectors [first, first + count) of an image's .bin.
QByteArray BinSectors(const QString& binPath, int64_t first, int64_t count);

/// The list entries whose vendor is "Image " (images), in list order, with their positions.
struct ListedImage {
    int Position = 0;
    QString Product;
    DriveEntry Entry;
};
std::vector<ListedImage> ListedImages();

/// Closes every handle of the real layer (tests leave none open for the next one).
void CloseAllHandles();

/// A CD-access layer whose every operation is a replaceable function; the defaults describe
/// one drive with a disc of `trackSectors` whose sectors hold a recognisable pattern.
class FakeCdAccess : public ICdAccess {
public:
    FakeCdAccess();
    ~FakeCdAccess() override;

    std::vector<DriveEntry> drives;
    std::vector<int32_t> trackSectors{300};
    std::vector<bool> dataTracks; ///< track k-1 is a data track when set
    int32_t firstTrackLsn = 0;
    int firstTrack = 1; ///< number of the disc's first track

    std::function<int(const HandleRequest&)> onGetHandle;
    std::function<int(int)> onClose;
    std::function<int(int, int, int)> onModify;
    std::function<int(int, TocRecord&)> onReadToc;
    std::function<int(int, AudioReadBuffer&)> onRead;
    std::function<int(const DriveEntry&, TocRecord&)> onReadDiscToc;
    std::function<int(int, MediaPoll&)> onPoll;

    /// The disc described by trackSectors, dataTracks, firstTrackLsn and firstTrack, in MSF
    /// form; entry t-1 describes track t.
    TocRecord Toc() const;
    /// The default read: fills the buffer with the pattern of its sectors.
    static int PatternRead(AudioReadBuffer& buffer);
    /// Byte b of absolute sector s of the fake disc.
    static uint8_t PatternByte(int64_t sector, int64_t offset);

    int GetCDList(DriveList& list) override;
    int GetCDHandle(const HandleRequest& request) override;
    int CloseCDHandle(int handle) override;
    int ModifyCDParms(int handle, int parameter, int value) override;
    int ReadTOC(int handle, TocRecord& toc) override;
    int ReadCDAudioLBA(int handle, AudioReadBuffer& buffer) override;
    int GetAspiLibError() override { return 42; }
    int ReadDiscTOC(const DriveEntry& drive, TocRecord& toc) override;
    int PollMedia(int handle, MediaPoll& poll) override;
};

/// A named fake drive entry.
DriveEntry FakeDrive(const char* vendor, const char* product, uint8_t id);
