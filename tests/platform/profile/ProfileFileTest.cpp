#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "core/AppException.h"
#include "platform/profile/ProfileFile.h"
#include "platform/profile/ProfileText.h"
#include "support/TestSupport.h"

namespace {

QString Write(const ProgramDirScope& dir, const char* name, const QByteArray& bytes)
{
    const QString path = dir.File(QString::fromLatin1(name));
    WriteWholeFile(path, bytes);
    return path;
}

} // namespace

TEST(ProfileFile, ReadsWindowsFilesWithTheirSemantics)
{
    ProgramDirScope dir;
    const QString path = Write(dir, "options.ini",
                               "; written on Windows\r\n"
                               "stray=before any section\r\n"
                               "[CommonOptions]\r\n"
                               "  OutputFolder =  \"C:\\Rips\\My Music\"  \r\n"
                               "outputformat=2\r\n"
                               "OutputFormat=3\r\n"
                               "garbage line without equals\r\n"
                               "[commonoptions]\r\n"
                               "IsKeepWav=1\r\n"
                               "[Mp3Options]\n"
                               "BitRate=0x80\n"
                               "MaxBitRate=0XFF\r"
                               "VBRQuality=abc\r\n"
                               "StereoMode=99999999999\r\n"
                               "Quoted=\"\"\r\n");
    const TProfileFile f(path);
    // Case-insensitive names, trimmed value, one pair of quotes removed.
    EXPECT_EQ(f.ReadString(QStringLiteral("COMMONOPTIONS"), QStringLiteral("outputfolder"), {}),
              QStringLiteral("C:\\Rips\\My Music"));
    // First match wins, both for keys and for duplicate sections.
    EXPECT_EQ(f.ReadInteger(QStringLiteral("CommonOptions"), QStringLiteral("OutputFormat"), 0), 2);
    EXPECT_FALSE(f.ReadBool(QStringLiteral("CommonOptions"), QStringLiteral("IsKeepWav"), false));
    EXPECT_EQ(
        f.ReadString(QStringLiteral("CommonOptions"), QStringLiteral("stray"), QStringLiteral("d")),
        QStringLiteral("d"));
    // Hexadecimal, bare CR line ends, and values that do not convert.
    EXPECT_EQ(f.ReadInteger(QStringLiteral("Mp3Options"), QStringLiteral("BitRate"), 0), 128);
    EXPECT_EQ(f.ReadInteger(QStringLiteral("Mp3Options"), QStringLiteral("MaxBitRate"), 0), 255);
    EXPECT_EQ(f.ReadInteger(QStringLiteral("Mp3Options"), QStringLiteral("VBRQuality"), 4), 4);
    EXPECT_EQ(f.ReadInteger(QStringLiteral("Mp3Options"), QStringLiteral("StereoMode"), 1), 1);
    EXPECT_EQ(
        f.ReadString(QStringLiteral("Mp3Options"), QStringLiteral("Quoted"), QStringLiteral("d")),
        QString());
    EXPECT_EQ(f.ReadString(QStringLiteral("Nope"), QStringLiteral("x"), QStringLiteral("d")),
              QStringLiteral("d"));
}

TEST(ProfileFile, IntegerRule)
{
    EXPECT_EQ(ParseProfileInteger(QStringLiteral("-12"), 7), -12);
    EXPECT_EQ(ParseProfileInteger(QStringLiteral("+3"), 7), 3);
    EXPECT_EQ(ParseProfileInteger(QStringLiteral("0x"), 7), 7);
    EXPECT_EQ(ParseProfileInteger(QStringLiteral("0xFFFFFFFF"), 7), -1);
    EXPECT_EQ(ParseProfileInteger(QStringLiteral("0x100000000"), 7), 7);
    EXPECT_EQ(ParseProfileInteger(QStringLiteral("12 3"), 7), 7);
    EXPECT_EQ(ParseProfileInteger(QStringLiteral("2147483648"), 7), 7);
    EXPECT_EQ(ParseProfileInteger(QStringLiteral("-2147483648"), 7), INT32_MIN);
    EXPECT_EQ(ParseProfileInteger(QString(), 7), 7);
}

TEST(ProfileFile, StringsAreCutAtTheBufferSize)
{
    ProgramDirScope dir;
    const QString path = Write(dir, "a.ini", "[S]\r\nK=" + QByteArray(5000, 'x') + "\r\n");
    const TProfileFile f(path);
    EXPECT_EQ(f.ReadString(QStringLiteral("S"), QStringLiteral("K"), {}).size(), 2047);
    EXPECT_EQ(f.ReadString(QStringLiteral("S"), QStringLiteral("K"), {}, 10).size(), 9);
}

TEST(ProfileFile, EncodingsOfWindowsFiles)
{
    ProgramDirScope dir;
    // Windows-1252 line (invalid UTF-8) beside a UTF-8 line.
    const TProfileFile a(Write(dir, "a.dat", "[1]\r\n1=Caf\xE9 \x93Live\x94\r\n2=Caf\xC3\xA9\r\n"));
    EXPECT_EQ(a.ReadString(QStringLiteral("1"), QStringLiteral("1"), {}),
              QString::fromUtf8("Café \u201CLive\u201D"));
    EXPECT_EQ(a.ReadString(QStringLiteral("1"), QStringLiteral("2"), {}),
              QString::fromUtf8("Café"));
    // UTF-8 with BOM and UTF-16LE with BOM.
    const TProfileFile b(Write(dir, "b.dat", "\xEF\xBB\xBF[S]\r\nK=v\r\n"));
    EXPECT_EQ(b.ReadString(QStringLiteral("S"), QStringLiteral("K"), {}), QStringLiteral("v"));
    const QString u16 = QString::fromUtf8("[S]\r\nK=\u00FCber\r\n");
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(u16.utf16()), u16.size() * 2);
    const TProfileFile c(Write(dir, "c.dat", bytes));
    EXPECT_EQ(c.ReadString(QStringLiteral("S"), QStringLiteral("K"), {}),
              QString::fromUtf8("über"));
}

TEST(ProfileFile, WritesKeepOrderAndAppendNewKeysAndSections)
{
    ProgramDirScope dir;
    const QString path =
        Write(dir, "o.ini", "; keep me\r\n[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n");
    TProfileFile f(path);
    f.WriteInteger(QStringLiteral("a"), QStringLiteral("Y"), 20);
    f.WriteString(QStringLiteral("A"), QStringLiteral("w"), QStringLiteral("new\r\nline"));
    f.WriteBool(QStringLiteral("C"), QStringLiteral("Use"), true);
    ASSERT_TRUE(f.Flush());
    EXPECT_EQ(ReadWholeFile(path), QByteArray("; keep me\r\n[A]\r\nx=1\r\nY=20\r\nw=new  "
                                              "line\r\n\r\n[B]\r\nz=3\r\n[C]\r\nUse=1\r\n"));
    const TProfileFile g(path);
    EXPECT_EQ(g.ReadInteger(QStringLiteral("A"), QStringLiteral("y"), 0), 20);
}

TEST(ProfileFile, DamagedFilesLoadAndRewriteCleanly)
{
    ProgramDirScope dir;
    static const char head[] = "[Broken\r\nK=1\r\n\x00\x01\x02=\xFF\xFE\r\n[S]\r\nK=va\x00lue\r\n";
    QByteArray junk(head, sizeof head - 1);
    junk += QByteArray(10 * 1024 * 1024, 'q'); // one enormous line without "="
    junk += "\r\n[T]\r\nN=5\r\n";
    const QString path = Write(dir, "d.ini", junk);
    TProfileFile f(path);
    EXPECT_EQ(f.ReadInteger(QStringLiteral("Broken"), QStringLiteral("K"), 0), 1);
    EXPECT_EQ(f.ReadString(QStringLiteral("S"), QStringLiteral("K"), {}), QStringLiteral("value"));
    EXPECT_EQ(f.ReadInteger(QStringLiteral("T"), QStringLiteral("N"), 0), 5);
    f.WriteInteger(QStringLiteral("T"), QStringLiteral("N"), 6);
    ASSERT_TRUE(f.Flush());
    const QByteArray out = ReadWholeFile(path);
    EXPECT_FALSE(out.contains('\0'));
    EXPECT_TRUE(out.endsWith("[T]\r\nN=6\r\n"));
}

TEST(ProfileFile, AtomicWriteKeepsModeFollowsLinksAndRefusesReadOnly)
{
    ProgramDirScope dir;
    const QString path = Write(dir, "p.ini", "[S]\r\nK=1\r\n");
    ::chmod(QFile::encodeName(path).constData(), 0640);
    TProfileFile f(path);
    f.WriteInteger(QStringLiteral("S"), QStringLiteral("K"), 2);
    ASSERT_TRUE(f.Flush());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Through a symbolic link: the link stays, its target changes.
    const QString link = dir.File(QStringLiteral("link.ini"));
    ASSERT_TRUE(QFile::link(path, link));
    TProfileFile viaLink(link);
    viaLink.WriteInteger(QStringLiteral("S"), QStringLiteral("K"), 3);
    ASSERT_TRUE(viaLink.Flush());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(TProfileFile(path).ReadInteger(QStringLiteral("S"), QStringLiteral("K"), 0), 3);

    // A read-only file is refused, not replaced, and the failure names the file.
    ::chmod(QFile::encodeName(path).constData(), 0444);
    TProfileFile ro(path);
    ro.WriteInteger(QStringLiteral("S"), QStringLiteral("K"), 4);
    try {
        ro.FlushOrRaise();
        FAIL() << "read-only file was replaced";
    } catch (const EAppException& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Unable to write to ") + path);
    }
    EXPECT_EQ(TProfileFile(path).ReadInteger(QStringLiteral("S"), QStringLiteral("K"), 0), 3);
    // No temporary files are left behind.
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(ProfileFile, MissingFolderFailsCleanly)
{
    TProfileFile f(QStringLiteral("/nonexistent-folder-xyz/options.ini"));
    EXPECT_EQ(f.ReadInteger(QStringLiteral("S"), QStringLiteral("K"), 9), 9);
    f.WriteInteger(QStringLiteral("S"), QStringLiteral("K"), 1);
    EXPECT_FALSE(f.Flush());
}
