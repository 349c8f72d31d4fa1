// bench_recorder_long_take SECONDS FOLDER: records SECONDS of 44100 Hz 16-bit stereo from the
// default input through the recorder and its real wave-audio device, in FOLDER, and prints the
// figures: peak resident memory, saved length against the wall time, Stop to saved file.
// Run it inside tests/support/pulse-session.sh (bench/recorder/long_take.sh does).
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/AppPaths.h"
#include "core/ThreadHandoff.h"
#include "platform/waveaudio/QtWaveAudio.h"
#include "platform/waveaudio/WaveFormat.h"
#include "recorder/RecordLogic.h"

namespace {

long PeakRssKb()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void RunFor(int64_t ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    InstallHandoffObserver(&app);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_recorder_long_take SECONDS FOLDER\n");
        return 2;
    }
    const int64_t seconds = std::atoll(argv[1]);
    SetProgramDirForTests(QString::fromLocal8Bit(argv[2]));

    {
        // A freshly started server delivers its first capture stream late: one short take first.
        const QString scratch = ProgramDir() + QStringLiteral("warm.wav");
        QFile f(scratch);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(BuildWaveHeader({44100, 16, 2}, 0)) != kWaveHeaderSize)
            return 1;
        f.close();
        TQtWaveAudio warm;
        if (!warm.Open(scratch) || !warm.Record())
            return 1;
        RunFor(1500);
        warm.Close();
        QFile::remove(scratch);
    }
    TQtWaveAudio device;
    TRecordLogic logic(device, {});
    logic.AskNewRecordFormat = [](TNewRecordChoice& c) {
        c = {QStringLiteral("44100"), false, false};
        return true;
    };
    logic.FormCreate();
    logic.New();

    const long before = PeakRssKb();
    QElapsedTimer wall;
    wall.start();
    logic.ClickButton(btRecord);
    // The window's recording timer ticks every 100 ms; Stop comes 0.15 s past a whole second,
    // so the recorder waits about 0.85 s before it saves.
    int64_t traced = 0;
    while (wall.elapsed() < seconds * 1000 + 150) {
        RunFor(100);
        logic.TimerRecordTimer();
        if (std::getenv("LONGTAKE_TRACE") && wall.elapsed() / 1000 > traced) {
            traced = wall.elapsed() / 1000;
            std::printf("  %6.1f s: %lld ms recorded\n",
                        static_cast<double>(wall.elapsed()) / 1000.0,
                        static_cast<long long>(device.Length()));
        }
    }
    QElapsedTimer stop;
    stop.start();
    logic.ClickButton(btStop);
    const int64_t stopMs = stop.elapsed();
    const int64_t wallMs = wall.elapsed();
    const qint64 bytes = QFile(TRecordLogic::NoNameFile()).size() - kWaveHeaderSize;
    const double saved = static_cast<double>(bytes) / 176400.0;
    std::printf("take: %.3f s saved for %.3f s of wall time (difference %.3f s)\n", saved,
                static_cast<double>(wallMs) / 1000.0, static_cast<double>(wallMs) / 1000.0 - saved);
    std::printf("peak RSS: %.1f MB (%.1f MB before the take)\n",
                static_cast<double>(PeakRssKb()) / 1024.0, static_cast<double>(before) / 1024.0);
    std::printf("stop to saved file: %lld ms (the wait to the whole second included)\n",
                static_cast<long long>(stopMs));
    return 0;
}
