// The runners driven against small fake tools: outcomes, the overwrite question, how output
// reaches the parsers, Stop, and the WMA runner's sent end events.
#include <memory>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "EncoderTestSupport.h"
#include "core/AppException.h"
#include "core/ErrorHandler.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "support/TestSupport.h"

namespace {

QString L(const char* s)
{
    return QString::fromUtf8(s);
}

class Runners : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        input = dir.File(L("in.wav"));
        WriteWholeFile(input, "RIFF");
    }
    void TearDown() override { EXPECT_TRUE(WaitForWatchers()); }

    // A fake tool in the program folder.
    // The fakes leave an output, as a tool that succeeds does; one that exits 0 without any
    // is a failure (see ToolThatExitsCleanlyWithoutOutputFailed).
    void FakeLame(const QByteArray& body)
    {
        WriteScript(dir.File(L("lame")),
                    "for a in \"$@\"; do out=\"$a\"; done; printf mp3 > \"$out\"\n" + body);
    }
    void FakeWma(const QByteArray& body)
    {
        WriteScript(dir.File(L("WM8EUTIL")), "printf wma > \"$4\"\n" + body);
    }

    template <class Runner> void Prepare(Runner& r, const QString& output, uint8_t kind = 2)
    {
        r.Active = true;
        r.Encode = true;
        r.JobKind = kind;
        r.InputFile = input;
        r.OutputFile = output;
        r.NotifyWindow = &log;
    }

    bool WaitForEnds(size_t n)
    {
        return WaitUntil([&] { return log.Ends().size() >= n; });
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ReportLog log;
    QString input;
};

const QByteArray kThreeLinesOneChunk =
    "printf '   1/9    (10%%)|\\r   2/9    (20%%)|\\r\\n   3/9    (30%%)|\\n'\n";

} // namespace

TEST_F(Runners, DeclinedOverwriteEndsWithOutcome0AndRunsNothing)
{
    FakeLame("touch \"$0.ran\"\n");
    const QString out = dir.File(L("out.mp3"));
    WriteWholeFile(out, "old");
    TMp3EncodeProcess mp3;
    Prepare(mp3, out, 2);
    boxes.PlanAnswer(MbAnswer::No);
    mp3.Start();
    EXPECT_FALSE(mp3.IsRunning());
    ASSERT_TRUE(WaitForEnds(1));
    PumpEvents();
    ASSERT_EQ(log.Reports.size(), 1u);
    EXPECT_EQ(log.Reports[0].Percent, 2000);
    EXPECT_EQ(log.Reports[0].ErrorCode, 0);
    EXPECT_TRUE(mp3.Active);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].Text, out + L(" has existed,overite it?"));
    EXPECT_EQ(boxes.Shown()[0].Buttons, MbButtons::YesNo);
    EXPECT_EQ(boxes.Shown()[0].Icon, MbIcon::Information);
    EXPECT_FALSE(FileExists(dir.File(L("lame.ran"))));
    EXPECT_EQ(ReadWholeFile(out), QByteArray("old"));
}

TEST_F(Runners, OutputInUseEndsWithOutcome1)
{
    FakeLame("touch \"$0.ran\"\n");
    const QString out = dir.File(L("out.mp3"));
    WriteWholeFile(out, "old");
    const int fd = ::open(QFile::encodeName(out).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(LockExclusive(fd));
    TMp3EncodeProcess mp3;
    Prepare(mp3, out, 3);
    boxes.PlanAnswer(MbAnswer::Yes);
    mp3.Start();
    ASSERT_TRUE(WaitForEnds(1));
    ::close(fd);
    EXPECT_EQ(log.Ends()[0].ErrorCode, 1);
    EXPECT_FALSE(FileExists(dir.File(L("lame.ran"))));
}

TEST_F(Runners, RipsAndRecorderExportsOverwriteWithoutAsking)
{
    FakeLame("echo x > \"$0.ran\"\n");
    FakeWma("echo x > \"$0.ran\"\n");
    const QString out = dir.File(L("out.bin"));
    WriteWholeFile(out, "old");
    for (const uint8_t kind : {uint8_t{1}, uint8_t{4}}) {
        TMp3EncodeProcess mp3;
        Prepare(mp3, out, kind);
        QFile::remove(dir.File(L("lame.ran")));
        mp3.Start();
        ASSERT_TRUE(WaitForEnds(log.Ends().size() + 1));
        EXPECT_EQ(log.Ends().back().ErrorCode, 2);
        EXPECT_TRUE(FileExists(dir.File(L("lame.ran"))));
    }
    TWMAEncodeProcess wma;
    Prepare(wma, out, 1);
    wma.Start();
    ASSERT_TRUE(WaitForEnds(3));
    EXPECT_EQ(log.Ends().back().Percent, 5000);
    EXPECT_TRUE(boxes.Shown().empty());
    // The WMA runner asks for a recorder export (kind 4).
    Prepare(wma, out, 4);
    boxes.PlanAnswer(MbAnswer::No);
    wma.Start();
    EXPECT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(log.Ends().back().ErrorCode, 0);
}

TEST_F(Runners, EveryLineBreakOfAChunkGivesALineInOrder)
{
    FakeLame(kThreeLinesOneChunk);
    TMp3EncodeProcess mp3;
    Prepare(mp3, dir.File(L("o.mp3")));
    mp3.Start();
    ASSERT_TRUE(WaitForEnds(1));
    PumpEvents();
    ASSERT_EQ(log.Reports.size(), 4u);
    EXPECT_EQ(log.Reports[0].Percent, 10);
    EXPECT_EQ(log.Reports[1].Percent, 20);
    EXPECT_EQ(log.Reports[2].Percent, 30);
    EXPECT_EQ(log.Reports[3].Percent, 2000);
    EXPECT_EQ(log.Reports[3].ErrorCode, 2);
    EXPECT_EQ(mp3.ProgressColumn(), 11);
    EXPECT_TRUE(mp3.Active);
    EXPECT_FALSE(mp3.IsRunning());
}

TEST_F(Runners, ALineSplitAcrossTwoWritesIsParsedAsTwoHalves)
{
    // On stderr, where lame writes its progress. The tool writes the second half only after
    // the test has seen the first chunk parsed (the report of its complete first line).
    FakeLame("printf '   1/9    (10%%)|\\n   1/9    (4' >&2\n"
             "while [ ! -f \"$0.go\" ]; do sleep 0.02; done\n"
             "printf '2%%)|\\n' >&2\n");
    TMp3EncodeProcess mp3;
    Prepare(mp3, dir.File(L("o.mp3")));
    mp3.Start();
    ASSERT_TRUE(WaitUntil([&] { return !log.Progress().empty(); }));
    WriteWholeFile(dir.File(L("lame.go")), "");
    ASSERT_TRUE(WaitForEnds(1));
    PumpEvents();
    // "   1/9    (4" has no "%"; "2%)|" is shorter than the column: only the first line counts.
    ASSERT_EQ(log.Progress().size(), 1u);
    EXPECT_EQ(log.Progress()[0].Percent, 10);
    EXPECT_EQ(mp3.ProgressColumn(), 11);
}

TEST_F(Runners, OutputLeftInThePipesIsParsedBeforeTheEnd)
{
    // Far more than one read, written faster than the watcher can drain it, then an exit.
    FakeLame("i=1\nwhile [ $i -le 300 ]; do printf '   1/9    (%2d%%)|\\n' $((i % 99 + 1)); "
             "i=$((i+1)); done\n");
    TMp3EncodeProcess mp3;
    Prepare(mp3, dir.File(L("o.mp3")));
    mp3.Start();
    ASSERT_TRUE(WaitForEnds(1));
    PumpEvents();
    ASSERT_EQ(log.Reports.size(), 301u);
    EXPECT_EQ(log.Reports.back().Percent, 2000);
    for (size_t i = 0; i < 300; ++i)
        EXPECT_EQ(log.Reports[i].Percent, static_cast<int>((i + 1) % 99 + 1)) << i;
}

TEST_F(Runners, StopEndsTheToolAndItsChildrenWithoutAnEndEvent)
{
    FakeLame("printf '   1/9    (10%%)|\\n'\nsleep 30 &\necho $! > \"$0.child\"\nwait\n");
    TMp3EncodeProcess mp3;
    Prepare(mp3, dir.File(L("o.mp3")));
    mp3.Start();
    const pid_t pid = mp3.ProcessId();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntil([&] { return !log.Progress().empty(); }));
    // The shell creates the file before echo writes to it: wait for the number itself.
    pid_t child = 0;
    ASSERT_TRUE(WaitUntil([&] {
        child = ReadWholeFile(dir.File(L("lame.child"))).trimmed().toInt();
        return child > 0;
    }));
    mp3.Stop(0);
    EXPECT_FALSE(mp3.Active);
    EXPECT_FALSE(mp3.IsRunning());
    EXPECT_EQ(mp3.ProcessId(), 0);
    ASSERT_TRUE(
        WaitUntil([&] { return ProcessGone(pid) && ProcessGone(child); }, std::chrono::seconds(5)));
    PumpEvents(std::chrono::milliseconds(300));
    EXPECT_TRUE(log.Ends().empty());
    // A second Stop, and a Stop after a normal end, do nothing.
    mp3.Stop(0);
    FakeLame("exit 0\n");
    mp3.Active = true;
    mp3.Start();
    ASSERT_TRUE(WaitForEnds(1));
    mp3.Stop(0);
    PumpEvents();
    EXPECT_EQ(log.Ends().size(), 1u);
}

TEST_F(Runners, StopReachesAToolThatIgnoresTermination)
{
    FakeLame("trap '' TERM\nwhile true; do sleep 0.05; done\n");
    TMp3EncodeProcess mp3;
    Prepare(mp3, dir.File(L("o.mp3")));
    mp3.Start();
    const pid_t pid = mp3.ProcessId();
    PumpEvents(std::chrono::milliseconds(200));
    mp3.Stop(0);
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }, std::chrono::seconds(8)));
    EXPECT_TRUE(log.Ends().empty());
}

TEST_F(Runners, EndlessOutputAndGarbageNeitherCrashNorStarveTheStop)
{
    // The first line fixes the column; the garbage may then match it by chance, harmlessly.
    FakeLame(
        "echo '   1/9    (50%)|'\nhead -c 200000 /dev/urandom\nprintf '\\0\\r\\r\\n%%%%%%\\n' >&2\n"
        "while true; do echo '   1/9    (50%)|     0:01/    0:02|'; done\n");
    TMp3EncodeProcess mp3;
    Prepare(mp3, dir.File(L("o.mp3")));
    mp3.Start();
    const pid_t pid = mp3.ProcessId();
    ASSERT_TRUE(WaitUntil([&] { return log.Progress().size() > 500; }));
    mp3.Stop(0);
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }, std::chrono::seconds(5)));
    EXPECT_TRUE(log.Ends().empty());
}

TEST_F(Runners, DestroyingABusyRunnerEndsItsTool)
{
    FakeLame("while true; do echo '   1/9    (50%)|'; done\n");
    auto mp3 = std::make_unique<TMp3EncodeProcess>();
    Prepare(*mp3, dir.File(L("o.mp3")));
    mp3->Start();
    const pid_t pid = mp3->ProcessId();
    ASSERT_TRUE(WaitUntil([&] { return !log.Progress().empty(); }));
    mp3.reset(); // the watcher may be waiting for this thread right now
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }, std::chrono::seconds(5)));
    EXPECT_TRUE(WaitForWatchers());
}

TEST_F(Runners, MissingLameRaisesTheCreationErrorForTheGeneralHandler)
{
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.File(L("empty"))));
    TMp3EncodeProcess mp3;
    Prepare(mp3, dir.File(L("o.mp3")));
    const bool ok = GuardedCall([&] { mp3.Start(); });
    qputenv("PATH", oldPath);
    EXPECT_FALSE(ok);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].Text, L("Error while creating mp3 encoding process!2"));
    EXPECT_EQ(boxes.Shown()[0].Icon, MbIcon::Error);
    EXPECT_FALSE(mp3.IsRunning());
    PumpEvents();
    EXPECT_TRUE(log.Reports.empty()); // the job waits for Stop
    EXPECT_TRUE(mp3.Active);
    mp3.Stop(0);
    EXPECT_FALSE(mp3.Active);
}

TEST_F(Runners, MissingWmaToolSaysSoAndSkipsInsideStart)
{
    TWMAEncodeProcess wma;
    Prepare(wma, dir.File(L("o.wma")), 6);
    wma.Start();
    // Sent, not posted: handled before Start returned.
    ASSERT_EQ(log.Reports.size(), 1u);
    EXPECT_EQ(log.Reports[0].Percent, 5000);
    EXPECT_EQ(log.Reports[0].ErrorCode, 0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].Text,
              L("Can not find WMA encoder,please contact with support@platterly.example!"));
    EXPECT_EQ(boxes.Shown()[0].Icon, MbIcon::Information);
}

TEST_F(Runners, WmaArgumentsArriveIntact)
{
    FakeWma("for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\necho 100%\n");
    input = dir.File(L("in \"q\" put.wav"));
    TWMAEncodeProcess wma;
    wma.Author = L("Blank  Separated Artist");
    wma.Description = L("a \"quoted\" $HOME `x` comment");
    Prepare(wma, dir.File(L("out put.wma")), 6);
    wma.Start();
    ASSERT_TRUE(WaitForEnds(1));
    PumpEvents();
    const QStringList args = QString::fromUtf8(ReadWholeFile(dir.File(L("WM8EUTIL.args"))))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(args, (QStringList{L("-input"), input, L("-output"), dir.File(L("out put.wma")),
                                 L("-a_setting"), L("64_44_2"), L("-author"),
                                 L("Blank  Separated Artist"), L("-description"),
                                 L("a \"quoted\" $HOME `x` comment")}));
    ASSERT_EQ(log.Progress().size(), 1u);
    EXPECT_EQ(log.Progress()[0].Percent, 100);
    EXPECT_EQ(log.Progress()[0].ElapsedText, L("00:01")); // 0 s counts as 1
    EXPECT_EQ(log.Progress()[0].TotalText, L("00:01"));
}

TEST_F(Runners, WmaErrorLineIsSentOnceAndTheToolEndsBeforeTheNextFile)
{
    FakeWma("echo 'ERROR: cannot open input file'\nexec sleep 30\n");
    TWMAEncodeProcess wma;
    Prepare(wma, dir.File(L("a.wma")), 6);
    wma.Start();
    const pid_t first = wma.ProcessId();
    ASSERT_TRUE(WaitForEnds(1));
    EXPECT_EQ(log.Ends()[0].ErrorCode, 8);
    EXPECT_EQ(log.Ends()[0].ElapsedText, L("ERROR: cannot open input file"));
    EXPECT_TRUE(wma.IsRunning()); // the tool is still there

    FakeWma("echo 100%\n");
    Prepare(wma, dir.File(L("b.wma")), 6);
    wma.Start();
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(first); }, std::chrono::seconds(5)));
    ASSERT_TRUE(WaitForEnds(2));
    PumpEvents(std::chrono::milliseconds(200));
    ASSERT_EQ(log.Ends().size(), 2u); // no outcome 2 for the first file
    EXPECT_EQ(log.Ends()[1].ErrorCode, 2);
}

TEST_F(Runners, ToolThatFailsOrLeavesNothingIsNeverASuccess)
{
    TMp3EncodeProcess mp3;
    const auto endOf = [&](const QByteArray& script) {
        log.Reports.clear();
        WriteScript(dir.File(L("lame")), script);
        QFile::remove(dir.File(L("o.mp3")));
        Prepare(mp3, dir.File(L("o.mp3")));
        mp3.Start();
        EXPECT_TRUE(WaitForEnds(1));
        return log.Ends().empty() ? ReceivedReport{} : log.Ends().back();
    };
    // Progress, an output, then a failing exit status.
    const QByteArray writeOutput = "for a in \"$@\"; do out=\"$a\"; done; echo x > \"$out\"\n";
    ReceivedReport end = endOf(writeOutput + "exit 3\n");
    EXPECT_EQ(end.ErrorCode, StepOutcome::ToolFailed);
    EXPECT_EQ(end.ElapsedText, L("lame failed with exit code 3."));
    // Killed by a signal half-way (the review's lame killed mid-encode).
    end = endOf(writeOutput + "kill -KILL $$\n");
    EXPECT_EQ(end.ErrorCode, StepOutcome::ToolFailed);
    EXPECT_EQ(end.ElapsedText, L("lame was ended by signal 9 (Killed)."));
    // Exit status 0 but nothing written.
    end = endOf("exit 0\n");
    EXPECT_EQ(end.ErrorCode, StepOutcome::ToolFailed);
    EXPECT_EQ(end.ElapsedText, L("lame left no output in ") + dir.File(L("o.mp3")) + L("."));
    // Exit 0 with an output: the one success.
    end = endOf(writeOutput);
    EXPECT_EQ(end.ErrorCode, StepOutcome::ToolExited);
    EXPECT_TRUE(end.ElapsedText.isEmpty());
}

TEST_F(Runners, ADecodeCutShortByAFullDiskIsNeverASuccess)
{
    // lame exits 0 when its writes fail: the header it wrote first promises the whole track.
    // A header, a 16-byte fmt chunk, then a data chunk declaring 8 bytes and the bytes given.
    const QByteArray header = "printf 'RIFF\\044\\0\\0\\0WAVEfmt \\020\\0\\0\\0"
                              "\\1\\0\\2\\0DDDDBBBB\\4\\0\\020\\0data\\010\\0\\0\\0";
    const struct {
        const char* data;
        int32_t outcome;
    } cases[] = {
        {"abcdefgh", StepOutcome::ToolExited},
        {"abcd", StepOutcome::ToolFailed},
        {"", StepOutcome::ToolFailed},
    };
    TMp3EncodeProcess mp3;
    for (const auto& c : cases) {
        log.Reports.clear();
        WriteScript(dir.File(L("lame")),
                    "for a in \"$@\"; do out=\"$a\"; done; " + header + c.data + "' > \"$out\"\n");
        QFile::remove(dir.File(L("o.wav")));
        Prepare(mp3, dir.File(L("o.wav")));
        mp3.Encode = false;
        mp3.Start();
        ASSERT_TRUE(WaitForEnds(1));
        EXPECT_EQ(log.Ends().back().ErrorCode, c.outcome) << c.data;
        if (c.outcome == StepOutcome::ToolFailed) {
            EXPECT_EQ(log.Ends().back().ElapsedText,
                      L("lame left an incomplete file in ") + dir.File(L("o.wav")) + L("."));
        }
    }
}

TEST_F(Runners, AnInputCutShortWhileReadIsNeverASuccess)
{
    // lame takes a file cut short under it for a short file and exits 0. Deleting or
    // replacing the input is no fault: the tool reads on through its own descriptor.
    const struct {
        const char* action;
        int32_t outcome;
    } cases[] = {
        {"printf R > \"$in\"", StepOutcome::ToolFailed},
        {"rm \"$in\"", StepOutcome::ToolExited},
        {"printf R > \"$in.new\"; mv \"$in.new\" \"$in\"", StepOutcome::ToolExited},
    };
    TMp3EncodeProcess mp3;
    for (const auto& c : cases) {
        log.Reports.clear();
        WriteWholeFile(input, "RIFF");
        WriteScript(dir.File(L("lame")), QByteArray("in=\"") + QFile::encodeName(input) +
                                             "\"; for a in \"$@\"; do out=\"$a\"; done; "
                                             "printf mp3 > \"$out\"; " +
                                             c.action + "\n");
        QFile::remove(dir.File(L("o.mp3")));
        Prepare(mp3, dir.File(L("o.mp3")));
        mp3.Start();
        ASSERT_TRUE(WaitForEnds(1));
        EXPECT_EQ(log.Ends().back().ErrorCode, c.outcome) << c.action;
        if (c.outcome == StepOutcome::ToolFailed) {
            EXPECT_EQ(log.Ends().back().ElapsedText,
                      input + L(" was cut short while lame read it."));
        }
    }
}

TEST_F(Runners, WmaErrorAfterItsToolExitedIsStillTheOnlyEnd)
{
    FakeWma("echo 'ERROR: bad'\nexit 1\n");
    TWMAEncodeProcess wma;
    Prepare(wma, dir.File(L("a.wma")), 6);
    wma.Start();
    ASSERT_TRUE(WaitForEnds(1));
    ASSERT_TRUE(WaitUntil([&] { return !wma.IsRunning(); }));
    PumpEvents(std::chrono::milliseconds(200));
    EXPECT_EQ(log.Ends().size(), 1u);
    EXPECT_EQ(log.Ends()[0].ErrorCode, 8);
}

TEST_F(Runners, WmaSentErrorOvertakesAPostedProgressReport)
{
    FakeWma("printf '100%%\\nERROR: late\\n100%%\\n'\n");
    TWMAEncodeProcess wma;
    Prepare(wma, dir.File(L("a.wma")), 6);
    wma.Start();
    ASSERT_TRUE(WaitForEnds(1));
    PumpEvents(std::chrono::milliseconds(300));
    ASSERT_EQ(log.Reports.size(), 2u);
    EXPECT_EQ(log.Reports[0].Percent, 5000);
    EXPECT_EQ(log.Reports[0].ErrorCode, 8);
    EXPECT_EQ(log.Reports[1].Percent, 100);

    log.Reports.clear();
    FakeWma("printf 'ERROR: first\\n100%%\\n'\n");
    wma.Start();
    ASSERT_TRUE(WaitForEnds(1));
    PumpEvents(std::chrono::milliseconds(300));
    ASSERT_EQ(log.Reports.size(), 1u);
    EXPECT_EQ(log.Reports[0].ErrorCode, 8);
}

TEST_F(Runners, WindowMayStartTheNextFileInsideTheSentEndEvent)
{
    FakeWma("echo \"$2\" >> \"$0.log\"\necho 100%\n");
    TWMAEncodeProcess wma;
    int next = 0;
    const QStringList files{dir.File(L("1.wav")), dir.File(L("2.wav")), dir.File(L("3.wav"))};
    log.OnReport = [&](const ReceivedReport& r) {
        if (r.Percent != 5000 || ++next >= files.size())
            return;
        wma.InputFile = files[next];
        wma.OutputFile = files[next] + L(".wma");
        wma.Start(); // re-enters the runner from inside its own end handling
    };
    Prepare(wma, files[0] + L(".wma"), 6);
    wma.InputFile = files[0];
    wma.Start();
    ASSERT_TRUE(WaitForEnds(3));
    EXPECT_EQ(QString::fromUtf8(ReadWholeFile(dir.File(L("WM8EUTIL.log")))),
              files.join(QLatin1Char('\n')) + L("\n"));
    for (const ReceivedReport& r : log.Ends())
        EXPECT_EQ(r.ErrorCode, 2);
}
