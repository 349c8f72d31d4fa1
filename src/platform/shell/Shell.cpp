#include "platform/shell/Shell.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>

#include "core/AppPaths.h"

extern char** environ;

namespace {

std::function<bool(const QString&)> g_hook;

/// Waits for one launcher to end without blocking the event loop: its pidfd becomes readable
/// when it exits. Going away (with its context) stops the wait, never the launcher.
class LauncherWatch : public QObject {
public:
    LauncherWatch(pid_t pid, int pidfd, QObject* context,
                  std::function<void(const QString&)> failed)
        : QObject(context), pid_(pid), pidfd_(pidfd), failed_(std::move(failed)),
          notifier_(pidfd, QSocketNotifier::Read)
    {
        started_.start();
        setObjectName(QStringLiteral("ShellLauncherWatch"));
        connect(&notifier_, &QSocketNotifier::activated, this, &LauncherWatch::Ended);
    }
    ~LauncherWatch() override
    {
        notifier_.setEnabled(false);
        ::close(pidfd_);
    }

private:
    void Ended()
    {
        notifier_.setEnabled(false);
        int status = 0;
        pid_t rc;
        do {
            rc = ::waitpid(pid_, &status, WNOHANG);
        } while (rc < 0 && errno == EINTR);
        // On a desktop without its own opener, xdg-open runs the viewer in the foreground and
        // ends with it: an end after the first seconds is the viewer closing, not a failure.
        constexpr qint64 kFailureWindowMs = 10000;
        if (rc == pid_ && failed_ && started_.elapsed() < kFailureWindowMs) {
            if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
                failed_(QStringLiteral("xdg-open ended with code %1").arg(WEXITSTATUS(status)));
            else if (WIFSIGNALED(status))
                failed_(QStringLiteral("xdg-open was ended by signal %1").arg(WTERMSIG(status)));
        }
        deleteLater();
    }

    pid_t pid_;
    int pidfd_;
    std::function<void(const QString&)> failed_;
    QSocketNotifier notifier_;
    QElapsedTimer started_;
};

/// Starts the launcher in a process group of its own (so a Ctrl+C meant for the program leaves
/// what it opened alone) with SIGPIPE back at its default. 0 or the errno of the failure.
int SpawnLauncher(const QString& launcher, const QUrl& url, pid_t& pid)
{
    const QByteArray program = launcher.toLocal8Bit();
    const QByteArray target = url.toEncoded();
    char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>(target.constData()),
                    nullptr};
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t mask;
    sigemptyset(&mask);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &mask);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                        POSIX_SPAWN_SETSIGMASK);
    const int rc = ::posix_spawn(&pid, program.constData(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    return rc;
}

} // namespace

bool ShellOpenUrl(const QUrl& url)
{
    if (g_hook)
        return g_hook(url.toString());
    return QDesktopServices::openUrl(url);
}

bool ShellOpenPath(const QString& path)
{
    return ShellOpenUrl(QUrl::fromLocalFile(path));
}

void ShellOpenUrl(const QUrl& url, QObject* context,
                  std::function<void(const QString& reason)> failed)
{
    const QPointer<QObject> alive(context);
    const auto fail = [&](const QString& reason) {
        if (alive && failed)
            failed(reason);
    };
    if (g_hook) {
        if (!g_hook(url.toString()))
            fail(QStringLiteral("no program to open it was found"));
        return;
    }
    // xdg-open is what Qt itself would start; run directly, its exit code tells whether the
    // desktop could open the URL. Without it, Qt's other launchers, which report only a start.
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (launcher.isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            fail(QStringLiteral("no program to open it was found"));
        return;
    }
    pid_t pid = 0;
    const int rc = SpawnLauncher(launcher, url, pid);
    if (rc != 0) {
        fail(QStringLiteral("xdg-open could not start: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(rc))));
        return;
    }
    int pidfd = -1;
#ifdef SYS_pidfd_open
    pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
    if (pidfd < 0 || !alive) {
        // Nothing to wait with (a kernel without pidfd): the start is all that can be told.
        if (pidfd >= 0)
            ::close(pidfd);
        return;
    }
    new LauncherWatch(pid, pidfd, context, std::move(failed));
}

bool ShellStartDetached(const QString& program, const QStringList& args)
{
    if (g_hook)
        return g_hook((QStringList{program} + args).join(QLatin1Char(' ')));
    return QProcess::startDetached(program, args);
}

QUrl ManualUrl(const QString& section)
{
    QUrl url = QUrl::fromLocalFile(ManualPath());
    if (!section.isEmpty())
        url.setFragment(section);
    return url;
}

void SetShellHookForTests(std::function<bool(const QString&)> hook)
{
    g_hook = std::move(hook);
}
