#include "audio/ACSMemoryStream.h"

#include <algorithm>
#include <cstring>

int64_t TACSMemoryStream::Read(void* buffer, int64_t count)
{
    const int64_t size = static_cast<int64_t>(data_.size());
    if (count <= 0 || pos_ >= size)
        return 0;
    const int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

void TACSMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return;
    const int64_t end = pos_ + count;
    if (end > static_cast<int64_t>(data_.size()))
        data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ = end;
}

int64_t TACSMemoryStream::Seek(int64_t position)
{
    pos_ = std::max<int64_t>(position, 0);
    return pos_;
}

void TACSMemoryStream::SetSize(int64_t size)
{
    data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
}

void TACSMemoryStream::Clear()
{
    data_.clear();
    data_.shrink_to_fit();
    pos_ = 0;
}

void TACSMemoryStream::Assign(std::vector<uint8_t> data)
{
    data_ = std::move(data);
    pos_ = 0;
}
