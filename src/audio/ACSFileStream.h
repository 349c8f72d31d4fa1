#pragma once

#include <memory>
#include <vector>

#include <QString>

#include "audio/ACSStream.h"

/// A file as a TACSStream, with a small buffer so block-sized reads and writes stay cheap.
/// Writes are buffered until a seek away, a read, Size or Close; a failed write or flush raises
/// "Cannot write file "name". reason", and a read that fails (rather than meeting the end of
/// the file) raises "Cannot read file "name". reason".
class TACSFileStream : public TACSStream {
public:
    enum class Mode {
        Read,      ///< existing file, read only, shared
        ReadWrite, ///< existing file, read and write, other writers refused (exclusive lock)
        Create,    ///< created or truncated, exclusive lock taken before truncating
    };

    /// Opens the file; raises EACSException naming the file when it cannot.
    static std::unique_ptr<TACSFileStream> Open(const QString& fileName, Mode mode);
    ~TACSFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    void Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t position) override;
    int64_t Position() const override { return pos_; }
    int64_t Size() override;

    /// Flushes pending writes and closes; raises on a failed flush (the file is closed anyway).
    void Close();

private:
    TACSFileStream(int fd, const QString& name);
    void FlushWrites();
    [[noreturn]] void ThrowReadError(int err) const;
    [[noreturn]] void ThrowWriteError(int err) const;

    static constexpr int64_t kBufferSize = 64 * 1024;
    int fd_ = -1;
    QString name_;
    std::vector<uint8_t> buf_;
    int64_t bufPos_ = 0; // file offset of buf_[0]
    int64_t bufLen_ = 0; // valid (read) or pending (write) bytes in buf_
    bool dirty_ = false; // buf_ holds pending writes rather than cached reads
    int64_t pos_ = 0;
};
