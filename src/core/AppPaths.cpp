#include "core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <mutex>
#include <unistd.h>

#include "core/FileUtil.h"

namespace {

std::mutex g_mutex;
// Decided once, on first use; guarded by g_mutex.
QString g_executableDir;
int g_installed = -1;
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

const QString& ExeDirLocked()
{
    if (g_executableDir.isEmpty())
        g_executableDir = ComputeExecutableDir();
    return g_executableDir;
}

/// <prefix>/share/platterly/ of an installation, whether or not it exists.
QString ShareDirOf(const QString& exeDir)
{
    return QDir::cleanPath(exeDir + QStringLiteral("../share/platterly")) + QLatin1Char('/');
}

bool InstalledLocked()
{
    if (g_installed < 0) {
        const QString exe = ExeDirLocked();
        // Root may write anywhere, so the layout decides first; the old rule stays for a copy
        // of the program in a folder the user cannot write.
        g_installed = DirectoryExists(ShareDirOf(exe)) ||
                      ::access(QFile::encodeName(exe).constData(), W_OK) != 0;
    }
    return g_installed == 1;
}

QString XdgDir(const char* variable, const char* fallback)
{
    QString base = qEnvironmentVariable(variable);
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
    const QString dir = IncludeTrailingSlash(base) + QStringLiteral("Platterly/");
    QDir().mkpath(dir);
    return dir;
}

} // namespace

bool IsInstalled()
{
    std::lock_guard lock(g_mutex);
    return g_testDir.isEmpty() && InstalledLocked();
}

QString ProgramDir()
{
    std::lock_guard lock(g_mutex);
    if (!g_testDir.isEmpty())
        return g_testDir;
    return InstalledLocked() ? XdgDir("XDG_DATA_HOME", ".local/share") : ExeDirLocked();
}

QString ConfigDir()
{
    std::lock_guard lock(g_mutex);
    if (!g_testDir.isEmpty())
        return g_testDir;
    return InstalledLocked() ? XdgDir("XDG_CONFIG_HOME", ".config") : ExeDirLocked();
}

QString ExecutableDir()
{
    std::lock_guard lock(g_mutex);
    if (!g_testDir.isEmpty())
        return g_testDir;
    return ExeDirLocked();
}

QStringList HelperToolDirs()
{
    const QString exe = ExecutableDir();
    return {exe, QDir::cleanPath(exe + QStringLiteral("../libexec/platterly")) + QLatin1Char('/')};
}

QString ManualPath()
{
    const QString exe = ExecutableDir();
    const QString beside = exe + QStringLiteral("Tracksmith.html");
    const QString installed =
        QDir::cleanPath(exe + QStringLiteral("../share/doc/platterly/Tracksmith.html"));
    return !FileExists(beside) && FileExists(installed) ? installed : beside;
}

QString DefaultOutputFolder()
{
    if (!IsInstalled())
        return ProgramDir() + QStringLiteral("Output");
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath() + QStringLiteral("/Music");
    QDir().mkpath(music);
    return music;
}

bool ProvideDemoDisc()
{
    if (!IsInstalled())
        return true;
    const QString target = ProgramDir() + QStringLiteral("discs");
    if (QFileInfo::exists(target))
        return true; // the user's own folder, whatever it holds now
    QString share;
    {
        std::lock_guard lock(g_mutex);
        share = ShareDirOf(ExeDirLocked()) + QStringLiteral("discs");
    }
    const QStringList names = QDir(share).entryList(QDir::Files);
    if (names.isEmpty() || !QDir().mkpath(target))
        return names.isEmpty();
    bool ok = true;
    for (const QString& name : names)
        ok = QFile::copy(share + QLatin1Char('/') + name, target + QLatin1Char('/') + name) && ok;
    return ok;
}

void SetProgramDirForTests(const QString& dir)
{
    std::lock_guard lock(g_mutex);
    g_testDir = dir.isEmpty() ? QString() : IncludeTrailingSlash(dir);
}
