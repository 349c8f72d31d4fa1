// The WM8EUTIL tool on every profile, its failures, and the WMA runner driving it.
#include <QFile>

#include <gtest/gtest.h>

#include "EncoderTestSupport.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "encoders/WMAEncodeProcess.h"
#include "encoders/WmaProfiles.h"
#include "support/TestSupport.h"

#include <csignal>

namespace {

QString L(const char* s)
{
    return QString::fromUtf8(s);
}

QString Tool()
{
    return BuiltBinDir() + L("WM8EUTIL");
}

QString Probe(const QString& file, const char* entries)
{
    // One value a line, joined with commas: "mp3,44100,2".
    const QString text = QString::fromUtf8(
        RunAndCapture(L("ffprobe"), {L("-v"), L("error"), L("-show_entries"), L(entries), L("-of"),
                                     L("default=nw=1:nk=1"), file}));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(','));
}

// Decodes the whole file; true when the decoder had nothing to complain about.
bool Playable(const QString& file)
{
    const ProgramResult r =
        RunProgram(L("ffmpeg"), {L("-v"), L("error"), L("-i"), file, L("-f"), L("null"), L("-")});
    return r.ExitCode == 0 && r.Err.isEmpty();
}

// The largest sample value of the file decoded to 16 bits.
int DecodedPeak(const QString& file)
{
    const QByteArray pcm = RunAndCapture(
        L("ffmpeg"), {L("-v"), L("error"), L("-i"), file, L("-f"), L("s16le"), L("-")});
    int peak = 0;
    for (qsizetype i = 0; i + 1 < pcm.size(); i += 2)
        peak =
            std::max(peak, std::abs(static_cast<int16_t>(static_cast<uint8_t>(pcm[i]) |
                                                         static_cast<uint8_t>(pcm[i + 1]) << 8)));
    return peak;
}

struct ToolRun {
    int exitCode = -1;
    QString output;
};

ToolRun RunTool(const QStringList& args)
{
    const ProgramResult r = RunProgram(Tool(), args);
    return {r.ExitCode, QString::fromUtf8(r.Out + r.Err)};
}

class Wm8eutil : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        ASSERT_TRUE(FileExists(Tool())) << Tool().toStdString();
        ASSERT_TRUE(QFile::link(Tool(), dir.File(L("WM8EUTIL"))));
        wav = dir.File(L("in put.wav"));
        WriteSineWav(wav, 1.0);
    }
    void TearDown() override { EXPECT_TRUE(WaitForWatchers()); }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ReportLog log;
    QString wav;
};

} // namespace

TEST_F(Wm8eutil, EveryProfileThroughTheRunnerGivesAPlayableFileOfItsFormat)
{
    TWMAEncodeProcess wma;
    for (int i = 0; i < WmaProfileCount; ++i) {
        wma.Profile = i;
        log.Reports.clear();
        wma.Active = true;
        wma.JobKind = 6;
        wma.InputFile = wav;
        wma.OutputFile = dir.File(QStringLiteral("p%1.wma").arg(i));
        wma.NotifyWindow = &log;
        wma.Start();
        ASSERT_TRUE(WaitUntil([&] { return !log.Ends().empty(); }, std::chrono::seconds(30))) << i;
        PumpEvents(std::chrono::milliseconds(20));
        ASSERT_EQ(log.Ends()[0].ErrorCode, 2) << i << log.Ends()[0].ElapsedText.toStdString();
        ASSERT_EQ(log.Progress().size(), 1u) << i;
        EXPECT_EQ(log.Progress()[0].Percent, 100);

        const QStringList value = WmaProfileValue(i).split(QLatin1Char('_'));
        const QString rate = value[1] == L("44")   ? L("44100")
                             : value[1] == L("22") ? L("22050")
                             : value[1] == L("11") ? L("11025")
                                                   : value[1] + L("000");
        EXPECT_EQ(Probe(wma.OutputFile, "stream=codec_name,sample_rate,channels"),
                  L("wmav2,") + rate + L(",") + value[2])
            << i;
        EXPECT_TRUE(Playable(wma.OutputFile)) << i;
    }
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Wm8eutil, AuthorAndDescriptionLandInTheFile)
{
    const QString out = dir.File(L("tags.wma"));
    const ToolRun r =
        RunTool({L("-input"), wav, L("-output"), out, L("-a_setting"), L("64_44_2"), L("-author"),
                 L("Some Band ä"), L("-description"), L("-a \"live\" take")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    const QStringList lines = r.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), L("100%"));
    EXPECT_GT(lines.size(), 1); // percentages along the way
    EXPECT_EQ(Probe(out, "format_tags=artist"), L("Some Band ä"));
    EXPECT_EQ(Probe(out, "format_tags=comment"), L("-a \"live\" take"));
}

TEST_F(Wm8eutil, OtherWavFlavoursAreRead)
{
    for (const char* flavour : {"-b 8 -e unsigned -r 22050 -c 1", "-b 24 -r 48000 -c 2",
                                "-b 32 -e float -r 11025 -c 2"}) {
        const QString in = dir.File(L("flavour.wav"));
        QStringList soxArgs{L("-n")};
        soxArgs << QString::fromLatin1(flavour).split(QLatin1Char(' '));
        soxArgs << in << L("synth") << L("1") << L("sine") << L("300");
        int rc = -1;
        RunAndCapture(L("sox"), soxArgs, &rc);
        ASSERT_EQ(rc, 0) << flavour;
        const QString out = dir.File(L("flavour.wma"));
        const ToolRun r =
            RunTool({L("-input"), in, L("-output"), out, L("-a_setting"), L("32_44_2")});
        EXPECT_EQ(r.exitCode, 0) << flavour << r.output.toStdString();
        EXPECT_EQ(Probe(out, "stream=sample_rate,channels"), L("44100,2")) << flavour;
        EXPECT_TRUE(Playable(out)) << flavour;
    }
}

TEST_F(Wm8eutil, AWavCutMidFrameIsEncodedToItsLastWholeFrame)
{
    // Three bytes of a fourth sample frame (and the pad byte an odd chunk takes).
    QByteArray bytes = ReadWholeFile(wav);
    ASSERT_EQ(bytes.mid(36, 4), QByteArray("data"));
    const auto patch = [&bytes](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(v >> (8 * i));
    };
    patch(40, static_cast<uint32_t>(bytes.size() - 44 + 3));
    bytes.append("\x01\x02\x03\x00", 4);
    patch(4, static_cast<uint32_t>(bytes.size() - 8));
    WriteWholeFile(wav, bytes);
    const QString out = dir.File(L("cut.wma"));
    const ToolRun r = RunTool({L("-input"), wav, L("-output"), out, L("-a_setting"), L("32_44_2")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    EXPECT_TRUE(Playable(out));
}

TEST_F(Wm8eutil, MixingBetweenMonoAndStereoKeepsTheLevel)
{
    // A half-scale tone in every input channel stays half scale whatever the profile's count.
    for (const char* shape : {"1 32_44_2", "2 32_44_1"}) {
        const QStringList s = QString::fromLatin1(shape).split(QLatin1Char(' '));
        const QString in = dir.File(L("tone.wav"));
        QStringList soxArgs{L("-n"), L("-r"), L("44100"), L("-c"), s[0],      L("-b"),
                            L("16"), in,      L("synth"), L("1"),  L("sine"), L("440")};
        if (s[0] == L("2"))
            soxArgs << L("sine") << L("440");
        soxArgs << L("vol") << L("0.5");
        RunAndCapture(L("sox"), soxArgs);
        const QString out = dir.File(L("tone.wma"));
        ASSERT_EQ(RunTool({L("-input"), in, L("-output"), out, L("-a_setting"), s[1]}).exitCode, 0);
        EXPECT_NEAR(DecodedPeak(out), 16384, 1000) << shape;
    }
}

TEST_F(Wm8eutil, TheFirstFrameOfTheInputIsHeard)
{
    // A 20 ms click and then silence: the decoded file must still hold the click.
    for (const char* setting : {"32_44_2", "32_22_2"}) {
        const QString in = dir.File(L("click.wav"));
        RunAndCapture(L("sox"), {L("-n"), L("-r"), L("44100"), L("-c"), L("2"), L("-b"), L("16"),
                                 in, L("synth"), L("0.02"), L("sine"), L("1000"), L("vol"),
                                 L("0.5"), L("pad"), L("0"), L("1")});
        const QString out = dir.File(L("click.wma"));
        ASSERT_EQ(
            RunTool({L("-input"), in, L("-output"), out, L("-a_setting"), L(setting)}).exitCode, 0);
        EXPECT_GT(DecodedPeak(out), 12000) << setting;
    }
}

TEST_F(Wm8eutil, FailuresPrintAnErrorLineAndLeaveNoOutput)
{
    const QString out = dir.File(L("out.wma"));
    const QString junk = dir.File(L("junk.wav"));
    WriteWholeFile(junk, QByteArray(5000, 'x'));
    const QString truncated = dir.File(L("cut.wav"));
    WriteWholeFile(truncated, ReadWholeFile(wav).left(30));
    const QList<QStringList> cases{
        {L("-input"), dir.File(L("missing.wav")), L("-output"), out, L("-a_setting"), L("64_44_2")},
        {L("-input"), junk, L("-output"), out, L("-a_setting"), L("64_44_2")},
        {L("-input"), truncated, L("-output"), out, L("-a_setting"), L("64_44_2")},
        {L("-input"), wav, L("-output"), dir.File(L("no/such/dir.wma")), L("-a_setting"),
         L("64_44_2")},
        {L("-input"), wav, L("-output"), out, L("-a_setting"), L("64_45_2")},
        {L("-input"), wav, L("-output"), out, L("-a_setting"), L("64_44")},
        {L("-input"), wav, L("-output"), out},
        {L("-input"), wav, L("-output"), out, L("-a_setting"), L("64_44_2"), L("-bogus"), L("x")},
        {L("-input"), wav, L("-output"), wav, L("-a_setting"), L("64_44_2")},
    };
    const QByteArray original = ReadWholeFile(wav);
    for (const QStringList& args : cases) {
        const ToolRun r = RunTool(args);
        EXPECT_NE(r.exitCode, 0) << args.join(L(" ")).toStdString();
        EXPECT_TRUE(r.output.contains(L("ERROR"))) << r.output.toStdString();
        EXPECT_FALSE(r.output.contains(L("100%"))) << r.output.toStdString();
        EXPECT_FALSE(FileExists(out)) << args.join(L(" ")).toStdString();
    }
    EXPECT_EQ(ReadWholeFile(wav), original); // in = out did not destroy the input

    // An existing output is left alone when the input cannot be read.
    WriteWholeFile(out, "keep me");
    EXPECT_NE(
        RunTool({L("-input"), junk, L("-output"), out, L("-a_setting"), L("64_44_2")}).exitCode, 0);
    EXPECT_EQ(ReadWholeFile(out), QByteArray("keep me"));
}

TEST_F(Wm8eutil, TerminatedEncodeRemovesItsPartialOutput)
{
    const QString longWav = dir.File(L("long.wav"));
    WriteSineWav(longWav, 120.0, 48000, 2);
    const QString out = dir.File(L("long.wma"));
    bool sawFile = false;
    // Stop it as the runner does, once it is under way and has made its output.
    const ProgramResult r = RunProgram(
        Tool(), {L("-input"), longWav, L("-output"), out, L("-a_setting"), L("192_48_2")},
        [&](pid_t pid) {
            sawFile =
                WaitUntil([&] { return FileSizeOrMinus1(out) > 0; }, std::chrono::seconds(30));
            ::kill(pid, SIGTERM);
        });
    EXPECT_TRUE(sawFile);
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_TRUE(r.Out.contains("ERROR")) << r.Out.toStdString();
    EXPECT_FALSE(r.Out.contains("100%"));
    EXPECT_FALSE(FileExists(out));
}

TEST_F(Wm8eutil, RunnerReportsTheToolsErrorLine)
{
    TWMAEncodeProcess wma;
    wma.Active = true;
    wma.JobKind = 6;
    wma.InputFile = dir.File(L("gone.wav"));
    wma.OutputFile = dir.File(L("gone.wma"));
    wma.NotifyWindow = &log;
    wma.Start();
    ASSERT_TRUE(WaitUntil([&] { return !log.Ends().empty(); }));
    PumpEvents(std::chrono::milliseconds(200));
    ASSERT_EQ(log.Ends().size(), 1u);
    EXPECT_EQ(log.Ends()[0].ErrorCode, 8);
    EXPECT_EQ(log.Ends()[0].ElapsedText,
              L("ERROR: input file \"") + wma.InputFile + L("\" does not exist"));
    EXPECT_TRUE(log.Progress().empty());
}
