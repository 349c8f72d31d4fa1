#pragma once

#include <cstddef>
#include <cstdint>

/// One anonymous pipe; both ends are close-on-exec, so a child only gets the ends that are
/// mapped onto its standard descriptors. Not copyable; closing is idempotent.
class TPosixPipe {
public:
    TPosixPipe() = default;
    ~TPosixPipe() { Close(); }
    TPosixPipe(const TPosixPipe&) = delete;
    TPosixPipe& operator=(const TPosixPipe&) = delete;

    /// Makes the pipe. Returns 0 or the errno of the failure (the ends stay -1 then).
    int Create();
    void Close();

    int ReadFd() const { return readFd_; }
    int WriteFd() const { return writeFd_; }

private:
    int readFd_ = -1;
    int writeFd_ = -1;
};

/// Bytes that can be read from fd without blocking (the peek). Returns false and sets err on
/// failure.
bool PeekAvailable(int fd, uint32_t& available, int& err);

/// Reads up to size bytes, retrying on EINTR. Returns the count read (0 at end of file) or -1
/// with err set.
long ReadSome(int fd, char* buffer, std::size_t size, int& err);
