#pragma once

#include <memory>

#include "audio/ACSInput.h"
#include "audio/ACSStream.h"

/// A source that reads a stream: its own (opened from a file) unless one is assigned.
class TACSStreamedInput : public TACSInput {
public:
    /// Reads from a caller-owned stream instead of a file; nullptr goes back to the file.
    /// Ignored while Busy.
    void SetStream(TACSStream* stream)
    {
        if (Busy())
            return;
        ownedStream_.reset();
        stream_ = stream;
        streamAssigned_ = stream != nullptr;
    }
    bool StreamAssigned() const { return streamAssigned_; }
    bool Seekable() const { return seekable_; }

protected:
    TACSStream* stream_ = nullptr;
    std::unique_ptr<TACSStream> ownedStream_; // the stream when not assigned
    bool streamAssigned_ = false;
    bool seekable_ = true;
};
