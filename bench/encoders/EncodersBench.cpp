// Throughput of the output parsers on what lame prints while encoding and decoding.
#include <benchmark/benchmark.h>

#include "encoders/LameOutput.h"
#include "encoders/ToolOutput.h"
#include "encoders/WmaOutput.h"

namespace {

// One chunk as lame writes it to a pipe while encoding: a progress line ended by CR, then the
// statistics block with terminal escapes.
QByteArray LameEncodeChunk(int lines)
{
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        chunk += QByteArray("\r   ") + QByteArray::number(100 + i) +
                 "/11600  ( 8%)|    0:00/    0:02|    0:00/    0:02|   73.407x|    0:02 \n"
                 "----------------------------------------------------------------------\x1b[K\n"
                 "   kbps        MS  %     long switch short %\x1b[K\n"
                 "  128.0      100.0        98.5   1.0   0.5\x1b[K\x1b[A\x1b[A\x1b[A";
    }
    return chunk;
}

QByteArray LameDecodeChunk(int lines)
{
    QByteArray chunk;
    for (int i = 0; i < lines; ++i)
        chunk += QByteArray("\rFrame#  ") + QByteArray::number(1000 + i) +
                 "/11600   128 kbps   MS            \b\b\b\b\b\b\b\b";
    return chunk;
}

void BM_SplitAndParseLameEncode(benchmark::State& state)
{
    const QByteArray chunk = LameEncodeChunk(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        int32_t column = 0;
        int reports = 0;
        for (const QString& line : SplitToolOutput(chunk))
            reports += ParseLameEncodeLine(line, column) ? 1 : 0;
        benchmark::DoNotOptimize(reports);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * chunk.size());
}
BENCHMARK(BM_SplitAndParseLameEncode)->Arg(1)->Arg(64);

void BM_SplitAndParseLameDecode(benchmark::State& state)
{
    const QByteArray chunk = LameDecodeChunk(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        int32_t column = 0;
        int reports = 0;
        for (const QString& line : SplitToolOutput(chunk))
            reports += ParseLameDecodeLine(line, column, 3) ? 1 : 0;
        benchmark::DoNotOptimize(reports);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * chunk.size());
}
BENCHMARK(BM_SplitAndParseLameDecode)->Arg(1)->Arg(256);

void BM_SplitAndClassifyWma(benchmark::State& state)
{
    QByteArray chunk;
    for (int i = 0; i < 100; ++i)
        chunk += QByteArray::number(i) + "%\n";
    for (auto _ : state) {
        int done = 0;
        for (const QString& line : SplitToolOutput(chunk))
            done += ClassifyWmaLine(line) == TWmaLine::Done ? 1 : 0;
        benchmark::DoNotOptimize(done);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * chunk.size());
}
BENCHMARK(BM_SplitAndClassifyWma);

} // namespace

BENCHMARK_MAIN();
