// The sample-rate converter: kernel, both paths against a whole-signal reference (which
// exposes block-boundary and tail faults), the interpolation's first samples, constant input,
// saturation, Size/Position and its errors.
#include <gtest/gtest.h>

#include <cmath>

#include "AudioTestUtil.h"
#include "audio/ACSException.h"
#include "audio/RateConverter.h"

namespace {

int16_t Sat(double v)
{
    const double r = std::nearbyint(v);
    return static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
}

double Cutoff(int in, int out)
{
    const float r = static_cast<float>(static_cast<double>(out) / in);
    return static_cast<float>(0.4 * (r > 1.0f ? 1.0 / r : r));
}

/// The converter's algorithm written for one whole channel at once: interpolate, then scatter
/// each value through the kernel (upsampling), or filter at the input rate and keep samples
/// (downsampling).
std::vector<int16_t> Reference(const std::vector<int16_t>& x, int in, int out, int n,
                               TFilterWindowType win)
{
    const std::vector<double> h = TRateConverter::MakeKernel(n, Cutoff(in, out), win);
    std::vector<int16_t> y;
    if (in > out) {
        int64_t counter = out;
        for (size_t j = 0; j < x.size(); ++j) {
            if (out < counter) {
                counter -= out;
                continue;
            }
            double s = 0;
            for (size_t k = 0; k < static_cast<size_t>(n); ++k) {
                s += h[static_cast<size_t>(n) - 1 - k] * (j >= k ? x[j - k] : 0);
            }
            y.push_back(Sat(s));
            counter += in - out;
        }
        return y;
    }
    std::vector<double> v;
    int64_t counter = 0;
    int prev = 0;
    for (int16_t next : x) {
        while (counter < out) {
            v.push_back(std::nearbyint(
                static_cast<double>(int64_t(prev) * (out - counter) + int64_t(next) * counter) /
                out));
            counter += in;
        }
        counter -= out;
        prev = next;
    }
    const auto taps = static_cast<size_t>(n);
    std::vector<double> acc(v.size() + taps, 0.0);
    for (size_t f = 0; f < v.size(); ++f)
        for (size_t i = 0; i < taps; ++i)
            acc[f + i] += v[f] * h[i];
    for (size_t f = 0; f < v.size(); ++f)
        y.push_back(Sat(acc[f]));
    return y;
}

std::vector<int16_t> Convert(const std::vector<int16_t>& x, int in, int out, int channels = 1,
                             int n = 30, TFilterWindowType win = fwBlackman,
                             int64_t chunk = INT64_MAX)
{
    TMemorySource src(ToBytes(x), in, channels, 16);
    src.chunk = chunk;
    TRateConverter rc;
    rc.SetInput(&src);
    rc.SetOutSampleRate(out);
    rc.SetKernelWidth(n);
    rc.SetFilterWindow(win);
    return ToSamples(ReadAll(rc, 5000));
}

std::vector<int16_t> Noise(int n, int amplitude = 20000)
{
    std::vector<int16_t> s(static_cast<size_t>(n));
    uint32_t seed = 12345;
    for (size_t i = 0; i < s.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        s[i] = static_cast<int16_t>(static_cast<int>(seed >> 16) % (2 * amplitude + 1) - amplitude);
    }
    return s;
}

} // namespace

TEST(AudioRateConverter, KernelHasUnitGainAndTheWindowsShape)
{
    for (TFilterWindowType w : {fwHamming, fwHann, fwBlackman}) {
        for (int n : {2, 7, 30, 64}) {
            const std::vector<double> h = TRateConverter::MakeKernel(n, 0.2, w);
            double sum = 0;
            for (double v : h)
                sum += v;
            EXPECT_NEAR(sum, 1.0, 1e-12);
            // For even N the window and the sinc share their centre: symmetric about tap N/2.
            const auto half = static_cast<size_t>(n / 2);
            for (size_t d = 1; n % 2 == 0 && half + d < h.size(); ++d)
                EXPECT_NEAR(h[half + d], h[half - d], 1e-12) << n << " " << d;
        }
    }
    // Hann and Blackman start at zero, so two taps are a one-sample delay.
    const std::vector<double> two = TRateConverter::MakeKernel(2, 0.2, fwBlackman);
    EXPECT_NEAR(two[0], 0.0, 1e-15);
    EXPECT_NEAR(two[1], 1.0, 1e-15);
    // A long kernel at cutoff 0.2 passes DC and stops the Nyquist frequency.
    const std::vector<double> h = TRateConverter::MakeKernel(30, 0.2, fwBlackman);
    double nyquist = 0;
    for (size_t i = 0; i < h.size(); ++i)
        nyquist += (i % 2 ? -1 : 1) * h[i];
    EXPECT_LT(std::abs(nyquist), 1e-3);
}

TEST(AudioRateConverter, DoublingInterpolatesMidpointsFromTheRememberedSample)
{
    // With a two-tap Blackman kernel (a pure one-sample delay) the interpolation is visible.
    const std::vector<int16_t> x = {1000, 3000, -1000, 2001};
    TMemorySource src(ToBytes(x), 22050, 1, 16);
    TRateConverter rc;
    rc.SetInput(&src);
    rc.SetOutSampleRate(44100);
    rc.SetKernelWidth(2);
    rc.Init();
    EXPECT_EQ(rc.Size(), 16);
    int16_t out[16];
    const int64_t got = rc.GetData(out, sizeof out);
    ASSERT_EQ(got, 16);
    // delay, previous (0), mid(0, x0), x0, mid, x1, mid, x2, mid(x2, x3); x3 is not emitted.
    EXPECT_EQ(std::vector<int16_t>(out, out + 8),
              (std::vector<int16_t>{0, 0, 500, 1000, 2000, 3000, 1000, -1000}));
    EXPECT_EQ(rc.GetData(out, sizeof out), 0);
    rc.Flush();

    // The next run of the same converter (the job's next file) starts from silence again,
    // not from this file's last sample.
    rc.Init();
    ASSERT_EQ(rc.GetData(out, sizeof out), 16);
    EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{0, 0, 500, 1000}));
    rc.Flush();
}

TEST(AudioRateConverter, MatchesTheWholeSignalReferenceAcrossBlocks)
{
    struct Case {
        int in, out, n;
        TFilterWindowType w;
        int frames;
    };
    // Frame counts put short last blocks (fewer than N - 1 samples) at the end.
    const Case cases[] = {
        {22050, 44100, 30, fwBlackman, 8192 * 3 + 7},
        {32000, 44100, 30, fwHamming, 11888 * 2 + 3},
        {11025, 44100, 17, fwHann, 20000},
        {44100, 44100, 30, fwBlackman, 16384 + 5},
        {48000, 44100, 30, fwBlackman, 16384 * 2 + 5},
        {44100, 22050, 31, fwHann, 16384 + 1},
        {44100, 8000, 64, fwHamming, 40000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in << "->" << c.out);
        const std::vector<int16_t> x = Noise(c.frames);
        const std::vector<int16_t> ours = Convert(x, c.in, c.out, 1, c.n, c.w, 1000);
        EXPECT_TRUE(ours == Reference(x, c.in, c.out, c.n, c.w));
    }
}

TEST(AudioRateConverter, StereoRunsBothChannelsInLockstep)
{
    const std::vector<int16_t> l = Noise(30000);
    std::vector<int16_t> r = l;
    for (int16_t& v : r)
        v = static_cast<int16_t>(-v / 2);
    std::vector<int16_t> st(2 * l.size());
    for (size_t i = 0; i < l.size(); ++i) {
        st[2 * i] = l[i];
        st[2 * i + 1] = r[i];
    }
    for (auto [in, out] : {std::pair{22050, 44100}, std::pair{48000, 44100}}) {
        const std::vector<int16_t> both = Convert(st, in, out, 2);
        const std::vector<int16_t> refL = Reference(l, in, out, 30, fwBlackman);
        const std::vector<int16_t> refR = Reference(r, in, out, 30, fwBlackman);
        ASSERT_EQ(both.size(), 2 * refL.size());
        for (size_t i = 0; i < refL.size(); ++i) {
            ASSERT_EQ(both[2 * i], refL[i]) << i;
            ASSERT_EQ(both[2 * i + 1], refR[i]) << i;
        }
    }
}

TEST(AudioRateConverter, ConstantInputGivesTheConstantOnceTheFilterHasFilled)
{
    for (TFilterWindowType w : {fwHamming, fwHann, fwBlackman}) {
        for (auto [in, out] :
             {std::pair{22050, 44100}, std::pair{44100, 44100}, std::pair{48000, 44100}}) {
            const std::vector<int16_t> y =
                Convert(std::vector<int16_t>(20000, 12345), in, out, 1, 30, w);
            ASSERT_GT(y.size(), 100u);
            for (size_t i = 60; i < y.size(); ++i)
                ASSERT_EQ(y[i], 12345) << i;
            const std::vector<int16_t> silent =
                Convert(std::vector<int16_t>(20000, 0), in, out, 1, 30, w);
            EXPECT_TRUE(
                std::all_of(silent.begin(), silent.end(), [](int16_t v) { return v == 0; }));
        }
    }
}

TEST(AudioRateConverter, DownsamplingKeepsTheFirstFrameAndAboutOutOfEveryIn)
{
    std::vector<int16_t> x(48000, 0);
    x[0] = 30000;
    const std::vector<int16_t> y = Convert(x, 48000, 44100);
    EXPECT_EQ(y.size(), 44100u);
    const std::vector<double> h = TRateConverter::MakeKernel(30, Cutoff(48000, 44100), fwBlackman);
    EXPECT_EQ(y[0], Sat(h[29] * 30000));
    EXPECT_EQ(Convert(std::vector<int16_t>(44100, 5), 44100, 44100).size(), 44100u);
}

TEST(AudioRateConverter, FilterSumsBeyond16BitsSaturate)
{
    // A full-scale square wave rings past the 16-bit range after filtering.
    std::vector<int16_t> x(20000);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = (i / 40) % 2 ? -32768 : 32767;
    const std::vector<int16_t> y = Convert(x, 22050, 44100);
    EXPECT_EQ(*std::max_element(y.begin(), y.end()), 32767);
    EXPECT_EQ(*std::min_element(y.begin(), y.end()), -32768);
    for (size_t i = 1; i < y.size(); ++i)
        ASSERT_LT(std::abs(int(y[i]) - int(y[i - 1])), 40000) << "wrapped at " << i;
}

TEST(AudioRateConverter, EightBitInputIsWidened)
{
    Bytes u8(10000);
    std::vector<int16_t> s16(10000);
    for (size_t i = 0; i < u8.size(); ++i) {
        u8[i] = static_cast<uint8_t>(128 + 100 * std::sin(static_cast<double>(i) * 0.05));
        s16[i] = static_cast<int16_t>((u8[i] - 128) * 256);
    }
    TMemorySource src(u8, 11025, 1, 8);
    TRateConverter rc;
    rc.SetInput(&src);
    rc.SetOutSampleRate(44100);
    EXPECT_EQ(rc.BitsPerSample(), 16);
    EXPECT_EQ(ToSamples(ReadAll(rc)), Convert(s16, 11025, 44100));
}

TEST(AudioRateConverter, SizeAndPosition)
{
    TMemorySource src(ToBytes(Noise(22050)), 22050, 2, 16);
    TRateConverter rc;
    rc.SetInput(&src);
    rc.SetOutSampleRate(44100);
    rc.Init();
    EXPECT_EQ(rc.Size(), 2 * 44100);
    Bytes buf(7000);
    int64_t total = 0, n;
    while ((n = rc.GetData(buf.data(), 7000)) > 0) {
        total += n;
        EXPECT_LE(rc.Position(), rc.Size());
    }
    EXPECT_EQ(total, rc.Size());
    EXPECT_EQ(rc.Position(), rc.Size());
    rc.Flush();

    src.reportedSize = -1;
    rc.Init();
    EXPECT_EQ(rc.Size(), -1);
    rc.Flush();
}

TEST(AudioRateConverter, InputEndingOnABlockBoundaryEndsWithAnEmptyRead)
{
    // 44100 -> 44100 reads 32768-byte blocks: two whole blocks of mono input.
    TMemorySource src(Bytes(65536, 1), 44100, 1, 16);
    TRateConverter rc;
    rc.SetInput(&src);
    rc.SetOutSampleRate(44100);
    rc.Init();
    Bytes buf(32768);
    EXPECT_EQ(rc.GetData(buf.data(), 32768), 32768);
    EXPECT_EQ(rc.GetData(buf.data(), 32768), 32768);
    EXPECT_EQ(rc.GetData(buf.data(), 32768), 0);
    EXPECT_EQ(rc.GetData(buf.data(), 32768), 0);
    rc.Flush();
}

TEST(AudioRateConverter, SettersAndErrors)
{
    TRateConverter rc;
    EXPECT_EQ(rc.OutSampleRate(), 22050);
    EXPECT_EQ(rc.KernelWidth(), 30);
    EXPECT_EQ(rc.FilterWindow(), fwBlackman);
    rc.SetKernelWidth(1);
    rc.SetOutSampleRate(0);
    rc.SetOutSampleRate(-44100);
    EXPECT_EQ(rc.KernelWidth(), 30);
    EXPECT_EQ(rc.OutSampleRate(), 22050);
    EXPECT_EQ(rc.SampleRate(), 22050);

    try {
        rc.Channels();
        FAIL();
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Input not assigned");
    }
    EXPECT_THROW(rc.Init(), EACSException);
    uint8_t b[4];
    try {
        rc.GetData(b, 4);
        FAIL();
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "The Stream is not opened");
    }

    TMemorySource src(Bytes(100, 0), 44100, 1, 16);
    rc.SetInput(&src);
    rc.Init();
    rc.SetKernelWidth(10); // ignored while busy
    EXPECT_EQ(rc.KernelWidth(), 30);
    rc.Flush();
}

TEST(AudioRateConverter, FormatsItCannotTakeDeliverNothing)
{
    for (auto [channels, rate] : {std::pair{3, 44100}, std::pair{2, 0}}) {
        TMemorySource src(Bytes(6000, 9), rate, channels, 16);
        TRateConverter rc;
        rc.SetInput(&src);
        rc.SetOutSampleRate(44100);
        EXPECT_TRUE(ReadAll(rc).empty());
    }
}
