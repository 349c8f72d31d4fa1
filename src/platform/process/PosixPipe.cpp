#include "platform/process/PosixPipe.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

int TPosixPipe::Create()
{
    Close();
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return errno;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    return 0;
}

void TPosixPipe::Close()
{
    if (readFd_ >= 0)
        ::close(readFd_);
    if (writeFd_ >= 0)
        ::close(writeFd_);
    readFd_ = -1;
    writeFd_ = -1;
}

bool PeekAvailable(int fd, uint32_t& available, int& err)
{
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) != 0) {
        err = errno;
        available = 0;
        return false;
    }
    available = count > 0 ? static_cast<uint32_t>(count) : 0;
    return true;
}

long ReadSome(int fd, char* buffer, std::size_t size, int& err)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno != EINTR) {
            err = errno;
            return -1;
        }
    }
}
