// The MP3 runner on the real lame program: encoding, decoding, awkward names, tags, Stop.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "EncoderTestSupport.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "encoders/Mp3EncodeProcess.h"
#include "metadata/Genres.h"
#include "metadata/id3tag.h"
#include "support/TestSupport.h"

namespace {

QString L(const char* s)
{
    return QString::fromUtf8(s);
}

QString Probe(const QString& file, const char* entries)
{
    // One value a line, joined with commas: "mp3,44100,2".
    const QString text = QString::fromUtf8(
        RunAndCapture(L("ffprobe"), {L("-v"), L("error"), L("-show_entries"), L(entries), L("-of"),
                                     L("default=nw=1:nk=1"), file}));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(','));
}

class Lame : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        mp3.NotifyWindow = &log;
    }
    void TearDown() override { EXPECT_TRUE(WaitForWatchers()); }

    void Run(const QString& in, const QString& out, bool encode, uint8_t kind)
    {
        const size_t ends = log.Ends().size();
        mp3.Active = true;
        mp3.Encode = encode;
        mp3.JobKind = kind;
        mp3.InputFile = in;
        mp3.OutputFile = out;
        mp3.Start();
        ASSERT_TRUE(WaitUntil([&] { return log.Ends().size() > ends; }, std::chrono::seconds(60)));
        PumpEvents();
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ReportLog log;
    TMp3EncodeProcess mp3;
};

} // namespace

TEST_F(Lame, EncodesAndDecodesWithProgressEvenWithAwkwardNames)
{
    // "%" and "#" in the names appear in lame's own echo of them; they must not be taken
    // for the progress column.
    const QString wav = dir.File(L("100% \"Hit\" #1.wav"));
    const QString out = dir.File(L("100% \"Hit\" #1.mp3"));
    WriteSineWav(wav, 4.0);
    Run(wav, out, true, 2);
    std::vector<ReceivedReport> progress = log.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().Percent, 100);
    for (size_t i = 1; i < progress.size(); ++i)
        EXPECT_GE(progress[i].Percent, progress[i - 1].Percent);
    EXPECT_FALSE(progress.back().ElapsedText.isEmpty());
    EXPECT_EQ(mp3.ProgressColumn(), 15); // lame's "%" sits in column 18
    EXPECT_EQ(log.Reports.back().Percent, 2000);
    EXPECT_EQ(log.Reports.back().ErrorCode, 2);
    EXPECT_TRUE(WIFEXITED(mp3.LastWaitStatus()) && WEXITSTATUS(mp3.LastWaitStatus()) == 0);
    EXPECT_EQ(Probe(out, "stream=codec_name,sample_rate,channels"), L("mp3,44100,2"));

    // Back to WAV (an MP3-to-WAV conversion, kind 3).
    log.Reports.clear();
    const QString back = dir.File(L("#2 decoded.wav"));
    Run(out, back, false, 3);
    progress = log.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().Percent, 100);
    EXPECT_EQ(log.Reports.back().ErrorCode, 2);
    EXPECT_EQ(mp3.ProgressColumn(), 7); // "Frame#"
    EXPECT_EQ(Probe(back, "stream=codec_name,sample_rate,channels"), L("pcm_s16le,44100,2"));
    const double seconds = Probe(back, "format=duration").toDouble();
    EXPECT_NEAR(seconds, 4.0, 0.1);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Lame, TwoTracksOnOneRunnerAreEncodedAndTaggedBackToBack)
{
    // What a rip does with the runner: encode, tag in the end handler, start the next.
    const QStringList titles{L("First Song"), L("Zweites Lied")};
    int index = 0;
    bool progressSeen = false;
    log.OnReport = [&](const ReceivedReport& r) {
        if (r.Percent >= 1 && r.Percent <= 100)
            progressSeen = true;
        if (r.Percent != 2000)
            return;
        ASSERT_EQ(r.ErrorCode, 2);
        ASSERT_TRUE(progressSeen);
        Tid3tag tag;
        tag.SetTitle(titles[index]);
        tag.SetArtist(L("Band"));
        tag.SetAlbum(L("Album"));
        tag.SetYear(L("2001"));
        tag.SetComment(L("rip"));
        tag.SetTrack(static_cast<uint8_t>(index + 1));
        tag.Genre = GenreToByte(GenrePositionOf(L("Jazz")));
        EXPECT_EQ(tag.WriteTag(dir.File(titles[index] + L(".mp3"))), Tid3tag::Ok);
        progressSeen = false;
        if (++index < titles.size()) {
            mp3.InputFile = dir.File(titles[index] + L(".wav"));
            mp3.OutputFile = dir.File(titles[index] + L(".mp3"));
            mp3.Start();
        }
    };
    for (const QString& t : titles)
        WriteSineWav(dir.File(t + L(".wav")), 1.5);
    WriteWholeFile(dir.File(titles[1] + L(".mp3")), "stale"); // a rip overwrites silently
    Run(dir.File(titles[0] + L(".wav")), dir.File(titles[0] + L(".mp3")), true, 1);
    ASSERT_TRUE(WaitUntil([&] { return index == 2; }, std::chrono::seconds(60)));
    EXPECT_TRUE(boxes.Shown().empty());
    for (int i = 0; i < 2; ++i) {
        const QString file = dir.File(titles[i] + L(".mp3"));
        Tid3tag read;
        ASSERT_EQ(read.ReadTag(file), Tid3tag::Ok);
        EXPECT_EQ(read.Title(), titles[i]);
        EXPECT_EQ(read.Track(), i + 1);
        // A real decoder reads our tag, and the audio before it is intact.
        EXPECT_EQ(Probe(file, "format_tags=title"), titles[i]);
        EXPECT_EQ(Probe(file, "stream=codec_name"), L("mp3"));
    }
}

TEST_F(Lame, StopDuringARealEncodeEndsLameWithoutAnEndEvent)
{
    const QString wav = dir.File(L("long.wav"));
    WriteSineWav(wav, 120.0);
    mp3.Active = true;
    mp3.JobKind = 2;
    mp3.InputFile = wav;
    mp3.OutputFile = dir.File(L("long.mp3"));
    mp3.Start();
    const pid_t pid = mp3.ProcessId();
    ASSERT_TRUE(WaitUntil([&] { return !log.Progress().empty(); }));
    mp3.Stop(0);
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }, std::chrono::seconds(5)));
    PumpEvents(std::chrono::milliseconds(300));
    EXPECT_TRUE(log.Ends().empty());
    EXPECT_LT(log.Progress().back().Percent, 100);
}

TEST_F(Lame, AFailingLameEndsAsAFailureWithItsExitCode)
{
    Run(dir.File(L("missing.wav")), dir.File(L("missing.mp3")), true, 2);
    EXPECT_TRUE(log.Progress().empty());
    EXPECT_EQ(log.Ends().back().ErrorCode, StepOutcome::ToolFailed);
    EXPECT_TRUE(log.Ends().back().ElapsedText.contains(L(" failed with exit code ")))
        << log.Ends().back().ElapsedText.toStdString();
    EXPECT_TRUE(WIFEXITED(mp3.LastWaitStatus()) && WEXITSTATUS(mp3.LastWaitStatus()) != 0);
}
