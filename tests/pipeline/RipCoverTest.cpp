// The cover a rip leaves beside its tracks: written whole under its own name or not at all, and
// never over or through what the user keeps there.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "pipeline/RipCover.h"
#include "support/TestSupport.h"

namespace {

const QByteArray kJpeg("\xff\xd8\xff\xe0 a jpeg", 11);
const QByteArray kPng("\x89PNG\r\n\x1a\n a png", 14);

/// Every name in the folder, hidden ones and links included.
QStringList Names(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

TEST(RipCover, WrittenByContentOnlyWhereTheUserKeepsNone)
{
    const struct {
        const char* name;
        QByteArray image;
        const char* existing; ///< what the folder holds before: "" nothing
        bool link;            ///< the existing name is a link to a file outside the folder
        const char* after;    ///< the folder's names afterwards
        const char* written;  ///< the file that must hold the image; "" none
    } cases[] = {
        {"jpeg", kJpeg, "", false, "cover.jpg|t.flac", "cover.jpg"},
        {"png by its content", kPng, "", false, "cover.png|t.flac", "cover.png"},
        {"no cover", {}, "", false, "t.flac", ""},
        {"not an image", "<html>not found</html>", "", false, "t.flac", ""},
        {"the user's cover.jpg", kJpeg, "cover.jpg", false, "cover.jpg|t.flac", ""},
        {"the user's cover of another type", kJpeg, "Cover.PNG", false, "Cover.PNG|t.flac", ""},
        {"a link named cover.jpg", kJpeg, "cover.jpg", true, "cover.jpg|t.flac", ""},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/album/");
        ASSERT_TRUE(QDir().mkpath(folder));
        WriteWholeFile(folder + QStringLiteral("t.flac"), "audio");
        const QString outside = dir.path() + QStringLiteral("/outside.jpg");
        WriteWholeFile(outside, "the user's");
        const QString existing = folder + QString::fromLatin1(c.existing);
        if (c.link)
            ASSERT_TRUE(QFile::link(outside, existing));
        else if (*c.existing != '\0')
            WriteWholeFile(existing, "the user's");

        TRipCover cover(c.image);
        EXPECT_EQ(cover.PlaceBeside(folder + QStringLiteral("t.flac")), QString()) << c.name;
        EXPECT_EQ(Names(folder).join(QLatin1Char('|')), QString::fromLatin1(c.after)) << c.name;
        if (*c.written != '\0') {
            EXPECT_EQ(ReadWholeFile(folder + QString::fromLatin1(c.written)), c.image) << c.name;
        }
        if (*c.existing != '\0') {
            EXPECT_EQ(ReadWholeFile(existing), QByteArray("the user's")) << c.name;
        }
        EXPECT_EQ(ReadWholeFile(outside), QByteArray("the user's")) << c.name;
        EXPECT_EQ(QFileInfo(existing).isSymLink(), c.link) << c.name;
    }
}

TEST(RipCover, OncePerJobAndAFailureIsSaid)
{
    QTemporaryDir dir;
    const QString first = dir.path() + QStringLiteral("/a/");
    const QString second = dir.path() + QStringLiteral("/b/");
    ASSERT_TRUE(QDir().mkpath(first));
    ASSERT_TRUE(QDir().mkpath(second));
    TRipCover cover(kJpeg);
    EXPECT_EQ(cover.PlaceBeside(first + QStringLiteral("1.wav")), QString());
    EXPECT_EQ(cover.PlaceBeside(second + QStringLiteral("2.wav")), QString());
    EXPECT_EQ(Names(first), QStringList{QStringLiteral("cover.jpg")});
    EXPECT_TRUE(Names(second).isEmpty());

    // A dangling link is the user's name too: nothing is created where it points.
    const QString target = dir.path() + QStringLiteral("/nowhere.jpg");
    ASSERT_TRUE(QFile::link(target, second + QStringLiteral("cover.jpg")));
    EXPECT_EQ(TRipCover(kJpeg).PlaceBeside(second + QStringLiteral("2.wav")), QString());
    EXPECT_FALSE(QFile::exists(target));

    const QString gone = dir.path() + QStringLiteral("/gone/");
    EXPECT_EQ(TRipCover(kJpeg).PlaceBeside(gone + QStringLiteral("1.wav")),
              gone + QStringLiteral("cover.jpg could not be written (No such file or directory)."));
}

TEST(RipCover, ANewFileNeverReplacesOneThatAppeared)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    WriteWholeFile(folder + QStringLiteral("cover.jpg"), "the user's");
    // The name check passed an instant earlier; the write itself must still not replace.
    EXPECT_EQ(WriteNewFileAtomically(folder, QStringLiteral("cover.jpg"), kJpeg), EEXIST);
    EXPECT_EQ(ReadWholeFile(folder + QStringLiteral("cover.jpg")), QByteArray("the user's"));
    EXPECT_EQ(Names(folder), QStringList{QStringLiteral("cover.jpg")}); // no temporary left
}
