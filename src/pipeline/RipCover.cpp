#include "pipeline/RipCover.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include "core/FileUtil.h"
#include "metadata/TagWriter.h"

namespace {

/// Closes a descriptor when it goes out of scope.
struct TFd {
    int fd = -1;
    ~TFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

/// Whether the folder holds a cover of the user's: "cover.<anything>", in any case, whatever
/// it is (a broken link included).
bool HoldsCover(const QString& folder)
{
    // Name filters ignore case; System lists broken links too.
    return !QDir(folder)
                .entryList({QStringLiteral("cover.*")},
                           QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
}

} // namespace

int WriteNewFileAtomically(const QString& folder, const QString& name, const QByteArray& data)
{
    TFd dir{::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0)
        return errno;
    QByteArray temp;
    TFd out;
    for (int attempt = 0; attempt < 100 && out.fd < 0; ++attempt) {
        temp = QStringLiteral(".platterly-%1.part")
                   .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'))
                   .toLatin1();
        out.fd = ::openat(dir.fd, temp.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out.fd < 0 && errno != EEXIST)
            return errno;
    }
    if (out.fd < 0)
        return EAGAIN; // no free temporary name: not to be taken for a cover already there
    const QByteArray target = QFile::encodeName(name);
    int error = 0;
    bool renamed = false;
    if (!WriteAllBytes(out.fd, data.constData(), static_cast<size_t>(data.size())) ||
        ::fsync(out.fd) != 0) {
        error = errno;
    } else if (::renameat2(dir.fd, temp.constData(), dir.fd, target.constData(),
                           RENAME_NOREPLACE) == 0) {
        renamed = true;
    } else {
        error = errno;
        // A file system without the no-replace rename: a hard link, too, is made only where
        // the name is free.
        if (error == EINVAL || error == ENOSYS)
            error =
                ::linkat(dir.fd, temp.constData(), dir.fd, target.constData(), 0) == 0 ? 0 : errno;
    }
    if (!renamed)
        ::unlinkat(dir.fd, temp.constData(), 0);
    return error;
}

TRipCover::TRipCover(const QByteArray& image)
{
    const TFrontCover cover = FrontCoverOf(image);
    if (cover.IsEmpty())
        return;
    image_ = cover.Data;
    name_ = cover.Mime == QLatin1String("image/png") ? QStringLiteral("cover.png")
                                                     : QStringLiteral("cover.jpg");
}

QString TRipCover::PlaceBeside(const QString& trackFile)
{
    if (placed_ || name_.isEmpty())
        return {};
    placed_ = true;
    const QString folder = trackFile.left(trackFile.lastIndexOf(QLatin1Char('/')) + 1);
    if (folder.isEmpty() || HoldsCover(folder))
        return {};
    const int error = WriteNewFileAtomically(folder, name_, image_);
    // One that appeared meanwhile is the user's as well.
    if (error == 0 || error == EEXIST)
        return {};
    return folder + name_ + QStringLiteral(" could not be written (") + SystemErrorText(error) +
           QStringLiteral(").");
}
