#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>

#include <gtest/gtest.h>

#include "core/FileUtil.h"
#include "support/TestSupport.h"

TEST(FileUtil, InUseSeesLocksAndUnwritableFiles)
{
    ProgramDirScope dir;
    const QString path = dir.File(QStringLiteral("a.wav"));
    EXPECT_FALSE(IsFileInUse(path)); // missing file is not in use
    WriteWholeFile(path, "x");
    EXPECT_FALSE(IsFileInUse(path));

    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(LockExclusive(fd));
    EXPECT_TRUE(IsFileInUse(path));
    ::close(fd);
    EXPECT_FALSE(IsFileInUse(path));

    if (::geteuid() != 0) { // root opens read-only files anyway
        QFile::setPermissions(path, QFile::ReadOwner);
        EXPECT_TRUE(IsFileInUse(path));
    }
}

TEST(FileUtil, PathHelpers)
{
    EXPECT_EQ(ChangeFileExt(QStringLiteral("/o/Track01.wav"), QStringLiteral(".mp3")),
              QStringLiteral("/o/Track01.mp3"));
    EXPECT_EQ(ChangeFileExt(QStringLiteral("/o.d/noext"), QStringLiteral(".wma")),
              QStringLiteral("/o.d/noext.wma"));
    EXPECT_EQ(ExtractFileName(QStringLiteral("/a/b/c.wav")), QStringLiteral("c.wav"));
    EXPECT_EQ(IncludeTrailingSlash(QStringLiteral("/a")), QStringLiteral("/a/"));
    EXPECT_EQ(IncludeTrailingSlash(QStringLiteral("/a/")), QStringLiteral("/a/"));
}

TEST(FileUtil, ValidFileNames)
{
    EXPECT_TRUE(IsValidFileName(QStringLiteral("01 Intro: \"live\" ?*")));
    EXPECT_FALSE(IsValidFileName(QString()));
    EXPECT_FALSE(IsValidFileName(QStringLiteral(".")));
    EXPECT_FALSE(IsValidFileName(QStringLiteral("..")));
    EXPECT_FALSE(IsValidFileName(QStringLiteral("AC/DC")));
    EXPECT_FALSE(IsValidFileName(QString(256, QLatin1Char('a'))));
    EXPECT_TRUE(IsValidFileName(QString(255, QLatin1Char('a'))));
    // 128 two-byte characters are 256 bytes: too long although only 128 characters.
    EXPECT_FALSE(IsValidFileName(QString(128, QChar(0x00E9))));
}
