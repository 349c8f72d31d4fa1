#include "platform/drives/DriveQueries.h"

#include <algorithm>

#include <QFileInfo>
#include <QUrl>

#include "platform/cdaccess/CdAccess.h"

namespace {

bool HasAudioTrack(const TocRecord& toc)
{
    if (toc.FirstTrack < 1 || toc.FirstTrack > toc.LastTrack || toc.LastTrack >= kTocEntryCount)
        return false;
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t) {
        if (!toc.Entries[size_t(t - 1)].IsData())
            return true;
    }
    return false;
}

uint32_t PackedMsf(const TocEntry& e)
{
    return (uint32_t(e.Minutes()) << 16) + (uint32_t(e.Seconds()) << 8) + e.Frames();
}

uint32_t EntryFrames(const TocEntry& e)
{
    return (uint32_t(e.Minutes()) * 60 + e.Seconds()) * 75 + e.Frames();
}

} // namespace

QString DriveVolumeLabel(const DriveEntry& drive)
{
    TocRecord toc;
    if (CdAccess().ReadDiscTOC(drive, toc) != 1 || !HasAudioTrack(toc))
        return {};
    return QLatin1String(kAudioCdLabel);
}

bool AudioCDPresent()
{
    DriveList list;
    GetCDList(list);
    if (list.Count == 0)
        return false;
    return DriveVolumeLabel(list.Entries[0]) == QLatin1String(kAudioCdLabel);
}

int DriveCount()
{
    DriveList list;
    GetCDList(list);
    return std::min<int>(list.Count, kDriveListCapacity);
}

int DrivePosition(int handle)
{
    HandleRequest request;
    std::string device;
    if (handle == 0 || HandleDrive(handle, request, device) == 0)
        return -1;
    DriveList list;
    GetCDList(list);
    const int count = std::min<int>(list.Count, kDriveListCapacity);
    for (int i = 0; i < count; ++i) {
        const DriveEntry& e = list.Entries[size_t(i)];
        if (e.HostAdapter == request.HostAdapter && e.Target == request.Target &&
            e.Lun == request.Lun)
            return i;
    }
    return -1;
}

int DrivePositionOfPath(const QString& path)
{
    QString wanted = path.trimmed();
    const QUrl url(wanted);
    if (url.scheme() == QLatin1String("cdda")) {
        // cdda://sr0 and cdda:///dev/sr0 both name a device.
        const QString rest = url.host().isEmpty() ? url.path() : url.host() + url.path();
        wanted = rest.startsWith(QLatin1Char('/')) ? rest : QStringLiteral("/dev/") + rest;
    } else if (url.isLocalFile()) {
        wanted = url.toLocalFile();
    }
    const QString canonical = QFileInfo(wanted).canonicalFilePath();
    if (canonical.isEmpty())
        return -1;
    DriveList list;
    GetCDList(list);
    const int count = std::min<int>(list.Count, kDriveListCapacity);
    for (int i = 0; i < count; ++i) {
        const std::string drive = CdAccess().DrivePath(list.Entries[size_t(i)]);
        if (!drive.empty() &&
            QFileInfo(QString::fromStdString(drive)).canonicalFilePath() == canonical)
            return i;
    }
    return -1;
}

int32_t AudioCdSerial(const TocRecord& toc)
{
    if (toc.FirstTrack < 1 || toc.FirstTrack > toc.LastTrack || toc.LastTrack >= kTocEntryCount)
        return 0;
    uint32_t serial = 0; // wraps like the 32-bit register it was summed in
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t)
        serial += PackedMsf(toc.Entries[size_t(t - 1)]);
    if (toc.LastTrack - toc.FirstTrack + 1 < 3) {
        const TocEntry& first = toc.Entries[size_t(toc.FirstTrack - 1)];
        const TocEntry& leadOut = toc.Entries[size_t(toc.LastTrack)];
        serial += first.Frames() + (EntryFrames(leadOut) - EntryFrames(first));
    }
    return static_cast<int32_t>(serial);
}

QString DiscKeyOf(const TocRecord& toc)
{
    return HasAudioTrack(toc) ? QString::number(AudioCdSerial(toc)) : QString();
}

QString DiscKey()
{
    DriveList list;
    GetCDList(list);
    const int count = std::min<int>(list.Count, kDriveListCapacity);
    for (int i = 0; i < count; ++i) {
        TocRecord toc;
        if (CdAccess().ReadDiscTOC(list.Entries[size_t(i)], toc) == 1 && HasAudioTrack(toc))
            return DiscKeyOf(toc);
    }
    return {};
}
