#include "cli/CliJob.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include "core/AppEvents.h"
#include "core/FileUtil.h"
#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "pipeline/RipVerification.h"

namespace {

int gSignalPipe[2] = {-1, -1};
bool gBarShown = false;               // a progress bar without its line end is on the terminal
std::function<void()> gOnLoopFailure; // stops the job that runs

void OnSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    (void)!::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

QString OneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

void EndBar()
{
    if (gBarShown)
        std::fputs("\n", stderr);
    gBarShown = false;
}

/// Draws the job's view: a bar redrawn in place on a terminal, a line per step otherwise.
class TProgress {
public:
    TProgress() : tty_(::isatty(STDERR_FILENO) == 1) {}

    void Show(const TJobView& view)
    {
        if (!tty_) {
            if (view.Caption != caption_ && !view.Caption.isEmpty())
                std::fprintf(stderr, "%s\n", qPrintable(view.Caption));
            caption_ = view.Caption;
            return;
        }
        constexpr int kWidth = 30;
        const int filled = view.Bar * kWidth / 100;
        const QString bar =
            QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
        QString times = view.Label1;
        if (!view.Label2.isEmpty())
            times += QLatin1Char('/') + view.Label2;
        const QString line =
            QStringLiteral("[%1] %2%  %3  %4").arg(bar).arg(view.Bar, 3).arg(view.Caption, times);
        // Reports come many times a second: the terminal hears only of a change.
        if (line == drawn_ && gBarShown)
            return;
        drawn_ = line;
        std::fprintf(stderr, "\r\033[K%s", qPrintable(line));
        std::fflush(stderr);
        gBarShown = true;
    }

private:
    bool tty_;
    QString caption_;
    QString drawn_;
};

/// Takes the job's two report events before the job does, so that a report the job cannot
/// move on from ends the job instead of leaving it to wait for a Stop nobody will press.
class TJobWatch : public QObject {
public:
    explicit TJobWatch(TRipJob& job) : job_(job) {}

    bool Failed() const { return failed_; }
    /// Entries whose extraction ended with a read or write error.
    const std::vector<int>& BrokenExtractions() const { return broken_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched != &job_)
            return false;
        if (e->type() == static_cast<QEvent::Type>(WM_JOBPROGRESS)) {
            auto* progress = static_cast<JobProgressEvent*>(e);
            const int32_t code = progress->Info ? progress->Info->Percent : 0;
            const int32_t outcome = progress->Info ? progress->Info->ErrorCode : 0;
            const int entry = job_.ExtractIndex();
            const bool extracting =
                job_.Running() && job_.View().GroupCaption == QLatin1String("Extracting");
            Guard([&] { job_.HandleJobProgress(std::move(progress->Info)); });
            if (extracting && code == JobCode::ExtractEnded &&
                (outcome == ExtractOutcome::ReadError || outcome == ExtractOutcome::WriteError))
                broken_.push_back(entry);
            return true;
        }
        if (e->type() == static_cast<QEvent::Type>(WM_RIPFAILED)) {
            const int code = static_cast<RipFailedEvent*>(e)->Code;
            Guard([&] { job_.HandleRipFailed(code); });
            StopJob(); // the job waits for Stop after this report
            return true;
        }
        return false;
    }

private:
    template <typename F> void Guard(F&& f)
    {
        try {
            f();
        } catch (const std::exception& ex) {
            CliError(QString::fromUtf8(ex.what()));
            StopJob();
        } catch (...) {
            CliError(QStringLiteral("Unknown error"));
            StopJob();
        }
    }

    void StopJob()
    {
        failed_ = true;
        QTimer::singleShot(0, &job_, [this] { job_.Stop(); });
    }

    TRipJob& job_;
    bool failed_ = false;
    std::vector<int> broken_;
};

void RemovePartial(const QString& path)
{
    // Only a plain file the job wrote; a link or special file at the name was never written.
    if (!path.isEmpty() && IsRegularFile(path) && !IsLinkOrSpecialFile(path) && !IsFileInUse(path))
        QFile::remove(path);
}

} // namespace

void CliLoopFailure(const QString& what)
{
    CliError(what);
    if (gOnLoopFailure)
        QTimer::singleShot(0, QCoreApplication::instance(), [] {
            if (gOnLoopFailure)
                gOnLoopFailure();
        });
}

void CliError(const QString& line)
{
    EndBar();
    std::fprintf(stderr, "platterly-cli: %s\n", qPrintable(OneLine(line)));
    std::fflush(stderr);
}

TCliMessages::TCliMessages() : previous_(InstallMessageBoxService(this)) {}

TCliMessages::~TCliMessages()
{
    InstallMessageBoxService(previous_);
}

MbAnswer TCliMessages::Show(const MessageBoxRequest& request)
{
    CliError(request.Text);
    switch (request.Buttons) {
    case MbButtons::Ok:
        return MbAnswer::Ok;
    case MbButtons::OkCancel:
    case MbButtons::YesNoCancel:
        return MbAnswer::Cancel;
    case MbButtons::YesNo:
        break;
    }
    return MbAnswer::No;
}

TOverwriteAnswer TCliQuestions::AskOverwrite(const QStringList& existing)
{
    if (overwrite_)
        return TOverwriteAnswer::Replace;
    CliError(QStringLiteral("%1 exists already; nothing was ripped (--overwrite replaces it)")
                 .arg(existing.value(0)));
    return TOverwriteAnswer::Cancel;
}

TCliInterrupt::TCliInterrupt(QObject* parent) : QObject(parent)
{
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default effect
    notifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        bool any = false;
        while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0)
            any = true;
        if (any && !interrupted_) {
            interrupted_ = true;
            Q_EMIT Raised();
        }
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

TCliInterrupt::~TCliInterrupt()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

TCliJobResult RunCliJob(int kind, int cdHandle, const QStringList& entries, TJobRunners runners,
                        const QStringList& partials, TCliInterrupt& interrupt)
{
    TCliJobResult result;
    TRipJob job(kind, cdHandle, entries, runners);
    TJobWatch watch(job);
    job.installEventFilter(&watch);
    TProgress progress;
    QEventLoop loop;
    int cutEntry = -1; // the entry whose extraction a signal cut short
    QObject::connect(&job, &TRipJob::ViewChanged, &loop, [&] { progress.Show(job.View()); });
    QObject::connect(&job, &TRipJob::CloseRequested, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    const auto stop = [&] {
        if (job.Running() && job.View().GroupCaption == QLatin1String("Extracting"))
            cutEntry = job.ExtractIndex();
        job.Stop();
    };
    QObject::connect(&interrupt, &TCliInterrupt::Raised, &loop, stop);
    // An exception that reached the loop belonged to the job's step: it cannot end now.
    gOnLoopFailure = [&] { stop(); };
    if (job.Running() && !interrupt.Interrupted())
        loop.exec();
    gOnLoopFailure = nullptr;
    stop(); // cleans up at once when it has not ended by itself (Ctrl+C before the loop ran)
    EndBar();
    result.Interrupted = interrupt.Interrupted();
    for (int k = 0; k < entries.size(); ++k)
        result.Succeeded.push_back(job.EntrySucceeded(k));
    if (std::unique_ptr<TRipVerification> verification = job.TakeVerification()) {
        // The log waits for the AccurateRip answer (its time-out at most); Ctrl+C stops waiting.
        if (!verification->Done() && !interrupt.Interrupted()) {
            QEventLoop wait;
            QObject::connect(verification.get(), &TRipVerification::Finished, &wait,
                             &QEventLoop::quit);
            QObject::connect(&interrupt, &TCliInterrupt::Raised, &wait, &QEventLoop::quit);
            wait.exec();
        }
        if (verification->Done()) {
            for (int k = 0; k < entries.size(); ++k)
                result.Verified << verification->TrackText(k);
            result.VerifySummary = verification->Notice().Summary;
            result.VerifyWarning =
                verification->Notice().Level != TResultNotice::Severity::Information;
        }
    }
    // What an extraction cut short or broken off wrote is no whole track.
    std::vector<int> broken = watch.BrokenExtractions();
    if (cutEntry >= 0)
        broken.push_back(cutEntry);
    for (const int k : broken) {
        if (!result.Succeeded.at(static_cast<size_t>(k)))
            RemovePartial(partials.value(k));
    }
    return result;
}
