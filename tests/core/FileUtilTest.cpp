#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

TEST(FileUtil, SpecialFilesAndLinksAreNeverOpenedBlindly)
{
    ProgramDirScope dir;
    const QString fifo = dir.File(QStringLiteral("pipe.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    // Each of these would block for good on a FIFO without a writer.
    errno = 0;
    EXPECT_EQ(OpenRegularFile(fifo, O_RDONLY), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(OpenRegularFile(fifo, O_WRONLY | O_CREAT), -1);
    EXPECT_TRUE(IsFileInUse(fifo)) << "never ours to replace or delete";
    EXPECT_FALSE(CanReadRegularFile(QFile::encodeName(fifo).constData()));
    EXPECT_FALSE(IsRegularFile(fifo));
    EXPECT_TRUE(IsLinkOrSpecialFile(fifo));

    // A link in place of an output is not followed; reading through one is fine.
    const QString target = dir.File(QStringLiteral("target.txt"));
    WriteWholeFile(target, "kept");
    const QString link = dir.File(QStringLiteral("link.wav"));
    ASSERT_TRUE(QFile::link(target, link));
    errno = 0;
    EXPECT_EQ(OpenRegularFile(link, O_WRONLY | O_CREAT), -1);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(ReadWholeFile(target), QByteArray("kept"));
    const int fd = OpenRegularFile(link, O_RDONLY);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "back to blocking reads";
    ::close(fd);
    EXPECT_TRUE(IsLinkOrSpecialFile(link));
    EXPECT_FALSE(IsLinkOrSpecialFile(target));
    EXPECT_FALSE(IsLinkOrSpecialFile(dir.File(QStringLiteral("missing"))));

    EXPECT_TRUE(SameFile(link, target));
    EXPECT_TRUE(SameFile(dir.File(QStringLiteral("x/../target.txt")), target));
    EXPECT_TRUE(
        SameFile(dir.File(QStringLiteral("a/../new.wav")), dir.File(QStringLiteral("new.wav"))));
    EXPECT_FALSE(SameFile(fifo, target));
    EXPECT_EQ(SystemErrorText(ENOSPC), QStringLiteral("No space left on device"));
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
