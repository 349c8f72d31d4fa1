// Hot paths of the audio stream library on real files: resampling a WAV file into another
// (as the conversion job does), ADPCM decoding, and Vorbis encoding through the framework.
// Input files come from $PLATTERLY_BENCH_AUDIO_DIR (compare.sh makes them); without it,
// shorter synthetic inputs are written to a temporary folder (no Microsoft ADPCM then).
#include <benchmark/benchmark.h>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "audio/ACSMemoryStream.h"
#include "audio/RateConverter.h"
#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"

namespace {

/// A source of synthetic 16-bit audio, used only to make input files.
class TToneSource : public TACSInput {
public:
    TToneSource(int seconds, int rate, int channels)
        : frames_(int64_t(seconds) * rate), rate_(rate), channels_(channels)
    {
    }
    ~TToneSource() override { NotifyRemoval(); }
    int BitsPerSample() override { return 16; }
    int Channels() override { return channels_; }
    int SampleRate() override { return rate_; }
    void Init() override
    {
        frame_ = 0;
        SetSize(frames_ * channels_ * 2);
        SetPosition(0);
        SetBusy(true);
    }
    void Flush() override { SetBusy(false); }
    int64_t GetData(void* buffer, int64_t size) override
    {
        auto* out = static_cast<int16_t*>(buffer);
        int64_t n = std::min<int64_t>(size / (2 * channels_), frames_ - frame_);
        for (int64_t i = 0; i < n; ++i, ++frame_) {
            const double t = double(frame_) / rate_;
            noise_ = noise_ * 1664525u + 1013904223u;
            for (int c = 0; c < channels_; ++c)
                *out++ = static_cast<int16_t>(8000 * std::sin(2 * M_PI * (220 + 330 * c) * t) +
                                              2000 * std::sin(2 * M_PI * 3100 * t) +
                                              int(noise_ >> 20) - 2048);
        }
        SetPosition(Position() + n * 2 * channels_);
        return n * 2 * channels_;
    }

private:
    int64_t frames_, frame_ = 0;
    int rate_, channels_;
    uint32_t noise_ = 1;
};

/// Runs a sink's job on its worker and waits for the end.
void RunJob(TACSOutput& sink)
{
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    auto end = [&] {
        std::lock_guard lock(m);
        ended = true;
        cv.notify_all();
    };
    sink.SetOnDone([&](TACSOutput*) { end(); });
    sink.SetOnThreadException([&](TACSOutput*, const EAppException&) { end(); });
    sink.Run();
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return ended; });
}

QTemporaryDir& Scratch()
{
    static QTemporaryDir dir;
    return dir;
}

QString Input(const char* name, int seconds, int rate, TWavType type)
{
    const QByteArray dir = qgetenv("PLATTERLY_BENCH_AUDIO_DIR");
    if (!dir.isEmpty())
        return QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name));
    const QString path = Scratch().filePath(QString::fromLatin1(name));
    if (!QFile::exists(path) && type != wtMSADPCM) {
        TToneSource tone(seconds, rate, 2);
        TWaveOut out;
        out.SetFileName(path);
        out.SetWavType(type);
        out.SetInput(&tone);
        RunJob(out);
    }
    return path;
}

void ReportAudio(benchmark::State& state, double audioSeconds)
{
    state.counters["x_realtime"] =
        benchmark::Counter(audioSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

/// 22050 -> 44100 Hz stereo with a 30-tap Blackman kernel, file to file, as the job resamples.
void BM_Resample22050To44100File(benchmark::State& state)
{
    const QString in = Input("in22050.wav", 60, 22050, wtPCM);
    const QString out = Scratch().filePath(QStringLiteral("out44100.wav"));
    TWaveIn reader;
    reader.SetFileName(in);
    if (!reader.Valid()) {
        state.SkipWithError("no input file");
        return;
    }
    const double seconds = double(reader.TotalSamples()) / reader.SampleRate();
    TRateConverter rc;
    rc.SetInput(&reader);
    rc.SetOutSampleRate(44100);
    rc.SetKernelWidth(30);
    rc.SetFilterWindow(fwBlackman);
    TWaveOut writer;
    writer.SetInput(&rc);
    writer.SetFileName(out);
    for (auto _ : state)
        RunJob(writer);
    ReportAudio(state, seconds);
}
BENCHMARK(BM_Resample22050To44100File)->Unit(benchmark::kMillisecond)->UseRealTime();

/// The converter alone on audio in memory: the filter's own cost.
void BM_ResampleInMemory(benchmark::State& state)
{
    const int seconds = 20;
    TToneSource tone(seconds, 22050, 2);
    TRateConverter rc;
    rc.SetInput(&tone);
    rc.SetOutSampleRate(44100);
    std::vector<uint8_t> buf(65536);
    for (auto _ : state) {
        rc.Init();
        while (rc.GetData(buf.data(), int64_t(buf.size())) > 0) {
        }
        rc.Flush();
    }
    ReportAudio(state, seconds);
}
BENCHMARK(BM_ResampleInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

void Decode(benchmark::State& state, const char* name, TWavType type)
{
    TWaveIn reader;
    reader.SetFileName(Input(name, 60, 44100, type));
    if (!QFile::exists(reader.FileName()) || !reader.Valid()) {
        state.SkipWithError("no input file");
        return;
    }
    const double seconds = double(reader.TotalSamples()) / reader.SampleRate();
    std::vector<uint8_t> buf(65536);
    int64_t bytes = 0;
    for (auto _ : state) {
        reader.Init();
        int64_t n;
        while ((n = reader.GetData(buf.data(), int64_t(buf.size()))) > 0)
            bytes += n;
        reader.Flush();
    }
    benchmark::DoNotOptimize(bytes);
    ReportAudio(state, seconds);
}

void BM_DecodeImaAdpcm(benchmark::State& state)
{
    Decode(state, "ima.wav", wtDVIADPCM);
}
BENCHMARK(BM_DecodeImaAdpcm)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeMsAdpcm(benchmark::State& state)
{
    Decode(state, "ms.wav", wtMSADPCM);
}
BENCHMARK(BM_DecodeMsAdpcm)->Unit(benchmark::kMillisecond)->UseRealTime();

/// WAV to Ogg Vorbis at quality 0.2, file to file, as the job encodes.
void BM_VorbisQuality02File(benchmark::State& state)
{
    if (!LoadVorbisLibraries()) {
        state.SkipWithError("Ogg/Vorbis libraries missing");
        return;
    }
    TWaveIn reader;
    reader.SetFileName(Input("in44100.wav", 30, 44100, wtPCM));
    if (!reader.Valid()) {
        state.SkipWithError("no input file");
        return;
    }
    const double seconds = double(reader.TotalSamples()) / reader.SampleRate();
    TVorbisOut writer;
    writer.SetInput(&reader);
    writer.SetCompression(0.2f);
    writer.SetFileName(Scratch().filePath(QStringLiteral("out.ogg")));
    for (auto _ : state)
        RunJob(writer);
    ReportAudio(state, seconds);
}
BENCHMARK(BM_VorbisQuality02File)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
