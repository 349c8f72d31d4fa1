// Encodes the given WAV files to MP3 one after the other through the MP3 runner, as a rip
// does, with the default MP3 settings. Prints the number of progress reports and the files
// that failed; exit code 0 when every file ended with outcome 2.
//   bench_encoders_mp3 OUT_DIR FILE.wav...
#include <csignal>
#include <cstdio>

#include <QCoreApplication>
#include <QFileInfo>

#include "core/AppEvents.h"
#include "core/ErrorHandler.h"
#include "core/Settings.h"
#include "encoders/Mp3EncodeProcess.h"

namespace {

class Driver : public QObject {
public:
    Driver(QString outDir, QStringList files) : outDir_(std::move(outDir)), files_(std::move(files))
    {
        runner_.NotifyWindow = this;
        runner_.JobKind = 1; // a rip overwrites without asking
        runner_.Encode = true;
    }

    void StartNext()
    {
        if (next_ >= files_.size()) {
            QCoreApplication::exit(failed_ == 0 ? 0 : 1);
            return;
        }
        const QString in = files_[next_++];
        runner_.Active = true;
        runner_.InputFile = in;
        runner_.OutputFile =
            outDir_ + QLatin1Char('/') + QFileInfo(in).completeBaseName() + QStringLiteral(".mp3");
        if (!GuardedCall([this] { runner_.Start(); }))
            QCoreApplication::exit(2);
    }

    bool event(QEvent* e) override
    {
        if (e->type() != static_cast<QEvent::Type>(WM_JOBPROGRESS))
            return QObject::event(e);
        const TProcessInfo& info = *static_cast<JobProgressEvent*>(e)->Info;
        if (info.Percent >= 1 && info.Percent <= 100) {
            ++reports_;
            return true;
        }
        if (info.Percent == JobCode::Mp3Ended) {
            if (info.ErrorCode != 2) {
                ++failed_;
                std::fprintf(stderr, "failed: %s\n", qPrintable(runner_.InputFile));
            }
            StartNext();
        }
        return true;
    }

    int Reports() const { return reports_; }

private:
    TMp3EncodeProcess runner_;
    QString outDir_;
    QStringList files_;
    qsizetype next_ = 0;
    int reports_ = 0;
    int failed_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_encoders_mp3 OUT_DIR FILE.wav...\n");
        return 2;
    }
    // The program's defaults for MP3 (options.ini without an [MP3] section).
    TMp3Options& o = OptionsSetting().Mp3Options;
    o.BitRate = 128;
    o.StereoMode = 1;
    o.MpegQuality = 0;
    o.IsSelectVBR = false;
    o.VBRQuality = 4;
    o.MaxBitRate = 320;
    o.IsVBRHead = false;

    const QString outDir = args.takeFirst();
    Driver driver(outDir, args);
    QMetaObject::invokeMethod(
        &driver, [&driver] { driver.StartNext(); }, Qt::QueuedConnection);
    const int rc = app.exec();
    std::printf("%lld files, %d progress reports\n", static_cast<long long>(args.size()),
                driver.Reports());
    return rc;
}
