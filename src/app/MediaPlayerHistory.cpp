#include "app/MediaPlayerHistory.h"

#include <QDir>
#include <QFile>

#include "platform/registry/WineUserRegistry.h"

bool ProcessRunning(const char* name)
{
    const QByteArray wanted = QByteArray(name).toLower();
    const QStringList pids =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool numeric = false;
        pid.toInt(&numeric);
        if (!numeric)
            continue;
        QFile cmdline(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        // Wine programs show their Windows path as argv[0].
        QByteArray argv0 = cmdline.read(4096);
        argv0 = argv0.left(argv0.indexOf('\0')).toLower();
        const qsizetype cut = std::max(argv0.lastIndexOf('/'), argv0.lastIndexOf('\\'));
        if (argv0.mid(cut + 1) == wanted)
            return true;
    }
    return false;
}

bool TMediaPlayerHistory::RealPlayerRunning() const
{
    return ProcessRunning("realplay.exe");
}

bool TMediaPlayerHistory::MediaPlayerRunning() const
{
    return ProcessRunning("wmplayer.exe");
}

int TMediaPlayerHistory::ClearRealPlayer() const
{
    TWineUserRegistry reg;
    int n = 0;
    for (int m = 1; m <= 8; ++m) {
        const QString key =
            QStringLiteral("\\Software\\RealNetworks\\RealPlayer\\6.0\\Preferences\\") +
            QStringLiteral("MostRecentClips") + QString::number(m);
        if (!reg.DeleteKey(key))
            break;
        ++n;
    }
    return n;
}

int TMediaPlayerHistory::ClearMediaPlayer() const
{
    TWineUserRegistry reg;
    const QString key =
        QStringLiteral("\\Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList\\");
    if (!reg.KeyExists(key))
        return 0;
    int n = 0;
    for (int m = 0; m <= 8; ++m) {
        if (!reg.DeleteValue(key, QStringLiteral("File") + QString::number(m)))
            break;
        ++n;
    }
    return n;
}
