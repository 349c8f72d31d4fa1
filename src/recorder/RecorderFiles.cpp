#include "recorder/RecorderFiles.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/AppException.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "platform/profile/AtomicFile.h"
#include "platform/waveaudio/WaveFormat.h"

bool MoveFileReplacing(const QString& from, const QString& to)
{
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::rename(a.constData(), b.constData()) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    if (!CopyFileOverName(from, to))
        return false;
    QFile::remove(from);
    return true;
}

bool IsLinkOrDeviceFile(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISLNK(st.st_mode) || (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
}

bool RefuseLinkTarget(const QString& path)
{
    if (!IsLinkOrDeviceFile(path))
        return false;
    ShowError(LinkOrSpecialFileText(path));
    return true;
}

void CopyOverScratchFile(const QString& source, const QString& scratch)
{
    if (IsLinkOrSpecialFile(scratch))
        throw EAppException(LinkOrSpecialFileText(scratch));
    QString error;
    if (!CopyFileOverName(source, scratch, &error))
        throw EAppException(error);
}

void RemoveScratchFile(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        QFile::remove(path);
}

void CheckWaveFile(const QString& file)
{
    const int fd =
        ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    QString error = fd < 0 ? SystemErrorText(errno) : QString();
    TWaveFileInfo info;
    const bool ok = fd >= 0 && ParseWaveFile(fd, info, error);
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw EAppException(file + QStringLiteral(": ") + error);
}
