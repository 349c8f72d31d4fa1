// SaveDiscInfo and LoadDiscInfo against a cdinfo.dat that remembers 10,000 discs.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "app/DiscInfoStore.h"
#include "core/AppPaths.h"
#include "core/Settings.h"

namespace {

void MakeBigCdInfo(const QString& path, int discs)
{
    QByteArray text;
    for (int d = 0; d < discs; ++d) {
        text += "[" + QByteArray::number(100000 + d * 7919) + "]\r\nArtist=Artist " +
                QByteArray::number(d) +
                "\r\nAlbum=Album\r\nYear=1999\r\nGenre=17\r\nComment=\r\nTrackNumber=12\r\n";
        for (int k = 1; k <= 12; ++k)
            text += QByteArray::number(k) + "=Title number " + QByteArray::number(k) + "\r\n";
    }
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
}

void FillInfo()
{
    TCDInfo& i = OptionsSetting().CDInfo;
    i.Artist = QStringLiteral("New artist");
    i.TrackNumber = 14;
    for (int k = 1; k <= 14; ++k)
        i.Track[static_cast<size_t>(k)] = QStringLiteral("Renamed %1").arg(k);
}

void BM_SaveDiscInfo10000(benchmark::State& state)
{
    QTemporaryDir dir;
    SetProgramDirForTests(dir.path());
    MakeBigCdInfo(CdInfoFilePath(), 10000);
    FillInfo();
    int n = 0;
    for (auto _ : state) {
        // Alternate between an existing section and a new one.
        SaveDiscInfo(QString::number((n++ % 2) == 0 ? 100000 + 5000 * 7919 : -42));
    }
    SetProgramDirForTests(QString());
}
BENCHMARK(BM_SaveDiscInfo10000)->Unit(benchmark::kMillisecond);

void BM_LoadDiscInfo10000(benchmark::State& state)
{
    QTemporaryDir dir;
    SetProgramDirForTests(dir.path());
    MakeBigCdInfo(CdInfoFilePath(), 10000);
    for (auto _ : state)
        LoadDiscInfo(QString::number(100000 + 9999 * 7919));
    SetProgramDirForTests(QString());
}
BENCHMARK(BM_LoadDiscInfo10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
