#pragma once

#include <array>
#include <vector>

#include "audio/ACSConverter.h"
#include "audio/ACSTypes.h"

/// Changes the sample rate of 8- or 16-bit mono or stereo PCM to OutSampleRate (always
/// delivering 16-bit), with a windowed-sinc low-pass kernel of KernelWidth taps whose pass band
/// ends at 0.4 of the lower rate. Downsampling filters at the input rate and keeps input
/// samples at the output rate; upsampling and equal rates interpolate linearly to the output
/// rate and filter there. Filter sums beyond 16 bits saturate. An input of another format, or
/// without a usable rate, delivers no data.
class TRateConverter : public TACSConverter {
public:
    TRateConverter();
    ~TRateConverter() override;

    int BitsPerSample() override { return 16; }
    /// The input's channels; raises "Input not assigned" without an input.
    int Channels() override;
    int SampleRate() override { return outSampleRate_; }
    void Init() override;
    int64_t GetData(void* buffer, int64_t bufferSize) override;
    void Flush() override;

    int OutSampleRate() const { return outSampleRate_; }
    /// Ignores values of 0 or less and any value while Busy.
    void SetOutSampleRate(int value);
    int KernelWidth() const { return kernelWidth_; }
    /// Ignores values below 2 and any value while Busy.
    void SetKernelWidth(int value);
    TFilterWindowType FilterWindow() const { return filterWindow_; }
    void SetFilterWindow(TFilterWindowType value);

    /// The kernel Init builds: n taps of the window times sinc at cutoff fc (cycles per
    /// sample), normalised to a sum of 1.
    static std::vector<double> MakeKernel(int n, double fc, TFilterWindowType window);

private:
    bool ConvertBlock(int64_t bytes);
    void Downsample(int frames);
    void Upsample(int frames);

    int outSampleRate_ = 22050;
    int kernelWidth_ = 30;
    TFilterWindowType filterWindow_ = fwBlackman;

    // The run: set by Init.
    bool endOfInput_ = false;
    bool usable_ = false;
    int channels_ = 0;
    int inBytesPerSample_ = 2;
    int64_t inRate_ = 0;
    int64_t outRate_ = 0;
    int64_t counter_ = -1;
    int64_t inputSize_ = 0;
    int64_t inputRead_ = 0;    // bytes taken from the input this run
    int blockFrames_ = 0;      // input frames per block
    std::vector<uint8_t> raw_; // one input block as read
    std::vector<int16_t> in_;  // the block as 16-bit samples, interleaved
    std::vector<int16_t> out_; // converted block, interleaved
    std::vector<double> kernel_;
    std::vector<double> kernelReversed_;
    // Per channel: the last KernelWidth - 1 values of the filtered sequence followed by this
    // block's values (input samples when downsampling, interpolated ones when upsampling).
    std::array<std::vector<double>, 2> seq_;
    std::vector<double> filtered_; // one channel's filter sums before rounding
    // The last input sample of the previous block per channel; 0 at the start of a run.
    std::array<int, 2> previous_{0, 0};
};
