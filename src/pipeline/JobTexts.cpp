#include "pipeline/JobTexts.h"

#include <sys/stat.h>

#include <QFile>

#include "core/FileUtil.h"

QString CouldNotWrite(const QString& path, int error)
{
    return path + QStringLiteral(" could not be written (") + SystemErrorText(error) +
           QStringLiteral(").");
}

bool IsWriteProtected(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

QString CreateMp3Error()
{
    return QStringLiteral("Create MP3 file error!") + QStringLiteral("\r\n") +
           QStringLiteral("Please check the output and lame options or run application again.");
}
