#pragma once

#include <mutex>

#include <QString>

#include "audio/ACSStreamedInput.h"

/// A source reading a file named by FileName, with a sample range (StartSample inclusive,
/// EndSample exclusive, -1 for the end) and looping.
///
/// OpenFile/CloseFile nest through a counter: the format accessors open and close around each
/// read, so reading SampleRate before Init leaves the file closed again.
class TACSFileIn : public TACSStreamedInput {
public:
    int BitsPerSample() override;
    int Channels() override;
    int SampleRate() override;
    int TotalTime() override;
    void Init() override;
    void Flush() override;
    void Reset() override;

    /// Opens the stream when the counter is 0 and parses the header; increments the counter.
    virtual void OpenFile() = 0;
    /// Decrements the counter; closes the stream when it reaches 0.
    virtual void CloseFile() = 0;
    /// Positions the stream at a sample frame; false when the source cannot seek there.
    virtual bool Seek(int sampleNum) = 0;

    QString FileName() const { return fileName_; }
    void SetFileName(const QString& name);
    bool Loop() const { return loop_; }
    void SetLoop(bool loop);
    int StartSample() const { return startSample_; }
    /// Ignores negative values.
    void SetStartSample(int sample);
    int EndSample() const { return endSample_; }
    /// -1 means up to the end; other negative values are ignored.
    void SetEndSample(int sample);

    /// Whether the file's format is supported (opens the file to find out).
    bool Valid();
    /// Sample frames in the file (opens the file to find out).
    int TotalSamples();

protected:
    /// Runs fn with the file open (around OpenFile/CloseFile when seekable).
    template <typename Fn> auto WithOpenFile(Fn fn)
    {
        std::lock_guard lock(openMutex_);
        if (!seekable_)
            return fn();
        OpenFile();
        struct Closer {
            TACSFileIn* self;
            ~Closer() { self->CloseFile(); }
        } closer{this};
        return fn();
    }

    std::recursive_mutex openMutex_; // open counter and stream between owner and worker
    int openCount_ = 0;
    bool valid_ = false;
    int bits_ = 0;
    int sampleRate_ = 0;
    int channels_ = 0;
    int64_t totalSamples_ = 0;

private:
    QString fileName_;
    bool loop_ = false;
    int startSample_ = 0;
    int endSample_ = -1;
};
