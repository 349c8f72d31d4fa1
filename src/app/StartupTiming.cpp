#include "app/StartupTiming.h"

#include <cstdio>
#include <ctime>

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include "app/MainForm.h"

namespace {

/// Milliseconds since this process started, from the kernel's start time of the process.
double MillisecondsSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Field 22 (start time in clock ticks since boot) follows the ")" closing the name.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    const double startTicks = fields[19].toDouble();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs =
        static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
    return nowMs - startTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

void ReportStartupTiming(TMainForm& form)
{
    const QByteArray mode = qgetenv("PLATTERLY_STARTUP_TIMING");
    if (mode.isEmpty())
        return;
    // The list is filled while showing; report once the event loop runs.
    QTimer::singleShot(0, &form, [&form, mode] {
        std::fprintf(stderr, "startup-ms: %.0f rows: %d\n", MillisecondsSinceProcessStart(),
                     form.Controller().Tracks().Count());
        std::fflush(stderr);
        if (mode == "quit")
            QCoreApplication::quit();
    });
}
