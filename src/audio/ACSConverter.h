#pragma once

#include <atomic>

#include "audio/ACSInput.h"
#include "audio/SpinFlag.h"

/// A filter: a source that reads another source (Input).
class TACSConverter : public TACSInput, public IACSInputConsumer {
public:
    ~TACSConverter() override;

    TACSInput* Input() const { return input_.load(); }
    /// The swap protocol: stored directly when idle; when Busy the new input is initialised,
    /// swapped in between two reads and the old one flushed. A value that would make the chain
    /// loop back to this filter is ignored.
    virtual void SetInput(TACSInput* value);

    void InputRemoved(TACSInput* input) override;

protected:
    /// Reads from Input under InputLock; 0 when there is no input.
    int64_t ReadInput(void* buffer, int64_t count);

    TSpinFlag inputLock_;

private:
    std::atomic<TACSInput*> input_{nullptr};
};
