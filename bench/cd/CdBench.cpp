// Normalisation of a 50 MB WAV (target: at least 150 MB/s) and rips of a small image.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <vector>

#include "cd/CDRipThread.h"
#include "cd/RipSupport.h"
#include "cd/WavNormalizer.h"
#include "core/Settings.h"
#include "makedisc/DiscImageWriter.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaccess/LibcdioCdAccess.h"
#include "verify/AccurateRip.h"

namespace {

void WriteTestWav(const QString& path, int64_t audioBytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        std::abort();
    const auto header = MakeRipWavHeader(uint32_t(audioBytes));
    f.write(reinterpret_cast<const char*>(header.data()), header.size());
    std::vector<uint8_t> sector(makedisc::kSectorBytes);
    for (int64_t s = 0; s * makedisc::kSectorBytes < audioBytes; ++s) {
        makedisc::RenderTrackSector(1, s, 3, sector.data());
        const int64_t n =
            std::min<int64_t>(makedisc::kSectorBytes, audioBytes - s * makedisc::kSectorBytes);
        f.write(reinterpret_cast<const char*>(sector.data()), n);
    }
}

void BM_NormalizeWav50MB(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString wav = dir.path() + QStringLiteral("/track.wav");
    const int64_t bytes = 50LL * 1000 * 1000;
    WriteTestWav(wav, bytes);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        // The progress records are built as the extraction thread builds them.
        const bool ok = NormalizeWavFile(wav, 95, [&](int64_t pos, int64_t size) {
            benchmark::DoNotOptimize(MakeProgressRecord(pos, size, start));
        });
        if (!ok)
            state.SkipWithError("normalisation failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (bytes + 44));
}
BENCHMARK(BM_NormalizeWav50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_ScaleSamples(benchmark::State& state)
{
    std::vector<uint8_t> sector(makedisc::kSectorBytes);
    makedisc::RenderTrackSector(2, 7, 1, sector.data());
    constexpr size_t kBlock = 2048; // the normalisation's block
    for (auto _ : state) {
        ScaleSamples(sector.data(), kBlock, 0.95f);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBlock));
}
BENCHMARK(BM_ScaleSamples);

/// One read of the extraction: ten sectors of a track.
std::vector<uint8_t> TenSectors()
{
    std::vector<uint8_t> block(10 * makedisc::kSectorBytes);
    for (size_t s = 0; s < 10; ++s)
        makedisc::RenderTrackSector(2, int64_t(s), 1, block.data() + s * makedisc::kSectorBytes);
    return block;
}

/// A track's checksums as the extraction takes them: ten sectors at a time, just read.
void BM_TrackChecksums(benchmark::State& state)
{
    const std::vector<uint8_t> block = TenSectors();
    TTrackChecksums sums(int64_t{1} << 40, false, false);
    for (auto _ : state) {
        sums.Add(block.data(), block.size());
        benchmark::DoNotOptimize(sums.V2());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(block.size()));
}
BENCHMARK(BM_TrackChecksums);

/// The same taken while the block is copied into the writer's block, as the extraction does;
/// against the copy alone (the rip without checksums).
void BM_TrackChecksumsWhileCopying(benchmark::State& state)
{
    const std::vector<uint8_t> block = TenSectors();
    std::vector<uint8_t> to(block.size());
    TTrackChecksums sums(int64_t{1} << 40, false, false);
    for (auto _ : state) {
        if (state.range(0) != 0)
            sums.AddCopy(to.data(), block.data(), block.size());
        else
            std::memcpy(to.data(), block.data(), block.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(block.size()));
}
BENCHMARK(BM_TrackChecksumsWhileCopying)->Arg(1)->Arg(0);

void BM_RipTrackFromImage(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString discs = dir.path() + QStringLiteral("/discs");
    QDir().mkpath(discs);
    const int64_t sectors = 75 * 60; // one minute
    std::string error;
    if (!makedisc::WriteDiscImage(QFile::encodeName(discs).toStdString(), "bench", {sectors}, {},
                                  &error))
        std::abort();
    LibcdioCdAccess layer(QFile::encodeName(discs).toStdString());
    InstallCdAccess(&layer);
    DriveList list;
    GetCDList(list);
    int handle = 0;
    for (int i = 0; i < list.Count; ++i) {
        if (std::string(list.Entries[size_t(i)].Product.data()) == "bench")
            handle = GetCDHandle(HandleRequest::For(list.Entries[size_t(i)]));
    }
    OptionsSetting().CommonOptions.OutputFolder = dir.path();
    for (auto _ : state) {
        TCDRipThread rip(1, QStringLiteral("bench"), OptionsSetting().CommonOptions);
        rip.SetDriveHandle(handle);
        rip.Resume();
    } // the destructor waits for the rip
    CloseCDHandle(handle);
    InstallCdAccess(nullptr);
    state.SetBytesProcessed(int64_t(state.iterations()) * sectors * makedisc::kSectorBytes);
}
BENCHMARK(BM_RipTrackFromImage)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime(); // the work is on the rip thread

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
