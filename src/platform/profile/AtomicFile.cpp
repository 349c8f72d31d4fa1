#include "platform/profile/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/FileUtil.h"

namespace {

/// Follows symbolic links so the rename replaces the target and keeps the link.
QByteArray ResolveTarget(const QByteArray& path)
{
    char buf[PATH_MAX];
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        const ssize_t n = ::readlink(current.constData(), buf, sizeof buf - 1);
        if (n <= 0)
            return current;
        QByteArray target(buf, n);
        if (!target.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            target = (slash >= 0 ? current.left(slash + 1) : QByteArray()) + target;
        }
        current = target;
    }
    return current;
}

void SyncFolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray dir =
        slash > 0 ? path.left(slash) : (slash == 0 ? QByteArray("/") : QByteArray("."));
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

namespace {

bool WriteInto(const QString& path, const QByteArray& data, bool followLinks)
{
    const QByteArray target =
        followLinks ? ResolveTarget(QFile::encodeName(path)) : QFile::encodeName(path);

    struct stat old {};
    const bool exists =
        (followLinks ? ::stat(target.constData(), &old) : ::lstat(target.constData(), &old)) == 0;
    if (exists) {
        // Root may write anything, so look at the mode as well as at access().
        if (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0 ||
            ::access(target.constData(), W_OK) != 0)
            return false;
    }

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? target.left(slash + 1) : QByteArray();
    const QByteArray base = slash >= 0 ? target.mid(slash + 1) : target;
    QByteArray tmpl = folder + '.' + base + ".XXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return false;

    bool ok = WriteAllBytes(fd, data.constData(), static_cast<size_t>(data.size()));
    if (ok) {
        const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~[] {
            const mode_t m = ::umask(0);
            ::umask(m);
            return m;
        }());
        ok = ::fchmod(fd, mode) == 0;
        if (ok && exists && ::geteuid() == 0)
            (void)!::fchown(fd, old.st_uid, old.st_gid);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(tmpl.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(tmpl.constData());
        return false;
    }
    SyncFolderOf(target);
    return true;
}

/// Copies everything from in to out; the kernel copies where it can.
bool CopyAll(int in, int out)
{
    bool kernel = true;
    std::vector<char> buf;
    for (;;) {
        if (kernel) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n > 0)
                continue;
            if (n == 0)
                return true;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                return false;
            kernel = false;
            buf.resize(1 << 20);
        }
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!WriteAllBytes(out, buf.data(), static_cast<size_t>(n)))
            return false;
    }
}

bool Failed(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

namespace {

bool CopyInto(const QString& source, const QString& target, bool followLinks, QString* error)
{
    const auto reason = [] { return QString::fromLocal8Bit(std::strerror(errno)); };
    const QByteArray from = QFile::encodeName(source);
    const int in = ::open(from.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (in < 0)
        return Failed(error, source + QStringLiteral(": ") + reason());
    struct stat src {};
    if (::fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
        ::close(in);
        return Failed(error, source + QStringLiteral(": not a regular file"));
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);

    const QByteArray to =
        followLinks ? ResolveTarget(QFile::encodeName(target)) : QFile::encodeName(target);
    struct stat old {};
    const bool exists =
        (followLinks ? ::stat(to.constData(), &old) : ::lstat(to.constData(), &old)) == 0;
    if (exists && (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0 ||
                   ::access(to.constData(), W_OK) != 0)) {
        ::close(in);
        return Failed(error, QStringLiteral("Unable to write to ") + target);
    }
    const qsizetype slash = to.lastIndexOf('/');
    QByteArray tmpl = (slash >= 0 ? to.left(slash + 1) : QByteArray()) + '.' +
                      (slash >= 0 ? to.mid(slash + 1) : to) + ".XXXXXX";
    const int out = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (out < 0) {
        const QString why = reason();
        ::close(in);
        return Failed(error, target + QStringLiteral(": ") + why);
    }
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~[] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }());
    bool ok = CopyAll(in, out) && ::fchmod(out, mode) == 0 && ::fsync(out) == 0;
    const QString why = ok ? QString() : reason();
    ::close(in);
    ok = (::close(out) == 0) && ok;
    if (ok)
        ok = ::rename(tmpl.constData(), to.constData()) == 0;
    if (!ok) {
        const QString text = target + QStringLiteral(": ") + (why.isEmpty() ? reason() : why);
        ::unlink(tmpl.constData());
        return Failed(error, text);
    }
    SyncFolderOf(to);
    return true;
}

} // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& data)
{
    return WriteInto(path, data, true);
}

bool WriteFileOverName(const QString& path, const QByteArray& data)
{
    return WriteInto(path, data, false);
}

bool CopyFileAtomically(const QString& source, const QString& target, QString* error)
{
    return CopyInto(source, target, true, error);
}

bool CopyFileOverName(const QString& source, const QString& target, QString* error)
{
    return CopyInto(source, target, false, error);
}
