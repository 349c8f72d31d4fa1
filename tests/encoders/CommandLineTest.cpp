// The command lines the runners build from the settings, and where they find their tools.
#include <QDir>

#include <gtest/gtest.h>

#include "EncoderTestSupport.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "encoders/WmaProfiles.h"
#include "support/TestSupport.h"

namespace {

QString L(const char* s)
{
    return QString::fromUtf8(s);
}

class CommandLines : public ::testing::Test {
protected:
    ProgramDirScope dir;
};

} // namespace

TEST_F(CommandLines, Mp3DefaultsAndFullVbrExample)
{
    TMp3EncodeProcess mp3;
    mp3.InputFile = L("/in/a b.wav");
    mp3.OutputFile = L("/out/a b.mp3");
    // A runner nobody handed settings to uses the settings' defaults.
    TToolCommand c = mp3.Command();
    EXPECT_EQ(c.DisplayLine, L("lame -b 128 -m j \"/in/a b.wav\" \"/out/a b.mp3\""));
    EXPECT_EQ(c.Arguments.mid(1), (QStringList{L("-b"), L("128"), L("-m"), L("j"), L("/in/a b.wav"),
                                               L("/out/a b.mp3")}));

    TMp3Options& o = mp3.Settings;
    o.IsSelectVBR = true;
    o.VBRQuality = 2;
    o.MaxBitRate = 256;
    o.BitRate = 96;
    o.StereoMode = 4;
    o.MpegQuality = 2;
    o.IsVBRHead = true;
    c = mp3.Command();
    EXPECT_EQ(c.DisplayLine,
              L("lame -b 96 -m m -h -V 2 -B 256 -t \"/in/a b.wav\" \"/out/a b.mp3\""));
    EXPECT_EQ(c.Arguments.size(), 13);
}

TEST_F(CommandLines, Mp3SwitchesOutOfRangeAddNothing)
{
    TMp3EncodeProcess mp3;
    mp3.InputFile = L("/i.wav");
    mp3.OutputFile = L("/o.mp3");
    TMp3Options& o = mp3.Settings;
    const char* modes[] = {"s", "j", "f", "d", "m"};
    for (int m = 0; m < 5; ++m) {
        o.StereoMode = m;
        EXPECT_TRUE(
            mp3.Command().DisplayLine.startsWith(L("lame -b 128 -m ") + L(modes[m]) + L(" \"")));
    }
    o.StereoMode = 7;
    o.MpegQuality = 3;
    EXPECT_EQ(mp3.Command().DisplayLine, L("lame -b 128 \"/i.wav\" \"/o.mp3\""));
    o.StereoMode = -1;
    o.MpegQuality = 1;
    EXPECT_EQ(mp3.Command().DisplayLine, L("lame -b 128 -f \"/i.wav\" \"/o.mp3\""));
    // The VBR tag switch means nothing without VBR.
    o.MpegQuality = 0;
    o.IsVBRHead = true;
    EXPECT_EQ(mp3.Command().DisplayLine, L("lame -b 128 \"/i.wav\" \"/o.mp3\""));
}

TEST_F(CommandLines, Mp3DecodeAndAwkwardPaths)
{
    TMp3EncodeProcess mp3;
    mp3.Encode = false;
    mp3.InputFile = L("/in/say \"hi\".mp3");
    mp3.OutputFile = L("-rel.wav");
    const TToolCommand c = mp3.Command();
    EXPECT_EQ(c.DisplayLine, L("lame --decode \"/in/say \"hi\".mp3\" \"-rel.wav\""));
    // Quotes stay inside their one argument; a path that looks like a switch is not one.
    EXPECT_EQ(c.Arguments.mid(1),
              (QStringList{L("--decode"), L("/in/say \"hi\".mp3"), L("./-rel.wav")}));
}

TEST_F(CommandLines, LameIsTakenFromTheProgramFolderFirst)
{
    TMp3EncodeProcess mp3;
    EXPECT_EQ(mp3.Command().Arguments.first(), L("lame")); // left to PATH
    WriteWholeFile(dir.File(L("lame")), "not executable");
    EXPECT_EQ(mp3.Command().Arguments.first(), L("lame"));
    WriteScript(dir.File(L("lame")), "exit 0\n");
    EXPECT_EQ(mp3.Command().Arguments.first(), dir.File(L("lame")));
    EXPECT_TRUE(mp3.Command().DisplayLine.startsWith(L("lame -b")));
}

TEST_F(CommandLines, WmaProfilesAndTags)
{
    WriteScript(dir.File(L("WM8EUTIL")), "exit 0\n");
    TWMAEncodeProcess wma;
    wma.InputFile = L("/in/t 1.wav");
    wma.OutputFile = L("/out/t 1.wma");
    const QString tool = dir.File(L("WM8EUTIL"));
    EXPECT_EQ(wma.Command().DisplayLine,
              tool + L(" -input \"/in/t 1.wav\" -output \"/out/t 1.wma\" -a_setting 64_44_2"));

    for (const int bad : {40, -1, 33}) {
        wma.Profile = bad;
        EXPECT_TRUE(wma.Command().DisplayLine.endsWith(L("-a_setting 64_44_2"))) << bad;
    }
    wma.Profile = 32;
    EXPECT_EQ(wma.Command().Arguments.last(), L("5_8_1"));
    wma.Profile = 0;
    EXPECT_EQ(wma.Command().Arguments.last(), L("192_48_2"));

    // Each tag one argument, unquoted in the display line.
    wma.Author = L("The Band");
    wma.Description = L("-live- at \"home\"");
    TToolCommand c = wma.Command();
    EXPECT_TRUE(
        c.DisplayLine.endsWith(L("192_48_2 -author The Band -description -live- at \"home\"")));
    EXPECT_EQ(c.Arguments.mid(7), (QStringList{L("-author"), L("The Band"), L("-description"),
                                               L("-live- at \"home\"")}));
    wma.Description.clear();
    c = wma.Command();
    EXPECT_TRUE(c.DisplayLine.endsWith(L("-author The Band")));
    wma.Author.clear();
    wma.Description = L("only");
    EXPECT_TRUE(wma.Command().DisplayLine.endsWith(L("192_48_2 -description only")));
}

TEST_F(CommandLines, WmaToolLookupOrder)
{
    EXPECT_TRUE(TWMAEncodeProcess::FindTool().isEmpty());
    QDir(dir.Path()).mkpath(L("system/"));
    WriteScript(dir.File(L("system/WM8EUTIL")), "exit 0\n");
    EXPECT_EQ(TWMAEncodeProcess::FindTool(), dir.File(L("system/WM8EUTIL")));
    QDir(dir.Path()).mkpath(L("system32/"));
    WriteScript(dir.File(L("system32/WM8EUTIL")), "exit 0\n");
    EXPECT_EQ(TWMAEncodeProcess::FindTool(), dir.File(L("system32/WM8EUTIL")));
    WriteScript(dir.File(L("WM8EUTIL")), "exit 0\n");
    EXPECT_EQ(TWMAEncodeProcess::FindTool(), dir.File(L("WM8EUTIL")));
}

TEST(WmaProfileTable, CaptionsAgreeWithValues)
{
    // The caption's rate, bit rate and channel count must match the value the tool gets.
    for (int i = 0; i < WmaProfileCount; ++i) {
        const QString caption = WmaProfileCaption(i);
        const QStringList v = WmaProfileValue(i).split(QLatin1Char('_'));
        ASSERT_EQ(v.size(), 3) << i;
        const QStringList parts = caption.split(QLatin1Char(','));
        ASSERT_EQ(parts.size(), 3) << i;
        EXPECT_EQ(parts[0].trimmed().section(QLatin1Char('.'), 0, 0), v[1]) << i;
        EXPECT_EQ(parts[1].trimmed().section(QLatin1Char(' '), 0, 0), v[0]) << i;
        EXPECT_EQ(parts[2].trimmed() == L("Stereo") ? L("2") : L("1"), v[2]) << i;
    }
    EXPECT_EQ(WmaProfileValue(8), L("64_44_2"));
    EXPECT_EQ(WmaProfileCaption(99), WmaProfileCaption(8));
}
