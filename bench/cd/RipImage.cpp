// bench_cd_rip DISCS_DIR IMAGE OUTPUT_DIR [--no-checksums]: rips every track of the image
// through TCDRipThread to WAV, one after another as a job does, and prints the bytes and
// seconds. --no-checksums leaves the tracks' checksums out, to measure what they cost.
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <string>

#include "cd/CDRipThread.h"
#include "core/AppEvents.h"
#include "core/Settings.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaccess/LibcdioCdAccess.h"

namespace {

/// Takes the reports as a job window would, on the main thread.
class Counter : public QObject {
public:
    int64_t records = 0;
    int64_t failures = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::Type(WM_JOBPROGRESS)) {
            ++records;
            const TProcessInfo& info = *static_cast<JobProgressEvent*>(e)->Info;
            if (info.Percent == JobCode::ExtractEnded && info.ErrorCode != 0)
                ++failures;
            return true;
        }
        if (e->type() == QEvent::Type(WM_RIPFAILED)) {
            ++failures;
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool checksums = argc == 4;
    if (argc != 4 && (argc != 5 || std::string(argv[4]) != "--no-checksums")) {
        std::fprintf(stderr,
                     "usage: bench_cd_rip DISCS_DIR IMAGE_NAME OUTPUT_DIR [--no-checksums]\n");
        return 2;
    }
    LibcdioCdAccess layer(argv[1]);
    InstallCdAccess(&layer);
    DriveList list;
    GetCDList(list);
    int handle = 0;
    for (int i = 0; i < list.Count && handle == 0; ++i) {
        if (std::string(list.Entries[size_t(i)].Product.data()) == argv[2])
            handle = GetCDHandle(HandleRequest::For(list.Entries[size_t(i)]));
    }
    TocRecord toc;
    if (handle == 0 || ModifyCDParms(handle, kCdpMsf, 1) != 1 || ReadTOC(handle, toc) != 1) {
        std::fprintf(stderr, "bench_cd_rip: cannot open image %s in %s\n", argv[2], argv[1]);
        return 1;
    }
    OptionsSetting().CommonOptions.OutputFolder = QString::fromLocal8Bit(argv[3]);
    Counter counter;
    int64_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int t = toc.FirstTrack; t <= toc.LastTrack; ++t) {
        const QString wav = OptionsSetting().CommonOptions.OutputFolder +
                            QStringLiteral("/Track%1.wav").arg(t, 2, 10, QLatin1Char('0'));
        TCDRipThread rip(t, wav, OptionsSetting().CommonOptions);
        rip.SetChecksums(checksums);
        rip.SetDriveHandle(handle);
        rip.SetReceiver(&counter);
        rip.Resume();
        while (!rip.Finished()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(200);
        }
        QCoreApplication::processEvents();
        bytes += QFile(wav).size() - 44;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CloseCDHandle(handle);
    InstallCdAccess(nullptr);
    std::printf("ripped %lld bytes of audio in %.3f s (%.1f MB/s), %lld reports, %lld failures\n",
                static_cast<long long>(bytes), seconds, double(bytes) / seconds / 1e6,
                static_cast<long long>(counter.records), static_cast<long long>(counter.failures));
    std::printf("RIP_SECONDS=%.3f\nRIP_BYTES=%lld\n", seconds, static_cast<long long>(bytes));
    return counter.failures == 0 ? 0 : 1;
}
