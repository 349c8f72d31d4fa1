#include "audio/ACSFileIn.h"

#include <algorithm>
#include <cstdint>

#include "audio/ACSException.h"
#include "core/TextUtil.h"

int TACSFileIn::BitsPerSample()
{
    return WithOpenFile([this] { return bits_; });
}

int TACSFileIn::Channels()
{
    return WithOpenFile([this] { return channels_; });
}

int TACSFileIn::SampleRate()
{
    return WithOpenFile([this] { return sampleRate_; });
}

bool TACSFileIn::Valid()
{
    return WithOpenFile([this] { return valid_; });
}

int TACSFileIn::TotalSamples()
{
    return WithOpenFile(
        [this] { return static_cast<int>(std::min<int64_t>(totalSamples_, INT32_MAX)); });
}

int TACSFileIn::TotalTime()
{
    std::lock_guard lock(openMutex_);
    OpenFile();
    struct Closer {
        TACSFileIn* self;
        ~Closer() { self->CloseFile(); }
    } closer{this};
    const int64_t perSecond = static_cast<int64_t>(sampleRate_) * channels_ * (bits_ / 8);
    if (perSecond <= 0)
        return 0;
    return static_cast<int>(
        RoundHalfEven(static_cast<double>(Size()) / static_cast<double>(perSecond)));
}

void TACSFileIn::Init()
{
    std::lock_guard lock(openMutex_);
    if (Busy())
        throw EACSException("The component is buisy");
    if (!streamAssigned_ && fileName_.isEmpty())
        throw EACSException("The file name is not assigned");
    OpenFile();
    if (startSample_ != 0)
        Seek(startSample_);
    if (startSample_ != 0 || endSample_ != -1) {
        const int64_t frames = endSample_ == -1 ? totalSamples_ - startSample_
                                                : static_cast<int64_t>(endSample_) - startSample_;
        SetSize(static_cast<int64_t>(BitsPerSample() / 8) * frames * Channels());
    }
    SetBusy(true);
    bufStart_ = 1;
    bufEnd_ = 0;
    SetPosition(0);
}

void TACSFileIn::Flush()
{
    std::lock_guard lock(openMutex_);
    CloseFile();
    SetBusy(false);
}

void TACSFileIn::Reset()
{
    std::lock_guard lock(openMutex_);
    TACSStreamedInput::Reset();
    // Close for real rather than just zeroing the counter, so no stream is left behind.
    while (openCount_ > 0)
        CloseFile();
}

void TACSFileIn::SetFileName(const QString& name)
{
    if (!Busy())
        fileName_ = name;
}

void TACSFileIn::SetLoop(bool loop)
{
    if (!Busy())
        loop_ = loop;
}

void TACSFileIn::SetStartSample(int sample)
{
    if (!Busy() && sample >= 0)
        startSample_ = sample;
}

void TACSFileIn::SetEndSample(int sample)
{
    if (!Busy() && sample >= -1)
        endSample_ = sample;
}
