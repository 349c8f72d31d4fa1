#include "audio/ACSFileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "audio/ACSException.h"
#include "core/FileUtil.h"

namespace {

QString Reason(int err)
{
    return SystemErrorText(err);
}

} // namespace

std::unique_ptr<TACSFileStream> TACSFileStream::Open(const QString& fileName, Mode mode)
{
    const bool create = mode == Mode::Create;
    // Only regular files are read or written, opened without blocking (a FIFO given as a file
    // name must not hang the caller); nothing is written through a symbolic link.
    const int flags =
        mode == Mode::Read ? O_RDONLY : (O_RDWR | O_NOFOLLOW | (create ? O_CREAT : 0));
    const int fd = OpenRegularFile(fileName, flags, 0666);
    const QString verb =
        create ? QStringLiteral("Cannot create file") : QStringLiteral("Cannot open file");
    if (fd < 0)
        throw EACSException(QStringLiteral("%1 \"%2\". %3").arg(verb, fileName, Reason(errno)));
    if (mode != Mode::Read) {
        // Lock before truncating, so a file someone else holds is left as it is.
        if (!LockExclusive(fd)) {
            ::close(fd);
            throw EACSException(
                QStringLiteral("%1 \"%2\". The file is in use.").arg(verb, fileName));
        }
        if (create && !EmptyFile(fd)) {
            const int err = errno;
            ::close(fd);
            throw EACSException(QStringLiteral("%1 \"%2\". %3").arg(verb, fileName, Reason(err)));
        }
    }
    return std::unique_ptr<TACSFileStream>(new TACSFileStream(fd, fileName));
}

TACSFileStream::TACSFileStream(int fd, const QString& name)
    : fd_(fd), name_(name), buf_(kBufferSize)
{
}

TACSFileStream::~TACSFileStream()
{
    try {
        Close();
    } catch (...) {
        // Destruction cannot report; Close is the place to learn about a failed flush.
    }
}

void TACSFileStream::Close()
{
    if (fd_ < 0)
        return;
    std::exception_ptr error;
    try {
        FlushWrites();
    } catch (...) {
        error = std::current_exception();
    }
    // Some file systems only report a failed write when the file is closed.
    const int rc = ::close(fd_);
    const int err = errno;
    fd_ = -1;
    if (error)
        std::rethrow_exception(error);
    if (rc != 0 && err != EINTR)
        ThrowWriteError(err);
}

void TACSFileStream::FlushWrites()
{
    if (!dirty_)
        return;
    int64_t done = 0;
    while (done < bufLen_) {
        const ssize_t n =
            ::pwrite(fd_, buf_.data() + done, static_cast<size_t>(bufLen_ - done), bufPos_ + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            dirty_ = false;
            bufLen_ = 0;
            ThrowWriteError(err);
        }
        done += n;
    }
    dirty_ = false;
    bufLen_ = 0;
}

void TACSFileStream::ThrowReadError(int err) const
{
    // An I/O error is not the end of the data: a reader must not pass a cut file off as whole.
    throw EACSException(QStringLiteral("Cannot read file \"%1\". %2").arg(name_, Reason(err)));
}

void TACSFileStream::ThrowWriteError(int err) const
{
    throw EACSException(QStringLiteral("Cannot write file \"%1\". %2").arg(name_, Reason(err)));
}

int64_t TACSFileStream::Read(void* buffer, int64_t count)
{
    if (fd_ < 0 || count <= 0)
        return 0;
    FlushWrites();
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t total = 0;
    while (total < count) {
        if (pos_ >= bufPos_ && pos_ < bufPos_ + bufLen_) {
            const int64_t n = std::min(count - total, bufPos_ + bufLen_ - pos_);
            std::memcpy(out + total, buf_.data() + (pos_ - bufPos_), static_cast<size_t>(n));
            pos_ += n;
            total += n;
            continue;
        }
        const int64_t want = count - total;
        if (want >= kBufferSize) {
            const ssize_t n = ::pread(fd_, out + total, static_cast<size_t>(want), pos_);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                ThrowReadError(errno);
            if (n == 0)
                break;
            pos_ += n;
            total += n;
            continue;
        }
        const ssize_t n = ::pread(fd_, buf_.data(), static_cast<size_t>(kBufferSize), pos_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            bufLen_ = 0;
            ThrowReadError(errno);
        }
        bufPos_ = pos_;
        bufLen_ = n > 0 ? n : 0;
        if (n <= 0)
            break;
    }
    return total;
}

void TACSFileStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return;
    if (fd_ < 0)
        ThrowWriteError(EBADF);
    if (!dirty_)
        bufLen_ = 0; // drop cached reads: they may be overwritten
    else if (pos_ != bufPos_ + bufLen_)
        FlushWrites();
    const auto* in = static_cast<const uint8_t*>(buffer);
    if (bufLen_ == 0)
        bufPos_ = pos_;
    if (bufLen_ + count > kBufferSize) {
        FlushWrites();
        bufPos_ = pos_;
        if (count >= kBufferSize) {
            int64_t done = 0;
            while (done < count) {
                const ssize_t n =
                    ::pwrite(fd_, in + done, static_cast<size_t>(count - done), pos_ + done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    const int err = n < 0 ? errno : EIO;
                    pos_ += done;
                    ThrowWriteError(err);
                }
                done += n;
            }
            pos_ += count;
            return;
        }
    }
    std::memcpy(buf_.data() + bufLen_, in, static_cast<size_t>(count));
    bufLen_ += count;
    dirty_ = true;
    pos_ += count;
}

int64_t TACSFileStream::Seek(int64_t position)
{
    pos_ = std::max<int64_t>(position, 0);
    return pos_;
}

int64_t TACSFileStream::Size()
{
    if (fd_ < 0)
        return 0;
    FlushWrites();
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return 0;
    return static_cast<int64_t>(st.st_size);
}
