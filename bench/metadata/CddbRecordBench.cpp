// Reading a record of the largest size a lookup accepts (just under 32000 characters): the
// server's answer decoded, then the record parsed and applied to a 99-track disc.
#include <benchmark/benchmark.h>

#include <QByteArray>

#include "metadata/CddbRecord.h"
#include "platform/cddb/CddbResponse.h"

namespace {

/// A full record: 99 titles, each continued on a second line, and extended data to fill it.
QByteArray BigReadAnswer()
{
    QByteArray text =
        "210 rock 6311a563 CD database entry follows\r\n# xmcd\r\n#\r\n# Track frame offsets:\r\n";
    for (int t = 0; t < 99; ++t)
        text += "#\t" + QByteArray::number(150 + t * 4000) + "\r\n";
    text += "#\r\n# Disc length: 5320 seconds\r\n#\r\nDISCID=6311a563\r\n"
            "DTITLE=Some Band With A Name / The Complete Recordings, Volume One\r\n"
            "DYEAR=1999\r\nDGENRE=Rock\r\n";
    for (int t = 0; t < 99; ++t) {
        text += "TTITLE" + QByteArray::number(t) + "=A song title long enough to be continued \r\n";
        text += "TTITLE" + QByteArray::number(t) + "=on a second line (take " +
                QByteArray::number(t) + ")\r\n";
    }
    while (text.size() < 31900)
        text += "EXTD=Liner notes: recorded live, remastered, with thanks to everybody.\\n\r\n";
    return text + ".\r\n";
}

void BM_ParseRecord32000(benchmark::State& state)
{
    const QByteArray answer = BigReadAnswer();
    qsizetype chars = 0;
    for (auto _ : state) {
        const CddbReadAnswer read = ParseCddbReadAnswer(answer, 32000);
        TDiscNames result;
        AddCddbRecord(ParseCddbRecord(read.Record), 1, 99, result);
        chars = read.Record.size();
        benchmark::DoNotOptimize(result.Titles);
    }
    state.counters["chars"] = static_cast<double>(chars);
}
BENCHMARK(BM_ParseRecord32000)->Unit(benchmark::kMicrosecond);

void BM_ParseRecordTextOnly(benchmark::State& state)
{
    const QString record = ParseCddbReadAnswer(BigReadAnswer(), 32000).Record;
    for (auto _ : state) {
        TCddbRecord r = ParseCddbRecord(record);
        benchmark::DoNotOptimize(r.Titles);
    }
}
BENCHMARK(BM_ParseRecordTextOnly)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
