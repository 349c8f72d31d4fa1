#include "audio/RateConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/ACSException.h"

namespace {

constexpr double kTwoPi = 6.28318530718;
constexpr double kFourPi = 12.56637061436;
constexpr int kBlockBytes = 32768;

/// Nearest integer with ties to even (the default rounding mode), exact for |v| < 2^51.
inline double RoundEven(double v)
{
    constexpr double kMagic = 6755399441055744.0; // 1.5 x 2^52
    return (v + kMagic) - kMagic;
}

inline int16_t Saturate(double v)
{
    const double r = RoundEven(v);
    if (r >= 32767.0)
        return 32767;
    if (r <= -32768.0)
        return -32768;
    return static_cast<int16_t>(r);
}

/// sum over j of k[j] * x[j], j ascending, for n taps.
inline double Dot(const double* k, const double* x, int n)
{
    double s = 0.0;
    for (int j = 0; j < n; ++j)
        s += k[j] * x[j];
    return s;
}

/// The same sum taken from the last tap down.
inline double DotDescending(const double* k, const double* x, int n)
{
    double s = 0.0;
    for (int j = n - 1; j >= 0; --j)
        s += k[j] * x[j];
    return s;
}

using V4 = double __attribute__((vector_size(32)));

/// y[j] = sum over t of k[t] * s[j + t] for j < count, each sum taken tap by tap from t = 0
/// (the scatter form's order). Eight outputs at a time in vector lanes: the lanes are separate
/// outputs, so every sum is formed exactly as one at a time would form it.
__attribute__((always_inline)) inline void FilterRunBody(const double* k, int n, const double* s,
                                                         int count, double* y)
{
    int j = 0;
    for (; j + 8 <= count; j += 8) {
        V4 a = {0.0, 0.0, 0.0, 0.0};
        V4 b = {0.0, 0.0, 0.0, 0.0};
        const double* x = s + j;
        for (int t = 0; t < n; ++t) {
            const V4 kt = {k[t], k[t], k[t], k[t]};
            V4 xa, xb;
            std::memcpy(&xa, x + t, sizeof xa);
            std::memcpy(&xb, x + t + 4, sizeof xb);
            a += kt * xa;
            b += kt * xb;
        }
        std::memcpy(y + j, &a, sizeof a);
        std::memcpy(y + j + 4, &b, sizeof b);
    }
    for (; j < count; ++j)
        y[j] = Dot(k, s + j, n);
}

// Chosen at run time rather than through an ifunc, whose resolver runs before sanitizer
// runtimes are ready. AVX2 without FMA: products and sums stay separately rounded.
__attribute__((target("avx2"))) void FilterRunAvx2(const double* k, int n, const double* s,
                                                   int count, double* y)
{
    FilterRunBody(k, n, s, count, y);
}

void FilterRunBaseline(const double* k, int n, const double* s, int count, double* y)
{
    FilterRunBody(k, n, s, count, y);
}

void FilterRun(const double* k, int n, const double* s, int count, double* y)
{
    using Fn = void (*)(const double*, int, const double*, int, double*);
    static const Fn chosen = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? &FilterRunAvx2 : &FilterRunBaseline;
    }();
    chosen(k, n, s, count, y);
}

} // namespace

TRateConverter::TRateConverter() = default;

TRateConverter::~TRateConverter()
{
    NotifyRemoval();
    if (Busy()) {
        try {
            Flush();
        } catch (...) {
        }
    }
}

std::vector<double> TRateConverter::MakeKernel(int n, double fc, TFilterWindowType window)
{
    std::vector<double> h(static_cast<size_t>(n));
    const int m = n / 2;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        double w;
        switch (window) {
        case fwHamming:
            w = 0.54 - 0.46 * std::cos(kTwoPi * i / n);
            break;
        case fwHann:
            w = (1.0 - std::cos(kTwoPi * i / n)) / 2.0;
            break;
        default:
            w = 0.42 - 0.5 * std::cos(kTwoPi * i / n) + 0.08 * std::cos(kFourPi * i / n);
            break;
        }
        const double tap = i == m ? w * kTwoPi * fc : w * std::sin(kTwoPi * fc * (i - m)) / (i - m);
        h[static_cast<size_t>(i)] = tap;
        sum += tap;
    }
    for (double& v : h)
        v /= sum;
    return h;
}

int TRateConverter::Channels()
{
    TACSInput* input = Input();
    if (!input)
        throw EACSException("Input not assigned");
    return input->Channels();
}

void TRateConverter::SetOutSampleRate(int value)
{
    if (!Busy() && value > 0)
        outSampleRate_ = value;
}

void TRateConverter::SetKernelWidth(int value)
{
    if (!Busy() && value >= 2)
        kernelWidth_ = value;
}

void TRateConverter::SetFilterWindow(TFilterWindowType value)
{
    if (!Busy() && value <= fwBlackman)
        filterWindow_ = value;
}

void TRateConverter::Init()
{
    TACSInput* input = Input();
    if (!input)
        throw EACSException("Input not assigned");
    input->Init();
    endOfInput_ = false;
    SetBusy(true);
    SetPosition(0);
    bufStart_ = 1;
    bufEnd_ = 0;
    inputRead_ = 0;
    // Each run interpolates from silence: the last sample of the previous file is no part of
    // this one (kept, it starts the next file with a click).
    previous_ = {0, 0};

    channels_ = input->Channels();
    const int bits = input->BitsPerSample();
    inRate_ = input->SampleRate();
    outRate_ = outSampleRate_;
    inputSize_ = input->Size();
    // Only formats the routines can take; anything else delivers nothing rather than noise.
    usable_ = (channels_ == 1 || channels_ == 2) && (bits == 8 || bits == 16) && inRate_ > 0;
    if (!usable_) {
        endOfInput_ = true;
        SetSize(0);
        return;
    }
    inBytesPerSample_ = bits / 8;

    const float r =
        static_cast<float>(static_cast<double>(outRate_) / static_cast<double>(inRate_));
    int blockBytes = kBlockBytes;
    if (r > 1.0f)
        blockBytes = static_cast<int>(std::trunc(kBlockBytes / static_cast<double>(r))) & ~3;
    // Block sizes count 16-bit input; at least one frame, so every rate makes progress.
    blockFrames_ = std::max(1, blockBytes / (2 * channels_));
    raw_.assign(static_cast<size_t>(blockFrames_ * channels_ * inBytesPerSample_), 0);
    in_.assign(static_cast<size_t>(blockFrames_ * channels_), 0);

    const int n = kernelWidth_;
    // Each input interval yields at most ceil(out / in) values.
    const int64_t perInterval = (outRate_ + inRate_ - 1) / inRate_;
    const int64_t maxOut = r >= 1.0f ? blockFrames_ * perInterval + 1 : blockFrames_;
    out_.assign(static_cast<size_t>(maxOut * channels_), 0);
    for (auto& s : seq_)
        s.clear();
    for (size_t c = 0; c < static_cast<size_t>(channels_); ++c)
        seq_[c].assign(static_cast<size_t>(n - 1 + maxOut), 0.0);
    filtered_.assign(static_cast<size_t>(maxOut), 0.0);

    if (inputSize_ < 0) {
        SetSize(-1);
    } else {
        const double outBytes = static_cast<double>(inputSize_) * r * 2.0 / inBytesPerSample_;
        SetSize(static_cast<int64_t>(std::nearbyint(outBytes)));
    }
    counter_ = -1;

    const float fc = static_cast<float>(
        0.4 * (r > 1.0f ? 1.0 / static_cast<double>(r) : static_cast<double>(r)));
    kernel_ = MakeKernel(n, fc, filterWindow_);
    // Upsampling scatters each value v[f] through the kernel into outputs f..f+N-1, so output
    // y[f] = sum of h[i] v[f-i]: a dot product of the reversed kernel with the sequence in time
    // order, summed oldest first as the scatter adds.
    kernelReversed_.assign(kernel_.rbegin(), kernel_.rend());
}

void TRateConverter::Flush()
{
    if (TACSInput* input = Input())
        input->Flush();
    raw_.clear();
    raw_.shrink_to_fit();
    in_.clear();
    in_.shrink_to_fit();
    out_.clear();
    out_.shrink_to_fit();
    for (auto& s : seq_) {
        s.clear();
        s.shrink_to_fit();
    }
    filtered_.clear();
    filtered_.shrink_to_fit();
    SetBusy(false);
}

int64_t TRateConverter::GetData(void* buffer, int64_t bufferSize)
{
    if (!Busy())
        throw EACSException("The Stream is not opened");
    if (bufStart_ > bufEnd_) {
        if (endOfInput_)
            return 0;
        const int64_t want = static_cast<int64_t>(raw_.size());
        int64_t got = ReadInput(raw_.data(), want);
        if (got <= 0)
            return 0;
        while (got < want) {
            const int64_t n = ReadInput(raw_.data() + got, want - got);
            if (n <= 0) {
                endOfInput_ = true;
                break;
            }
            got += n;
        }
        inputRead_ += got;
        if (!ConvertBlock(got))
            return 0;
    }
    const int64_t n = std::min<int64_t>(bufferSize, bufEnd_ - bufStart_ + 1);
    if (n <= 0)
        return 0;
    std::memcpy(buffer, reinterpret_cast<const uint8_t*>(out_.data()) + bufStart_ - 1,
                static_cast<size_t>(n));
    bufStart_ += static_cast<int>(n);
    int64_t inPosition = inputRead_;
    {
        TSpinGuard guard(inputLock_);
        if (TACSInput* input = Input())
            inPosition = input->Position();
    }
    if (inputSize_ > 0)
        SetPosition(static_cast<int64_t>(
            std::nearbyint(static_cast<double>(Size()) / static_cast<double>(inputSize_) *
                           static_cast<double>(inPosition))));
    else
        SetPosition(Position() + n);
    return n;
}

bool TRateConverter::ConvertBlock(int64_t bytes)
{
    const int frames = static_cast<int>(bytes / (channels_ * inBytesPerSample_));
    if (frames <= 0)
        return false;
    const int samples = frames * channels_;
    if (inBytesPerSample_ == 2) {
        std::memcpy(in_.data(), raw_.data(), static_cast<size_t>(samples) * 2);
    } else {
        for (size_t i = 0; i < static_cast<size_t>(samples); ++i)
            in_[i] = static_cast<int16_t>((raw_[i] - 128) * 256);
    }
    if (inRate_ > outRate_)
        Downsample(frames);
    else
        Upsample(frames);
    return bufEnd_ >= bufStart_;
}

void TRateConverter::Downsample(int frames)
{
    const int n = kernelWidth_;
    const int hist = n - 1;
    if (counter_ < 0)
        counter_ = outRate_;
    const int64_t startCounter = counter_;
    int produced = 0;
    const int16_t* const in = in_.data();
    int16_t* const out = out_.data();
    for (int c = 0; c < channels_; ++c) {
        double* z = seq_[static_cast<size_t>(c)].data();
        for (int j = 0; j < frames; ++j)
            z[hist + j] = in[j * channels_ + c];
        int64_t counter = startCounter;
        int f = 0;
        for (int j = 0; j < frames; ++j) {
            if (outRate_ < counter) {
                counter -= outRate_;
                continue;
            }
            // y = sum over k = 0..N-1 of h[N-1-k] x[j-k], newest sample first.
            out[f * channels_ + c] = Saturate(DotDescending(kernel_.data(), z + j, n));
            ++f;
            counter += inRate_ - outRate_;
        }
        // The tail: the last N - 1 samples of old tail + block, so short blocks keep history.
        std::memmove(z, z + frames, static_cast<size_t>(hist) * sizeof(double));
        counter_ = counter;
        produced = f;
    }
    bufStart_ = 1;
    bufEnd_ = produced * channels_ * 2;
}

void TRateConverter::Upsample(int frames)
{
    const int n = kernelWidth_;
    const int hist = n - 1;
    const int64_t out = outRate_;
    const int64_t in = inRate_;
    if (counter_ < 0)
        counter_ = 0;
    const int64_t startCounter = counter_;
    int produced = 0;
    const int16_t* const samplesIn = in_.data();
    int16_t* const samplesOut = out_.data();
    for (size_t c = 0; c < static_cast<size_t>(channels_); ++c) {
        const int channel = static_cast<int>(c);
        double* v = seq_[c].data() + hist;
        int64_t counter = startCounter;
        int f = 0;
        int prev = previous_[c];
        // Products in integers, the division in floating point, rounded to even.
        for (int i = 0; i < frames; ++i) {
            const int next = samplesIn[i * channels_ + channel];
            while (counter < out) {
                v[f++] =
                    RoundEven(static_cast<double>(static_cast<int64_t>(prev) * (out - counter) +
                                                  static_cast<int64_t>(next) * counter) /
                              static_cast<double>(out));
                counter += in;
            }
            counter -= out;
            prev = next;
        }
        previous_[c] = prev;
        counter_ = counter;

        double* y = filtered_.data();
        FilterRun(kernelReversed_.data(), n, seq_[c].data(), f, y);
        for (int j = 0; j < f; ++j)
            samplesOut[j * channels_ + channel] = Saturate(y[j]);
        std::memmove(seq_[c].data(), seq_[c].data() + f,
                     static_cast<size_t>(hist) * sizeof(double));
        produced = f;
    }
    bufStart_ = 1;
    bufEnd_ = produced * channels_ * 2;
}
