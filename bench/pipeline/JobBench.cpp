// Runs one conversion job the way the job window does, without a window, and prints its wall
// time. Used by the comparison scripts:
//   bench_job rip-mp3 <program folder> <output folder>   rips every track of drive 0 to MP3
//   bench_job rip-wav|rip-flac|rip-opus <program folder> <output folder>   the same, to WAV...
//   bench_job ogg|flac|opus <output folder> <wav files...>   converts WAV files
// PLATTERLY_BENCH_FLAC_VERIFY=0 turns FLAC's verification off (it is on by default).
// PLATTERLY_BENCH_PARALLEL sets [CommonOptions] ParallelEncoders (default 1: the sequential job).
// PLATTERLY_BENCH_STOP_MS stops the job that many milliseconds in and prints how long it took
// until every encoder process it had started was gone.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include <QFile>

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include "audio/VorbisApi.h"
#include "cd/OpenDrive.h"
#include "cd/TrackGeometry.h"
#include "core/AppPaths.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "core/TextUtil.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "pipeline/ParallelJob.h"
#include "pipeline/RipJob.h"
#include "platform/cdaccess/CdAccess.h"

namespace {

/// Any message box during a benchmark is a failure worth seeing.
class PrintingBoxes : public IMessageBoxService {
public:
    MbAnswer Show(const MessageBoxRequest& r) override
    {
        std::fprintf(stderr, "message: %s\n", r.Text.toUtf8().constData());
        failed = true;
        return r.DefaultButton;
    }
    bool failed = false;
};

void Defaults()
{
    TOptionsSetting& o = OptionsSetting();
    o.Mp3Options = {false, false, 128, 320, 0, 4, 1};
    o.OggOptions = {true, 30, 0, 0, 0};
    o.CommonOptions.NormalizePercent = 95;
    o.FlacOptions = {5, qEnvironmentVariable("PLATTERLY_BENCH_FLAC_VERIFY") != QLatin1String("0")};
    o.OpusOptions = {160};
    bool ok = false;
    const int parallel = qEnvironmentVariableIntValue("PLATTERLY_BENCH_PARALLEL", &ok);
    o.CommonOptions.ParallelEncoders = ok ? parallel : 1;
}

/// A process that has ended, reaped or not.
bool ProcessGone(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() && line[close + 2] == 'Z';
}

/// Stops the job and waits until every encoder it ran is gone; prints how long that took.
void StopAndMeasure(TRipJob& job)
{
    std::vector<qint64> pids;
    if (const TParallelJob* parallel = job.Parallel())
        pids = parallel->ToolProcesses();
    const auto start = std::chrono::steady_clock::now();
    job.Stop();
    for (const qint64 pid : pids) {
        while (!ProcessGone(pid))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("stop to every process gone: %.1f ms (%zu encoders)\n", took.count(), pids.size());
}

/// The rip formats and conversion kinds by their command names.
int RipFormat(const QString& command)
{
    const QStringList names{QStringLiteral("rip-mp3"),  QStringLiteral("rip-wav"),
                            QStringLiteral("rip-ogg"),  QStringLiteral("rip-wma"),
                            QStringLiteral("rip-flac"), QStringLiteral("rip-opus")};
    return static_cast<int>(names.indexOf(command));
}

int ConvertKind(const QString& command)
{
    if (command == QLatin1String("ogg"))
        return jkWavToOgg;
    if (command == QLatin1String("flac"))
        return jkWavToFlac;
    if (command == QLatin1String("opus"))
        return jkWavToOpus;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_job rip-FORMAT PROGDIR OUTDIR | ogg|flac|opus OUTDIR "
                             "WAV...\n");
        return 2;
    }
    PrintingBoxes boxes;
    InstallMessageBoxService(&boxes);
    LoadVorbisLibraries();
    Defaults();

    TMp3EncodeProcess mp3;
    TWMAEncodeProcess wma;
    QStringList entries;
    int kind = 0;
    int handle = 0;
    if (RipFormat(args[0]) >= 0 && args.size() == 3) {
        SetProgramDirForTests(args[1]);
        OptionsSetting().CommonOptions.OutputFolder = args[2];
        OptionsSetting().CommonOptions.OutputFormat = RipFormat(args[0]);
        handle = OpenDrive(0).Handle;
        TocRecord toc;
        ModifyCDParms(handle, kCdpMsf, 1);
        if (handle == 0 || ReadTOC(handle, toc) != 1) {
            std::fprintf(stderr, "no disc\n");
            return 1;
        }
        for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t)
            entries << TwoDigits(t) + QStringLiteral("Track") + TwoDigits(t);
        kind = jkRipTracks;
    } else if (ConvertKind(args[0]) != 0) {
        OptionsSetting().CommonOptions.OutputFolder = args[1];
        entries = args.mid(2);
        kind = ConvertKind(args[0]);
    } else {
        return 2;
    }
    QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);

    const auto start = std::chrono::steady_clock::now();
    TRipJob job(kind, handle, entries, {&mp3, &wma});
    QObject::connect(&job, &TRipJob::CloseRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    bool ok = false;
    const int stopMs = qEnvironmentVariableIntValue("PLATTERLY_BENCH_STOP_MS", &ok);
    if (ok && job.Running())
        QTimer::singleShot(stopMs, &job, [&job] { StopAndMeasure(job); });
    if (job.Running())
        app.exec();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::printf("job wall time: %.3f s (%lld entries)\n", wall.count(),
                static_cast<long long>(entries.size()));
    if (handle != 0)
        CloseCDHandle(handle);
    return boxes.failed ? 1 : 0;
}
