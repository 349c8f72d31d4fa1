#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "cd/OpenDrive.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "encoders/EncoderTestSupport.h"
#include "metadata/id3tag.h"
#include "pipeline/ParallelJob.h"
#include "pipeline/RipJob.h"
#include "platform/cdaccess/DiscFixture.h"
#include "support/TestSupport.h"

namespace {

/// A lame stand-in: notes how many copies run at once, prints lame's progress lines, writes
/// its output; tracks whose input names match `hang` never end, those matching `fail` fail.
QByteArray FakeLame(const QString& runDir, const char* hang = "NONE", const char* fail = "NONE")
{
    return QStringLiteral("for a in \"$@\"; do in=\"$out\"; out=\"$a\"; done\n"
                          "touch '%1'/$$; ls '%1' | wc -l >> '%1.counts'\n"
                          "printf '   1/9    (10%%)|\\n'\n"
                          "case \"$in\" in *%2*) exec sleep 60;; esac\n"
                          "sleep 0.3\n"
                          "printf '   9/9    (100%%)|\\n'\n"
                          "rm '%1'/$$\n"
                          "case \"$in\" in *%3*) exit 3;; esac\n"
                          "printf mp3 > \"$out\"\n")
        .arg(runDir, QString::fromLatin1(hang), QString::fromLatin1(fail))
        .toUtf8();
}

class ParallelJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        TCommonOptions& c = OptionsSetting().CommonOptions;
        c.OutputFolder = dir.File(QStringLiteral("Output"));
        c.NormalizePercent = 95;
        c.ParallelEncoders = 2;
        OptionsSetting().Mp3Options = {false, false, 128, 320, 0, 4, 1};
        QDir().mkpath(c.OutputFolder);
        QDir().mkpath(dir.File(QStringLiteral("discs")));
        QDir().mkpath(dir.File(QStringLiteral("run")));
    }
    void TearDown() override
    {
        InstallCdAccess(nullptr);
        if (handle != 0)
            CloseCDHandle(handle);
        ResetOptionsSetting();
    }
    void OpenImage(const std::vector<int64_t>& sectors)
    {
        MakeImage(dir.File(QStringLiteral("discs")), QStringLiteral("Disc"), sectors);
        handle = OpenDrive(0).Handle;
        ASSERT_NE(handle, 0);
    }
    bool Run(TRipJob& job, int seconds = 60)
    {
        bool closed = !job.Running();
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        return WaitUntil([&] { return closed; }, std::chrono::seconds(seconds));
    }
    QString Out(const QString& name) { return dir.File(QStringLiteral("Output/")) + name; }
    void UseFakeLame(const char* hang = "NONE", const char* fail = "NONE")
    {
        WriteScript(dir.File(QStringLiteral("lame")),
                    FakeLame(dir.File(QStringLiteral("run")), hang, fail));
    }
    /// The most copies of the fake lame that ran at once.
    int PeakTools()
    {
        const QStringList counts =
            QString::fromLatin1(ReadWholeFile(dir.File(QStringLiteral("run.counts"))))
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        int peak = 0;
        for (const QString& n : counts)
            peak = std::max(peak, n.trimmed().toInt());
        return peak;
    }
    QStringList PartFiles()
    {
        return QDir(dir.File(QStringLiteral("Output")))
            .entryList({QStringLiteral(".platterly-*")}, QDir::Files | QDir::Hidden);
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    int handle = 0;
};

TEST_F(ParallelJobTest, OneMeansTheSequentialJobAndOtherValuesTheParallelOne)
{
    OpenImage({75});
    OptionsSetting().CommonOptions.OutputFormat = ofWAV;
    for (const auto& [setting, parallel] :
         {std::pair{1, false}, std::pair{-4, false}, std::pair{0, true}, std::pair{1000, true}}) {
        OptionsSetting().CommonOptions.ParallelEncoders = setting;
        TRipJob job(jkRipTracks, handle, {QStringLiteral("01A")});
        EXPECT_EQ(job.Parallel() != nullptr, parallel) << setting;
        ASSERT_TRUE(Run(job));
    }
}

TEST_F(ParallelJobTest, TheViewIsBuiltWhenWhatItShowsMovesNotForEveryReport)
{
    // 300 reports of ten sectors; the percent moves 100 times, the clock a few.
    OpenImage({3000});
    OptionsSetting().CommonOptions.OutputFormat = ofWAV;
    OptionsSetting().CommonOptions.ParallelEncoders = 2;
    TRipJob job(jkRipTracks, handle, {QStringLiteral("01A")});
    ASSERT_NE(job.Parallel(), nullptr);
    int views = 0;
    QObject::connect(&job, &TRipJob::ViewChanged, [&] { ++views; });
    ASSERT_TRUE(Run(job));
    EXPECT_GT(views, 0);
    EXPECT_LT(views, 160);
}

TEST_F(ParallelJobTest, RipToMp3RunsTwoEncodersAndKeepsEveryName)
{
    // Later tracks are shorter, so they may end first: names still follow the tracks.
    UseFakeLame();
    OpenImage({75 * 4, 75 * 3, 75 * 2, 75, 75});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    const QStringList titles = {QStringLiteral("01One"), QStringLiteral("02Two"),
                                QStringLiteral("03Three"), QStringLiteral("04Four"),
                                QStringLiteral("05Five")};
    const QByteArray cover("\xff\xd8\xff\xe0 a jpeg", 11);
    TRipJob job(jkRipTracks, handle, titles, {}, cover);
    ASSERT_NE(job.Parallel(), nullptr);
    int peakLines = 0;
    QObject::connect(&job, &TRipJob::ViewChanged,
                     [&] { peakLines = std::max(peakLines, int(job.View().Lines.size())); });
    ASSERT_TRUE(Run(job));
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    for (const QString& title : titles) {
        // Each file carries its own track's tag: no track took another's name.
        const QByteArray mp3 = ReadWholeFile(Out(title.mid(2) + QStringLiteral(".mp3")));
        EXPECT_TRUE(mp3.endsWith("mp3") && mp3.contains("TIT2") &&
                    mp3.contains(title.mid(2).toLatin1()))
            << title.toStdString();
        EXPECT_FALSE(QFile::exists(Out(title.mid(2) + QStringLiteral(".wav"))));
    }
    EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("cover.jpg"))), cover);
    EXPECT_EQ(PeakTools(), 2);
    EXPECT_GE(peakLines, 2);
    const TJobReport report = *job.Report();
    EXPECT_EQ(report.Counts.Done, 5);
    EXPECT_EQ(report.Folder, Out(QString()));
    EXPECT_TRUE(PartFiles().isEmpty());
}

TEST_F(ParallelJobTest, FailingEncodersKeepTheirWavsAndTheEndNamesThem)
{
    // Two encoders fail at about the same time; the others go on.
    UseFakeLame("NONE", "/[BC].wav");
    OpenImage({75, 75, 75, 75});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    TRipJob job(jkRipTracks, handle,
                {QStringLiteral("01A"), QStringLiteral("02B"), QStringLiteral("03C"),
                 QStringLiteral("04D")});
    ASSERT_TRUE(Run(job));
    const QString failure =
        QStringLiteral("Create MP3 file error!\r\nPlease check the output and lame options or "
                       "run application again.\r\nlame failed with exit code 3.");
    // One report at the end, naming both.
    EXPECT_EQ(boxes.Texts(),
              QStringList{QStringLiteral("B: ") + failure + QStringLiteral("\r\nC: ") + failure});
    for (const char* name : {"B", "C"}) {
        EXPECT_EQ(QFileInfo(Out(QString::fromLatin1(name) + QStringLiteral(".wav"))).size(),
                  44 + 75 * 2352)
            << name;
        EXPECT_FALSE(QFile::exists(Out(QString::fromLatin1(name) + QStringLiteral(".mp3"))));
    }
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("A.mp3"))));
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("D.mp3"))));
    const TJobReport report = *job.Report();
    EXPECT_EQ(report.Counts.Done, 2);
    EXPECT_EQ(report.Counts.Failed, 2);
    EXPECT_EQ(report.Counts.FailedTitles, (QStringList{QStringLiteral("B"), QStringLiteral("C")}));
    EXPECT_TRUE(PartFiles().isEmpty());
}

TEST_F(ParallelJobTest, StopWhileEveryLaneIsBusyEndsAllAtOnceAndKeepsFinishedTracks)
{
    UseFakeLame("/[BC].wav");
    OpenImage({75, 75, 75, 75 * 40});
    // The last track reads slowly, so the drive is still busy when Stop comes.
    ICdAccess& real = CdAccess();
    FakeCdAccess slow;
    slow.onModify = [&](int h, int p, int v) { return real.ModifyCDParms(h, p, v); };
    slow.onReadToc = [&](int h, TocRecord& t) { return real.ReadTOC(h, t); };
    slow.onRead = [&](int h, AudioReadBuffer& b) {
        if (b.StartSector >= 225)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return real.ReadCDAudioLBA(h, b);
    };
    InstallCdAccess(&slow);
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    TRipJob job(jkRipTracks, handle,
                {QStringLiteral("01A"), QStringLiteral("02B"), QStringLiteral("03C"),
                 QStringLiteral("04D")});
    TParallelJob& parallel = *job.Parallel();
    ASSERT_TRUE(WaitUntil([&] {
        return QFile::exists(Out(QStringLiteral("A.mp3"))) &&
               parallel.ToolProcesses().size() == 2 &&
               parallel.Scheduler().Running(TLane::Drive) == 1 &&
               QFileInfo(Out(QStringLiteral("D.wav"))).size() > 44;
    }));
    const std::vector<qint64> pids = parallel.ToolProcesses();
    bool closed = false;
    QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
    const auto stop = std::chrono::steady_clock::now();
    job.Stop();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(WaitUntil(
        [&] {
            return std::all_of(pids.begin(), pids.end(),
                               [](qint64 pid) { return ProcessGone(static_cast<pid_t>(pid)); });
        },
        std::chrono::milliseconds(200)));
    EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::milliseconds(200));
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("A.mp3"))));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("A.wav"))));
    for (const char* name : {"B", "C"}) {
        // Their encodes were cut short: the WAV is the only whole copy.
        EXPECT_EQ(QFileInfo(Out(QString::fromLatin1(name) + QStringLiteral(".wav"))).size(),
                  44 + 75 * 2352)
            << name;
        EXPECT_FALSE(QFile::exists(Out(QString::fromLatin1(name) + QStringLiteral(".mp3"))));
    }
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("D.wav")))) << "read only in part";
    EXPECT_TRUE(PartFiles().isEmpty());
    const TJobReport report = *job.Report();
    EXPECT_TRUE(report.Stopped);
    EXPECT_EQ(report.Counts.Done, 1);
}

TEST_F(ParallelJobTest, PickedWavsToOggKeepTheirNames)
{
    QStringList inputs;
    for (int k = 0; k < 4; ++k) {
        inputs << dir.File(QStringLiteral("in%1.wav").arg(k));
        WriteSineWav(inputs.last(), 2.0 - 0.4 * k, k == 2 ? 22050 : 44100);
    }
    TRipJob job(jkWavToOgg, 0, inputs);
    ASSERT_NE(job.Parallel(), nullptr);
    ASSERT_TRUE(Run(job));
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    for (int k = 0; k < 4; ++k) {
        const QByteArray ogg = ReadWholeFile(Out(QStringLiteral("in%1.ogg").arg(k)));
        EXPECT_TRUE(ogg.startsWith("OggS")) << k;
    }
    EXPECT_EQ(job.Report()->Counts.Done, 4);
    EXPECT_TRUE(PartFiles().isEmpty()) << PartFiles().join(QLatin1Char(' ')).toStdString();
}

TEST_F(ParallelJobTest, OverwriteQuestionsComeBeforeAnyEncoderStarts)
{
    UseFakeLame();
    const QString a = dir.File(QStringLiteral("a.wav"));
    const QString b = dir.File(QStringLiteral("b.wav"));
    WriteSineWav(a, 0.5);
    WriteSineWav(b, 0.5);
    WriteWholeFile(Out(QStringLiteral("a.mp3")), "old");
    WriteWholeFile(Out(QStringLiteral("b.mp3")), "old");
    boxes.PlanAnswer(MbAnswer::No);
    boxes.PlanAnswer(MbAnswer::Yes);
    TRipJob job(jkWavToMp3, 0, {a, b});
    // Both asked as the job starts, not once the first file is done.
    EXPECT_EQ(
        boxes.Texts(),
        (QStringList{Out(QStringLiteral("a.mp3")) + QStringLiteral(" has existed,overite it?"),
                     Out(QStringLiteral("b.mp3")) + QStringLiteral(" has existed,overite it?")}));
    ASSERT_TRUE(Run(job));
    EXPECT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("a.mp3"))), QByteArray("old"));
    EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("b.mp3"))), QByteArray("mp3"));
    const TJobReport report = *job.Report();
    EXPECT_EQ(report.Counts.Done, 1);
    EXPECT_EQ(report.Counts.Skipped, 1);
}

TEST_F(ParallelJobTest, NormalisingRunsBesideTheDriveWritesAsTheSequentialRipAndFailsAlone)
{
    OpenImage({75 * 3, 75 * 2, 75});
    TCommonOptions& c = OptionsSetting().CommonOptions;
    c.OutputFormat = ofWAV;
    c.IsNormalize = true;
    const QStringList titles = {QStringLiteral("01A"), QStringLiteral("02B"),
                                QStringLiteral("03C")};
    QList<QByteArray> sequential;
    {
        c.ParallelEncoders = 1;
        TRipJob job(jkRipTracks, handle, titles);
        ASSERT_TRUE(Run(job));
        for (const QString& title : titles)
            sequential << ReadWholeFile(Out(title.mid(2) + QStringLiteral(".wav")));
    }
    for (const QString& title : titles)
        QFile::remove(Out(title.mid(2) + QStringLiteral(".wav")));
    ASSERT_TRUE(QDir().mkdir(Out(QStringLiteral("C.nor")))); // C's twin cannot be made

    c.ParallelEncoders = 2;
    TRipJob job(jkRipTracks, handle, titles);
    const TJobScheduler& scheduler = job.Parallel()->Scheduler();
    // The end of a step is a queued report, so each start shows what runs beside it.
    bool overlap = false;
    QStringList lines;
    QObject::connect(&job, &TRipJob::ViewChanged, [&] {
        const TEntryStep* normalize = scheduler.Entry(0).Step(TStepType::Normalize);
        overlap =
            overlap || (normalize != nullptr && normalize->State == TStepState::Running &&
                        scheduler.Entry(1).Step(TStepType::Extract)->State == TStepState::Running);
        lines << job.View().Lines;
    });
    ASSERT_TRUE(Run(job));
    EXPECT_TRUE(overlap) << "the drive read track 2 while track 1 was normalised";
    EXPECT_TRUE(lines.contains(QStringLiteral("Normalizing 01 A: 0%")))
        << lines.join(QLatin1Char('|')).toStdString();
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(ReadWholeFile(Out(titles[k].mid(2) + QStringLiteral(".wav"))), sequential[k])
            << k;
    // C failed alone, after its extraction, and its WAV stays as it was read.
    ASSERT_EQ(boxes.Texts().size(), 1);
    EXPECT_TRUE(boxes.Texts()[0].startsWith(QStringLiteral("C: ") + Out(QStringLiteral("C.wav")) +
                                            QStringLiteral(" could not be normalized (")))
        << boxes.Texts()[0].toStdString();
    EXPECT_EQ(scheduler.Entry(2).Step(TStepType::Extract)->State, TStepState::Succeeded);
    EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("C.wav"))).mid(44),
              BinSectors(dir.File(QStringLiteral("discs/Disc.bin")), 75 * 5, 75));
    EXPECT_EQ(job.Report()->Counts.Done, 2);
    EXPECT_EQ(job.Report()->Counts.FailedTitles, QStringList{QStringLiteral("C")});
}

TEST_F(ParallelJobTest, SilentWmaToolsShowAnEstimateWhileTheyRun)
{
    // The tool prints nothing until it ends, which here is when the test lets it.
    const QString gate = dir.File(QStringLiteral("gate"));
    WriteScript(dir.File(QStringLiteral("WM8EUTIL")),
                QStringLiteral("while [ ! -e '%1' ]; do sleep 0.05; done\n"
                               "echo wma > \"$4\"\necho 100%%\n")
                    .arg(gate)
                    .toUtf8());
    QStringList inputs;
    for (int k = 0; k < 2; ++k) {
        inputs << dir.File(QStringLiteral("in%1.wav").arg(k));
        WriteSineWav(inputs.last(), 0.5);
    }
    TRipJob job(jkWavToWma, 0, inputs);
    ASSERT_NE(job.Parallel(), nullptr);
    // A small input is taken to need two seconds: after one, half.
    const QStringList halfway = {QStringLiteral("Encoding in0.wav: 50%"),
                                 QStringLiteral("Encoding in1.wav: 50%")};
    EXPECT_TRUE(WaitUntil([&] { return job.View().Lines == halfway; }))
        << job.View().Lines.join(QLatin1Char('|')).toStdString();
    WriteWholeFile(gate, {});
    ASSERT_TRUE(Run(job));
    EXPECT_TRUE(boxes.Texts().isEmpty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(job.Report()->Counts.Done, 2);
}

/// Runs the current test again in a user and mount namespace of its own, where it may mount a
/// small file system. Skips where the machine allows no such namespace.
void RunInOwnNamespace()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const ProgramResult r = RunProgram(QStringLiteral("unshare"),
                                       {QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                                        QStringLiteral("--mount"), QStringLiteral("env"),
                                        QStringLiteral("PLATTERLY_TEST_IN_NAMESPACE=1"),
                                        QCoreApplication::applicationFilePath(),
                                        QStringLiteral("--gtest_filter=%1.%2")
                                            .arg(QString::fromLatin1(test->test_suite_name()),
                                                 QString::fromLatin1(test->name()))});
    if (r.ExitCode != 0 && r.Out.isEmpty())
        GTEST_SKIP() << "no user and mount namespace here: " << r.Err.toStdString();
    if (r.Out.contains("[  SKIPPED ]"))
        GTEST_SKIP() << r.Out.toStdString();
    EXPECT_EQ(r.ExitCode, 0) << r.Out.toStdString() << r.Err.toStdString();
}

/// Writes the file until its file system has no room left.
bool FillDisk(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const QByteArray block(1 << 16, 'f');
    while (fd >= 0 && ::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    const bool full = fd >= 0 && errno == ENOSPC;
    ::close(fd);
    return full;
}

TEST_F(ParallelJobTest, TheDiskFillingUnderTwoEncodersFailsBothAndLeavesNoPartialFile)
{
    if (qEnvironmentVariableIsEmpty("PLATTERLY_TEST_IN_NAMESPACE")) {
        RunInOwnNamespace();
        return;
    }
    const QByteArray folder = QFile::encodeName(Out(QString()));
    if (::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=32m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    const std::unique_ptr<const char, void (*)(const char*)> unmount(
        folder.constData(), [](const char* path) { ::umount2(path, MNT_DETACH); });

    // A rip: the real lame twice, held while the disk fills up with most of its file unwritten.
    OpenImage({75 * 60, 75 * 60});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    TRipJob rip(jkRipTracks, handle, {QStringLiteral("01A"), QStringLiteral("02B")});
    std::vector<qint64> tools;
    ASSERT_TRUE(WaitUntil([&] { return (tools = rip.Parallel()->ToolProcesses()).size() == 2; }));
    for (const qint64 pid : tools)
        ::kill(static_cast<pid_t>(pid), SIGSTOP);
    ASSERT_TRUE(FillDisk(Out(QStringLiteral("filler"))));
    for (const qint64 pid : tools)
        ::kill(static_cast<pid_t>(pid), SIGCONT);
    ASSERT_TRUE(Run(rip));
    // Both failed, reported together at the end, and nothing of their files is left.
    const auto expectBothFailed = [&](const TRipJob& job, const QString& ext,
                                      const std::function<QString(const QString&)>& title) {
        EXPECT_EQ(job.Report()->Counts.Failed, 2) << ext.toStdString();
        EXPECT_EQ(JobReportNotice(*job.Report()).Level, TResultNotice::Severity::Warning);
        ASSERT_EQ(boxes.Texts().size(), 1) << ext.toStdString();
        for (const QString& name : {QStringLiteral("A"), QStringLiteral("B")}) {
            EXPECT_TRUE(boxes.Texts()[0].contains(title(name) + QStringLiteral(": ")))
                << ext.toStdString() << ": " << boxes.Texts()[0].toStdString();
            EXPECT_FALSE(QFile::exists(Out(name + ext)));
        }
        EXPECT_TRUE(PartFiles().isEmpty()) << PartFiles().join(QLatin1Char(' ')).toStdString();
        boxes.Clear();
    };
    expectBothFailed(rip, QStringLiteral(".mp3"), [](const QString& name) { return name; });
    for (const char* name : {"A", "B"})
        EXPECT_EQ(QFileInfo(Out(QString::fromLatin1(name) + QStringLiteral(".wav"))).size(),
                  44 + 75 * 60 * 2352)
            << name << ": the only copy";

    // Conversions onto the full disk, through every encoder.
    ASSERT_TRUE(QFile::copy(BuiltBinDir() + QStringLiteral("WM8EUTIL"),
                            dir.File(QStringLiteral("WM8EUTIL"))));
    const QStringList inputs = {dir.File(QStringLiteral("A.wav")),
                                dir.File(QStringLiteral("B.wav"))};
    for (const QString& input : inputs)
        WriteSineWav(input, 2.0);
    for (const auto& [kind, ext] : {std::pair{jkWavToMp3, ".mp3"}, std::pair{jkWavToOgg, ".ogg"},
                                    std::pair{jkWavToWma, ".wma"}, std::pair{jkWavToFlac, ".flac"},
                                    std::pair{jkWavToOpus, ".opus"}}) {
        // Whatever a failed job removed (the rip's partial files) is room again: fill it.
        ASSERT_TRUE(FillDisk(Out(QStringLiteral("filler") + QString::fromLatin1(ext))));
        TRipJob job(kind, 0, inputs);
        ASSERT_TRUE(Run(job)) << ext;
        expectBothFailed(job, QString::fromLatin1(ext), [&](const QString& name) {
            return dir.File(name + QStringLiteral(".wav"));
        });
    }
}

} // namespace
