#include "cd/OpenDrive.h"

#include <algorithm>

#include "platform/cdaccess/CdAccess.h"

namespace {

template <size_t N> QString FieldText(const std::array<char, N>& field)
{
    const auto end = std::find(field.begin(), field.end(), '\0');
    return QString::fromUtf8(field.data(), end - field.begin());
}

} // namespace

QString DriveName(const DriveEntry& entry)
{
    QString name = FieldText(entry.Vendor) + FieldText(entry.Product);
    qsizetype cut = std::min<qsizetype>(name.size(), 26);
    if (cut < name.size() && cut > 0 && name.at(cut - 1).isHighSurrogate())
        --cut;
    return name.left(cut);
}

OpenDriveResult OpenDrive(int index)
{
    OpenDriveResult result;
    DriveList list;
    GetCDList(list);
    const int count = std::min<int>(list.Count, kDriveListCapacity);
    if (count == 0) {
        result.Status = QLatin1String(kNoCdDevicesText);
        return result;
    }
    if (index < 0 || index >= count) {
        result.Status = QLatin1String(kDriveIndexErrorText);
        return result;
    }
    const DriveEntry& entry = list.Entries[size_t(index)];
    result.Status = DriveName(entry);
    const HandleRequest request = HandleRequest::For(entry);
    result.Handle = GetCDHandle(request);
    if (result.Handle == 0) {
        for (int h = 1; h <= 10; ++h) {
            if (CloseCDHandle(h) != 0) {
                result.Handle = GetCDHandle(request);
                break;
            }
        }
    }
    if (result.Handle == 0)
        result.Status = QLatin1String(kNoCdDevicesText);
    return result;
}
