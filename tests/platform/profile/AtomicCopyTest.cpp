#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "platform/profile/AtomicFile.h"
#include "support/TestSupport.h"

namespace {

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

QStringList Listing(const ProgramDirScope& dir)
{
    return QDir(dir.Path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

TEST(AtomicCopy, ReplacesTheTargetWholeKeepingItsMode)
{
    ProgramDirScope dir;
    const QString src = dir.File(QStringLiteral("a.wav"));
    const QString dst = dir.File(QStringLiteral("b.wav"));
    QByteArray big(3 << 20, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    WriteWholeFile(src, big);
    WriteWholeFile(dst, "old");
    ::chmod(QFile::encodeName(dst).constData(), 0640);
    QString error;
    ASSERT_TRUE(CopyFileAtomically(src, dst, &error)) << error.toStdString();
    EXPECT_EQ(ReadWholeFile(dst), big);
    EXPECT_EQ(ModeOf(dst), 0640u);
    // Onto itself: the file stays whole.
    ASSERT_TRUE(CopyFileAtomically(src, src, &error)) << error.toStdString();
    EXPECT_EQ(ReadWholeFile(src), big);
    EXPECT_EQ(Listing(dir), (QStringList{QStringLiteral("a.wav"), QStringLiteral("b.wav")}));
}

TEST(AtomicCopy, RefusesWhatItMustNotTouch)
{
    ProgramDirScope dir;
    const QString src = dir.File(QStringLiteral("a.wav"));
    WriteWholeFile(src, "sound");
    const QString ro = dir.File(QStringLiteral("ro.wav"));
    WriteWholeFile(ro, "keep");
    ::chmod(QFile::encodeName(ro).constData(), 0444);
    const QString fifo = dir.File(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = dir.File(QStringLiteral("folder"));
    QDir().mkdir(folder);
    const QString before = Listing(dir).join(QLatin1Char(','));

    QString error;
    EXPECT_FALSE(CopyFileAtomically(src, ro, &error));
    EXPECT_EQ(error, QStringLiteral("Unable to write to ") + ro);
    EXPECT_EQ(ReadWholeFile(ro), QByteArray("keep"));
    EXPECT_FALSE(CopyFileAtomically(fifo, dir.File(QStringLiteral("x.wav")), &error)); // no block
    EXPECT_FALSE(CopyFileAtomically(src, folder, &error));
    EXPECT_FALSE(CopyFileAtomically(dir.File(QStringLiteral("missing.wav")),
                                    dir.File(QStringLiteral("y.wav")), &error));
    EXPECT_TRUE(error.startsWith(dir.File(QStringLiteral("missing.wav")))) << error.toStdString();
    EXPECT_FALSE(CopyFileAtomically(src, dir.File(QStringLiteral("no/such/dir.wav")), &error));
    EXPECT_EQ(Listing(dir).join(QLatin1Char(',')), before); // no temporary file left behind
}

TEST(AtomicCopy, OverANameNeverFollowsALinkThere)
{
    ProgramDirScope dir;
    const QString src = dir.File(QStringLiteral("a.wav"));
    WriteWholeFile(src, "sound");
    const QString victim = dir.File(QStringLiteral("victim"));
    WriteWholeFile(victim, "precious");
    const QString missing = dir.File(QStringLiteral("missing"));
    for (const QString& to : {victim, missing}) {
        const QString link = dir.File(QStringLiteral("link.wav"));
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(to, link));
        QString error;
        EXPECT_FALSE(CopyFileOverName(src, link, &error));
        EXPECT_EQ(error, QStringLiteral("Unable to write to ") + link);
        EXPECT_FALSE(WriteFileOverName(link, "data"));
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), to);
    }
    EXPECT_EQ(ReadWholeFile(victim), QByteArray("precious"));
    EXPECT_FALSE(QFile::exists(missing));
}
