#pragma once

#include <memory>

#include "audio/ACSOutput.h"
#include "audio/ACSStream.h"

/// A sink that writes a stream: its own (a file it opens) unless one is assigned.
class TACSStreamedOutput : public TACSOutput {
public:
    /// Writes to a caller-owned stream instead of a file; nullptr goes back to the file.
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

protected:
    TACSStream* stream_ = nullptr;
    std::unique_ptr<TACSStream> ownedStream_; // the stream when not assigned
    bool streamAssigned_ = false;
};
