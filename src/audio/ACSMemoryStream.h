#pragma once

#include <vector>

#include "audio/ACSStream.h"

/// A growable byte buffer with a read/write position.
class TACSMemoryStream : public TACSStream {
public:
    TACSMemoryStream() = default;
    explicit TACSMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

    int64_t Read(void* buffer, int64_t count) override;
    void Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t position) override;
    int64_t Position() const override { return pos_; }
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

    /// Resizes the content (new bytes are zero); the position is kept.
    void SetSize(int64_t size);
    void Clear();
    const std::vector<uint8_t>& Data() const { return data_; }
    /// Replaces the content and rewinds.
    void Assign(std::vector<uint8_t> data);

protected:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};
