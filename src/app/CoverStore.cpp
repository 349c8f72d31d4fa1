#include "app/CoverStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

#include "core/AppPaths.h"
#include "core/FileUtil.h"
#include "platform/profile/AtomicFile.h"

namespace {

constexpr qint64 kMaxCoverBytes = 10 << 20;
/// Decoded whole, a cover this large takes 64 MB: a server's (or a scan's) larger image is read
/// only where its format can shrink it while decoding.
constexpr qint64 kMaxCoverPixels = qint64{4096} * 4096;

/// A key names a file only when it is a disc key: an optional "-" and digits.
bool IsDiscKey(const QString& key)
{
    if (key.isEmpty() || key.size() > 12)
        return false;
    for (qsizetype i = 0; i < key.size(); ++i) {
        const QChar c = key[i];
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && c == QLatin1Char('-')))
            return false;
    }
    return key != QLatin1String("-");
}

QString Folder()
{
    return ProgramDir() + QStringLiteral("covers/");
}

QString PathFor(const QString& key, const QString& extension)
{
    return Folder() + key + QLatin1Char('.') + extension;
}

const QString kTypes[] = {QStringLiteral("jpg"), QStringLiteral("png")};

} // namespace

QString CoverFilePath(const QString& key)
{
    if (!IsDiscKey(key))
        return {};
    for (const QString& type : kTypes) {
        const QString path = PathFor(key, type);
        if (IsRegularFile(path))
            return path;
    }
    return {};
}

bool SaveCover(const QString& key, const QByteArray& image, const QString& extension)
{
    if (!IsDiscKey(key) || image.isEmpty() || (extension != kTypes[0] && extension != kTypes[1]) ||
        !QDir().mkpath(Folder()))
        return false;
    if (!WriteFileOverName(PathFor(key, extension), image))
        return false;
    for (const QString& type : kTypes)
        if (type != extension)
            QFile::remove(PathFor(key, type));
    return true;
}

void RemoveCover(const QString& key)
{
    if (!IsDiscKey(key))
        return;
    for (const QString& type : kTypes)
        QFile::remove(PathFor(key, type));
}

QByteArray LoadCoverBytes(const QString& key)
{
    const QString path = CoverFilePath(key);
    if (path.isEmpty())
        return {};
    const int fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0)
        return {};
    QByteArray data;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 && data.size() <= kMaxCoverBytes)
        data.append(buffer, n);
    close(fd);
    if (n < 0 || data.size() > kMaxCoverBytes)
        return {};
    return data;
}

QImage LoadCover(const QString& key, const QSize& within)
{
    QByteArray data = LoadCoverBytes(key);
    if (data.isEmpty())
        return {};
    // A small file can hold an image of tens of megapixels (a PNG of one colour does): decoded
    // whole on the window's thread it would freeze the window and take hundreds of megabytes.
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid())
        return {}; // covers are JPEG or PNG, which tell their size before decoding
    const QSize shown = size.scaled(within, Qt::KeepAspectRatio).boundedTo(size);
    // JPEG decodes at a fraction of its size; other formats (PNG) decode whole before they are
    // scaled, so a huge one is refused.
    if (reader.format() != "jpeg" && qint64{size.width()} * size.height() > kMaxCoverPixels)
        return {};
    reader.setScaledSize(shown);
    return reader.read();
}
