#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

class TACSInput;

/// A sink or filter that reads a TACSInput; told when that input is destroyed so it can drop it.
class IACSInputConsumer {
public:
    /// Called while `input` is being destroyed: stop using it (and do not call into it).
    virtual void InputRemoved(TACSInput* input) = 0;

protected:
    ~IACSInputConsumer() = default;
};

/// Abstract audio source. Delivers interleaved little-endian PCM (16-bit signed or 8-bit
/// unsigned, left before right) through GetData between Init and Flush.
///
/// Threads: Init, GetData and Flush run on one thread at a time (the owner's before a job, the
/// reading sink's worker during it). Position, Size and Busy may be read from any thread.
class TACSInput {
public:
    TACSInput() = default;
    virtual ~TACSInput();
    TACSInput(const TACSInput&) = delete;
    TACSInput& operator=(const TACSInput&) = delete;

    virtual int BitsPerSample() = 0;
    virtual int Channels() = 0;
    virtual int SampleRate() = 0;
    /// Seconds of audio.
    virtual int TotalTime() { return 0; }
    /// Copies at most bufferSize bytes into buffer; returns the count, 0 at the end of the data.
    /// Returns less than asked whenever the source's own buffer holds less; never blocks.
    virtual int64_t GetData(void* buffer, int64_t bufferSize) = 0;
    /// Flush, swallowing any exception, then clears Busy.
    virtual void Reset();
    /// Prepares a run: Busy set, Position 0, own buffer empty, Size the bytes the run delivers.
    virtual void Init() = 0;
    /// Ends the run, releasing what Init acquired; clears Busy.
    virtual void Flush() = 0;

    /// Bytes delivered since Init.
    int64_t Position() const { return position_.load(std::memory_order_relaxed); }
    /// Bytes this run delivers; -1 when unknown.
    int64_t Size() const { return size_.load(std::memory_order_relaxed); }
    bool Busy() const { return busy_.load(std::memory_order_acquire); }

    /// Registers a reader of this source (done by SetInput of sinks and filters).
    void AddConsumer(IACSInputConsumer* consumer);
    void RemoveConsumer(IACSInputConsumer* consumer);

protected:
    /// Tells every consumer that this source goes away. Concrete sources call it first thing in
    /// their destructor, while the object is still whole; later calls do nothing.
    void NotifyRemoval();

    void SetPosition(int64_t v) { position_.store(v, std::memory_order_relaxed); }
    void SetSize(int64_t v) { size_.store(v, std::memory_order_relaxed); }
    void SetBusy(bool v) { busy_.store(v, std::memory_order_release); }

    /// 1-based index of the next unread byte of the source's own buffer, and of its last valid
    /// byte; start > end means the buffer is empty.
    int bufStart_ = 1;
    int bufEnd_ = 0;

private:
    std::atomic<int64_t> position_{0};
    std::atomic<int64_t> size_{0};
    std::atomic<bool> busy_{false};
    std::vector<IACSInputConsumer*> consumers_; // guarded by the link mutex (ACSInput.cpp)
};
