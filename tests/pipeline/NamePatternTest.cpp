#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include "pipeline/NamePattern.h"
#include "support/TestSupport.h"

namespace {

TNameFields Fields(const QString& artist, const QString& album, const QString& title)
{
    TNameFields f;
    f.Artist = artist;
    f.Album = album;
    f.Year = QStringLiteral("1999");
    f.Genre = QStringLiteral("Rock");
    f.Title = title;
    f.Number = 3;
    f.Count = 12;
    return f;
}

TEST(NamePatternTest, ExpandsHostileValuesIntoSafeComponentsInsideTheFolder)
{
    const QString longTitle(1000, QChar(0x00e9)); // 2 bytes each in UTF-8
    const QString emoji = QString::fromUtf8("\xf0\x9f\x8e\xb5");
    struct Case {
        QString pattern;
        TNameFields fields;
        QString expected;
    };
    const Case cases[] = {
        {{},
         Fields(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("Song")),
         QStringLiteral("Song")},
        {QStringLiteral("%A/%d/%n - %t"),
         Fields(QStringLiteral("AC/DC"), QStringLiteral("Back\\In"), QStringLiteral("Hells")),
         QStringLiteral("AC-DC/Back-In/03 - Hells")},
        {QStringLiteral("%A/%d/%t"),
         Fields(QStringLiteral(".."), QStringLiteral(".hidden"), QStringLiteral("../../etc")),
         QStringLiteral("Unknown Artist/hidden/-..-etc")},
        {QStringLiteral("%A - %d/%n %t"),
         Fields(QStringLiteral("..."), QStringLiteral("  "), QString()),
         QStringLiteral("Unknown Artist - Unknown Album/03 Unknown Title")},
        {QStringLiteral("%t"),
         Fields({}, {},
                QStringLiteral("a\x01"
                               "b") +
                    QChar(0) + QStringLiteral("c. . ")),
         QStringLiteral("abc")},
        {QStringLiteral("%t"), Fields({}, {}, QChar(0x202e) + QStringLiteral("gpj.exe")),
         QStringLiteral("gpj.exe")},
        {QStringLiteral("%y %g %N%% %t"),
         Fields({}, {}, emoji + QString::fromUtf8("\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d")),
         QStringLiteral("1999 Rock 12% ") + emoji +
             QString::fromUtf8("\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d")},
        {QStringLiteral("%t"), Fields({}, {}, longTitle), QString(120, QChar(0x00e9))},
        {QStringLiteral("%t"), Fields({}, {}, QStringLiteral("ab") + QChar(0xd800)),
         QStringLiteral("ab")},
        // Unusable patterns fall back to the title alone rather than escaping.
        {QStringLiteral("../x/%t"), Fields({}, {}, QStringLiteral("T")), QStringLiteral("T")},
        {QStringLiteral("/"), Fields({}, {}, QStringLiteral("T")), QStringLiteral("T")},
    };
    for (const Case& c : cases) {
        const QString got = ExpandNamePattern(c.pattern, c.fields);
        EXPECT_EQ(got, c.expected) << c.pattern.toStdString();
        for (const QString& part : got.split(QLatin1Char('/'))) {
            EXPECT_FALSE(part.isEmpty() || part.startsWith(QLatin1Char('.')));
            EXPECT_LE(part.toUtf8().size(), 240);
        }
    }
}

TEST(NamePatternTest, RefusesPatternsThatCannotNameAFileInside)
{
    for (const char* ok : {"", "%A/%d/%n - %t", "%A - %d/%n %t", "%n - %t", "100%% %t"})
        EXPECT_TRUE(NamePatternProblem(QString::fromUtf8(ok)).isEmpty()) << ok;
    for (const char* bad : {"/", "/%t", "%t%", "%q %t", "../x", "a/../%t", "%A/", "a/ . /%t"})
        EXPECT_FALSE(NamePatternProblem(QString::fromUtf8(bad)).isEmpty()) << bad;
}

TEST(NamePatternTest, RepeatedNamesGetNumbers)
{
    EXPECT_EQ(DistinctNames({QStringLiteral("A/x"), QStringLiteral("A/X"), QStringLiteral("A/y"),
                             QStringLiteral("A/x")}),
              (QStringList{QStringLiteral("A/x"), QStringLiteral("A/X (2)"), QStringLiteral("A/y"),
                           QStringLiteral("A/x (3)")}));
}

TEST(NamePatternTest, FoldersAreMadeButNeverThroughALink)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const auto file = [&](const char* name) { return tmp.filePath(QString::fromUtf8(name)); };
    const QString out = file("Out");
    ASSERT_TRUE(QDir().mkpath(out));
    EXPECT_EQ(MakeNameFolders(out, QStringLiteral("Artist/Album/01 - T")), QString());
    EXPECT_TRUE(QFileInfo(out + QStringLiteral("/Artist/Album")).isDir());

    const QString elsewhere = file("Elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(),
                        QFile::encodeName(out + QStringLiteral("/Linked")).constData()),
              0);
    EXPECT_FALSE(MakeNameFolders(out, QStringLiteral("Linked/Album/T")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(elsewhere + QStringLiteral("/Album")));
    EXPECT_FALSE(MakeNameFolders(out, QStringLiteral("../Album/T")).isEmpty());
}

} // namespace
