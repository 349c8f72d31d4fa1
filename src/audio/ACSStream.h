#pragma once

#include <cstdint>

/// A seekable byte stream: what the file sources and sinks read and write (a file or memory).
class TACSStream {
public:
    virtual ~TACSStream() = default;

    /// Copies up to count bytes from the current position; returns the count read, 0 at the end.
    /// Raises EACSException when the bytes cannot be read (an I/O error is not an end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    /// Writes count bytes at the current position, growing the stream as needed; raises
    /// EACSException when not all could be written (possibly only when the data is flushed).
    virtual void Write(const void* buffer, int64_t count) = 0;
    /// Moves to an absolute position (negative positions become 0); returns the new position.
    virtual int64_t Seek(int64_t position) = 0;
    virtual int64_t Position() const = 0;
    virtual int64_t Size() = 0;

    /// Reads exactly count bytes; false (with the position advanced by what was read) otherwise.
    bool ReadExact(void* buffer, int64_t count) { return Read(buffer, count) == count; }
};
