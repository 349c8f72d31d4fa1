#include "core/FileUtil.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool IsFileInUse(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return false; // does not exist
    // A FIFO or device is never ours to replace or delete: count it as in use, and do not open
    // it, which could block.
    if (!S_ISREG(st.st_mode))
        return true;
    const int fd = ::open(native.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return true;
    const bool locked = !LockExclusive(fd);
    ::close(fd); // closing releases our own lock
    return locked;
}

int OpenRegularFile(const QString& path, int flags, mode_t mode)
{
    return OpenRegularFile(QFile::encodeName(path).constData(), flags, mode);
}

bool CanReadRegularFile(const char* nativePath)
{
    const int fd = OpenRegularFile(nativePath, O_RDONLY);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

int OpenRegularFile(const char* nativePath, int flags, mode_t mode)
{
    if ((flags & O_CREAT) != 0)
        flags |= O_NOFOLLOW;
    int fd = -1;
    do {
        fd = ::open(nativePath, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

bool IsRegularFile(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsLinkOrSpecialFile(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return !S_ISREG(st.st_mode);
}

QString LinkOrSpecialFileText(const QString& path)
{
    return path + QStringLiteral(" is a link or a special file; it was not written.");
}

bool SameFile(const QString& a, const QString& b)
{
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
        ::stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) ==
           QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

QString SystemErrorText(int error)
{
    // strerror_r, not strerror: extraction threads call this too.
    char buffer[256] = {};
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

bool LockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

bool EmptyFile(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    return st.st_size == 0 || ::ftruncate(fd, 0) == 0;
}

bool WriteAllBytes(int fd, const void* data, size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool FileExists(const QString& path)
{
    const QFileInfo fi(path);
    return fi.exists() && !fi.isDir();
}

bool DirectoryExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

qint64 FileSizeOrMinus1(const QString& path)
{
    const QFileInfo fi(path);
    return fi.exists() ? fi.size() : -1;
}

QString IncludeTrailingSlash(const QString& path)
{
    if (path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

QString ChangeFileExt(const QString& path, const QString& ext)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > slash)
        return path.left(dot) + ext;
    return path + ext;
}

QString ExtractFileName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool IsValidFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return false;
    return name.toUtf8().size() <= 255;
}
