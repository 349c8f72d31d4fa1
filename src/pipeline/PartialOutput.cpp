#include "pipeline/PartialOutput.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>

#include "core/FileUtil.h"

bool TPartialOutput::Create(const QString& finalPath)
{
    Discard();
    const QString folder = finalPath.left(finalPath.lastIndexOf(QLatin1Char('/')) + 1);
    // A short name of its own, so a final name near the length limit still has one; O_EXCL
    // so nothing already there is written through. Mode 0666 less the umask, as the tools'
    // own files get.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate =
            folder + QStringLiteral(".platterly-%1.part")
                         .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        const int fd = ::open(QFile::encodeName(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            path_ = candidate;
            final_ = finalPath;
            folder_ = ::open(
                QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                O_PATH | O_DIRECTORY | O_CLOEXEC);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

bool TPartialOutput::Commit()
{
    if (path_.isEmpty()) {
        errno = ENOENT;
        return false;
    }
    // rename replaces a link at the final name, never what it points to.
    if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(final_).constData()) !=
        0) {
        const int error = errno;
        Discard();
        errno = error;
        return false;
    }
    path_.clear();
    CloseFolder();
    return true;
}

void TPartialOutput::CloseFolder()
{
    if (folder_ >= 0)
        ::close(folder_);
    folder_ = -1;
}

void TPartialOutput::Discard()
{
    if (path_.isEmpty())
        return;
    // Only the plain file this object made: a step may have removed it already. Looked up in
    // the folder it was made in, wherever that folder is now.
    const QByteArray name = QFile::encodeName(ExtractFileName(path_));
    struct stat st {};
    if (folder_ >= 0 && ::fstatat(folder_, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode))
        ::unlinkat(folder_, name.constData(), 0);
    else if (folder_ < 0 && !IsLinkOrSpecialFile(path_))
        ::unlink(QFile::encodeName(path_).constData());
    path_.clear();
    CloseFolder();
}
