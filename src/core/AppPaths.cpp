#include "core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>
#include <unistd.h>

#include "core/FileUtil.h"

namespace {

std::mutex g_mutex;
QString g_programDir;
QString g_executableDir;
QString g_testDir;

QString ComputeExecutableDir()
{
    QString dir;
    if (QCoreApplication::instance() != nullptr)
        dir = QCoreApplication::applicationDirPath();
    else
        dir = QFileInfo(QStringLiteral("/proc/self/exe"))
                  .canonicalFilePath()
                  .section(QLatin1Char('/'), 0, -2);
    return IncludeTrailingSlash(dir);
}

QString ComputeProgramDir(const QString& exeDir)
{
    if (::access(QFile::encodeName(exeDir).constData(), W_OK) == 0)
        return exeDir;
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString dir = IncludeTrailingSlash(base) + QStringLiteral("Platterly/");
    QDir().mkpath(dir);
    return dir;
}

} // namespace

QString ProgramDir()
{
    std::lock_guard lock(g_mutex);
    if (!g_testDir.isEmpty())
        return g_testDir;
    if (g_programDir.isEmpty()) {
        if (g_executableDir.isEmpty())
            g_executableDir = ComputeExecutableDir();
        g_programDir = ComputeProgramDir(g_executableDir);
    }
    return g_programDir;
}

QString ExecutableDir()
{
    std::lock_guard lock(g_mutex);
    if (!g_testDir.isEmpty())
        return g_testDir;
    if (g_executableDir.isEmpty())
        g_executableDir = ComputeExecutableDir();
    return g_executableDir;
}

void SetProgramDirForTests(const QString& dir)
{
    std::lock_guard lock(g_mutex);
    g_testDir = dir.isEmpty() ? QString() : IncludeTrailingSlash(dir);
}
