#include <functional>
#include <random>
#include <string>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include "cd/OpenDrive.h"
#include "core/AppEvents.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "encoders/EncoderTestSupport.h"
#include "encoders/LameOutput.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "metadata/id3tag.h"
#include "pipeline/PartialOutput.h"
#include "pipeline/RipJob.h"
#include "platform/cdaccess/DiscFixture.h"
#include "support/TestSupport.h"

namespace {

class EncodeSteps : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        TCommonOptions& c = OptionsSetting().CommonOptions;
        c.OutputFolder = dir.File(QStringLiteral("Output"));
        c.NormalizePercent = 95;
        OptionsSetting().Mp3Options = {false, false, 128, 320, 0, 4, 1};
        OptionsSetting().WMAOptions.BitRate = 8;
        QDir().mkpath(c.OutputFolder);
        QDir().mkpath(dir.File(QStringLiteral("discs")));
        // WM8EUTIL is found beside the program, which is the test's folder here.
        QFile::copy(BuiltBinDir() + QStringLiteral("WM8EUTIL"),
                    dir.File(QStringLiteral("WM8EUTIL")));
    }
    void TearDown() override
    {
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
        bool closed = false;
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        return WaitUntil([&] { return closed; }, std::chrono::seconds(seconds));
    }
    QString Out(const QString& name) { return dir.File(QStringLiteral("Output/")) + name; }
    TJobRunners Runners() { return {&mp3, &wma}; }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TMp3EncodeProcess mp3;
    TWMAEncodeProcess wma;
    int handle = 0;
};

/// A 44100 Hz stereo WAV of a few seconds of a tone, made by sox.
void MakeWav(const QString& path, double seconds, int rate = 44100)
{
    RunProgram(QStringLiteral("sox"),
               {QStringLiteral("-n"), QStringLiteral("-r"), QString::number(rate),
                QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                QStringLiteral("16"), path, QStringLiteral("synth"), QString::number(seconds),
                QStringLiteral("sine"), QStringLiteral("440")});
}

/// Everything in a folder, hidden files included, but a rip's log and cue sheet.
QStringList Entries(const QString& folder)
{
    QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    entries.removeIf([](const QString& name) {
        return name.endsWith(QLatin1String(".log")) || name.endsWith(QLatin1String(".cue"));
    });
    return entries;
}

} // namespace

TEST_F(EncodeSteps, TwoTrackRipToTaggedMp3LeavesNoWav)
{
    OpenImage({75 * 3, 75 * 2});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    OptionsSetting().ID3.Use = true;
    TCDInfo& info = OptionsSetting().CDInfo;
    info.Artist = QStringLiteral("The Artist");
    info.Album = QStringLiteral("Album");
    info.Year = QStringLiteral("2006");
    info.Genre = -1;
    info.Comment = QStringLiteral("ripped");
    QStringList captions;
    TRipJob job(jkRipTracks, handle, {QStringLiteral("01First"), QStringLiteral("02Second")},
                Runners());
    QObject::connect(&job, &TRipJob::ViewChanged, [&] {
        if (captions.isEmpty() || captions.last() != job.View().Caption)
            captions << job.View().Caption;
    });
    ASSERT_TRUE(Run(job));
    EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(captions.contains(QStringLiteral("Encoding(01/02): First")));
    EXPECT_TRUE(captions.contains(QStringLiteral("Extracting(02/02): Second")));
    EXPECT_TRUE(captions.contains(QStringLiteral("Encoding(02/02): Second")));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("First.wav"))));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("Second.wav"))));
    Tid3tag tag;
    ASSERT_LT(tag.ReadTag(Out(QStringLiteral("Second.mp3"))), 256);
    EXPECT_EQ(tag.Title(), QStringLiteral("Second"));
    EXPECT_EQ(tag.Artist(), QStringLiteral("The Artist"));
    EXPECT_EQ(tag.Year(), QStringLiteral("2006"));
    EXPECT_EQ(tag.Track(), 2);
    EXPECT_EQ(tag.Genre, 255);
    EXPECT_EQ(mp3.JobKind, 1);
}

TEST_F(EncodeSteps, ReadErrorSkipsTheEncodeOfThatTrackOnly)
{
    OpenImage({75, 75, 75});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    ICdAccess& real = CdAccess();
    FakeCdAccess failing;
    failing.onModify = [&](int h, int p, int v) { return real.ModifyCDParms(h, p, v); };
    failing.onReadToc = [&](int h, TocRecord& t) { return real.ReadTOC(h, t); };
    failing.onRead = [&](int h, AudioReadBuffer& b) {
        return b.StartSector >= 80 && b.StartSector < 150 ? 0 : real.ReadCDAudioLBA(h, b);
    };
    InstallCdAccess(&failing);
    {
        TRipJob job(jkRipTracks, handle,
                    {QStringLiteral("01A"), QStringLiteral("02B"), QStringLiteral("03C")},
                    Runners());
        ASSERT_TRUE(Run(job));
        EXPECT_EQ(job.EncodeIndex(), 3);
    }
    InstallCdAccess(nullptr);
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Error while reading CD information!")});
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("A.mp3"))));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("B.mp3"))));
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("C.mp3"))));
    // The WAVs of the encoded tracks are gone at the end; the failed track's partial one, whose
    // encode never ran, stays: only a WAV whose encode succeeded is deleted.
    EXPECT_EQ(QDir(Out(QString())).entryList({QStringLiteral("*.wav")}, QDir::Files),
              QStringList{QStringLiteral("B.wav")});
}

TEST_F(EncodeSteps, StopDuringTheLastEncodeKeepsItsWavAndNoPartOfTheMp3)
{
    OpenImage({75 * 60});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    TRipJob job(jkRipTracks, handle, {QStringLiteral("01Long")}, Runners());
    // lame has written some of the MP3 once it reports progress.
    ASSERT_TRUE(WaitUntil([&] { return mp3.IsRunning() && job.ProgressSeen(); }));
    job.Stop();
    EXPECT_FALSE(mp3.IsRunning());
    EXPECT_EQ(Entries(Out(QString())), QStringList{QStringLiteral("Long.wav")})
        << "a music library would take a part of the track for all of it";
}

TEST_F(EncodeSteps, StopDuringAnEncodeLeavesNothingUnderTheFinalName)
{
    // Tools that write part of their output, say so, and wait to be stopped.
    const QByteArray lame = "for a in \"$@\"; do out=\"$a\"; done\nprintf partial > \"$out\"\n";
    const QByteArray wait = "touch \"$0.started\"\nexec sleep 30\n";
    const struct {
        const char* what;
        int kind;
        int format;
        const char* tool;
        QByteArray script;
        const char* output;
    } cases[] = {
        {"rip to MP3", jkRipTracks, ofMP3, "lame", lame + "printf '   1/9    (10%%)|\\n'\n" + wait,
         "A.mp3"},
        {"rip to WMA", jkRipTracks, ofWMA, "WM8EUTIL", "printf partial > \"$4\"\n" + wait, "A.wma"},
        {"MP3 to WAV over an older file", jkMp3ToWav, ofMP3, "lame",
         lame + "printf 'Frame#    58/116    \\n'\n" + wait, "in.wav"},
    };
    OpenImage({75});
    const QString in = dir.File(QStringLiteral("in.mp3"));
    WriteWholeFile(in, "ID3 stands in for an MP3");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Out(QString())).removeRecursively();
        QDir().mkpath(Out(QString()));
        const QString tool = dir.File(QString::fromLatin1(c.tool));
        for (const char* name : {"WM8EUTIL", "lame", "WM8EUTIL.started", "lame.started"})
            QFile::remove(dir.File(QString::fromLatin1(name)));
        WriteScript(tool, c.script);
        OptionsSetting().CommonOptions.OutputFormat = c.format;
        const bool rip = c.kind == jkRipTracks;
        if (!rip) {
            WriteWholeFile(Out(QString::fromLatin1(c.output)), "older");
            boxes.PlanAnswer(MbAnswer::Yes); // overwrite it
        }
        {
            TRipJob job(c.kind, rip ? handle : 0, {rip ? QStringLiteral("01A") : in}, Runners());
            ASSERT_TRUE(
                WaitUntil([&] { return QFile::exists(tool + QStringLiteral(".started")); }));
            job.Stop();
        }
        // A rip keeps its WAV; the older file was never touched.
        const QStringList expected =
            rip ? QStringList{QStringLiteral("A.wav")} : QStringList{QString::fromLatin1(c.output)};
        EXPECT_EQ(Entries(Out(QString())), expected);
        if (!rip) {
            EXPECT_EQ(ReadWholeFile(Out(QString::fromLatin1(c.output))), QByteArray("older"));
        }
    }
}

TEST_F(EncodeSteps, BadFilesAtARipsNamesAreRefusedAtTheirTrackAndLeftAsTheyAre)
{
    OpenImage({75, 75});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    const QString outside = dir.File(QStringLiteral("outside.txt"));
    const auto fifo = [](const QString& path) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    };
    const auto link = [&](const QString& path) { ASSERT_TRUE(QFile::link(outside, path)); };
    const auto readOnly = [](const QString& path) {
        WriteWholeFile(path, "kept");
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    };
    const QString special = QStringLiteral(" is a link or a special file; it was not written.");
    const QString inUse = QStringLiteral("maybe be used,operate fail!");
    const struct {
        const char* name; ///< the file of track 1 that is in the way
        std::function<void(const QString&)> plant;
        QString message;
    } cases[] = {
        {"A.wav", fifo, special}, {"A.wav", link, special},   {"A.mp3", fifo, special},
        {"A.mp3", link, special}, {"A.mp3", readOnly, inUse}, {"A.wav", readOnly, inUse},
    };
    for (const auto& c : cases) {
        const QString path = Out(QString::fromLatin1(c.name));
        SCOPED_TRACE(c.name + c.message.toStdString());
        QDir(Out(QString())).removeRecursively();
        QDir().mkpath(Out(QString()));
        WriteWholeFile(outside, "precious");
        c.plant(path);
        const QStringList before = Entries(Out(QString()));
        boxes.Clear();
        {
            TRipJob job(jkRipTracks, handle, {QStringLiteral("01A"), QStringLiteral("02B")},
                        Runners());
            ASSERT_TRUE(Run(job));
        }
        EXPECT_EQ(boxes.Texts(), QStringList{path + c.message});
        // Track 1 is not read at all; what was in its way is as it was; track 2 is ripped.
        EXPECT_EQ(Entries(Out(QString())), before + QStringList{QStringLiteral("B.mp3")});
        EXPECT_EQ(ReadWholeFile(outside), QByteArray("precious"));
        if (c.message == inUse) {
            EXPECT_EQ(ReadWholeFile(path), QByteArray("kept"));
        }
    }
}

TEST_F(EncodeSteps, RipToWma)
{
    OpenImage({75 * 2});
    OptionsSetting().CommonOptions.OutputFormat = ofWMA;
    OptionsSetting().CommonOptions.IsKeepWav = true;
    TRipJob job(jkRipTracks, handle, {QStringLiteral("01Song")}, Runners());
    ASSERT_TRUE(Run(job));
    EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_GT(QFileInfo(Out(QStringLiteral("Song.wma"))).size(), 1000);
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("Song.wav"))));
}

TEST_F(EncodeSteps, Mp3ToWavAsksBeforeOverwriting)
{
    const QString in1 = dir.File(QStringLiteral("one.wav"));
    MakeWav(in1, 2);
    // Make an MP3 to decode, with lame itself.
    const QString mp3File = dir.File(QStringLiteral("one.mp3"));
    ASSERT_EQ(
        RunProgram(QStringLiteral("lame"), {QStringLiteral("--quiet"), in1, mp3File}).ExitCode, 0);
    const QString mp3File2 = dir.File(QStringLiteral("two.mp3"));
    QFile::copy(mp3File, mp3File2);
    WriteWholeFile(Out(QStringLiteral("two.wav")), "old");
    boxes.PlanAnswer(MbAnswer::No);
    QStringList groups;
    TRipJob job(jkMp3ToWav, 0, {mp3File, mp3File2}, Runners());
    groups << job.View().GroupCaption;
    QObject::connect(&job, &TRipJob::ViewChanged, [&] {
        if (groups.last() != job.View().GroupCaption)
            groups << job.View().GroupCaption;
    });
    ASSERT_TRUE(Run(job));
    EXPECT_EQ(groups.first(), QStringLiteral("Decoding MP3 to WAV"));
    EXPECT_GT(QFileInfo(Out(QStringLiteral("one.wav"))).size(), 300000);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].Text,
              Out(QStringLiteral("two.wav")) + QStringLiteral(" has existed,overite it?"));
    EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("two.wav"))), QByteArray("old"));
}

TEST_F(EncodeSteps, Mp3StepWithoutProgressIsAFailureAndUntagged)
{
    // A "lame" in the program's folder that exits at once without a word.
    const QString fake = dir.File(QStringLiteral("lame"));
    WriteWholeFile(fake, "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    OpenImage({75});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    OptionsSetting().ID3.Use = true;
    TRipJob job(jkRipTracks, handle, {QStringLiteral("01A")}, Runners());
    ASSERT_TRUE(Run(job));
    EXPECT_EQ(boxes.Texts(),
              QStringList{QStringLiteral("Create MP3 file error!\r\nPlease check the output and "
                                         "lame options or run application again.")});
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("A.mp3"))));
}

TEST_F(EncodeSteps, WavToWmaEstimateClimbsAndNeverGoesBack)
{
    const QString in = dir.File(QStringLiteral("small.wav"));
    MakeWav(in, 1);
    // A slow WMA tool: prints nothing for three seconds, then finishes.
    const QString tool = dir.File(QStringLiteral("WM8EUTIL"));
    QFile::remove(tool);
    WriteWholeFile(tool, "#!/bin/sh\nsleep 3\necho wma > \"$4\"\necho 100%\n");
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TRipJob job(jkWavToWma, 0, {in}, Runners());
    EXPECT_EQ(job.View().GroupCaption, QStringLiteral("Encoding WAV to WMA"));
    EXPECT_TRUE(job.Timer1Active());
    QList<int> bars;
    QStringList totals;
    QObject::connect(&job, &TRipJob::ViewChanged, [&] {
        bars << job.View().Bar;
        totals << job.View().Label2;
    });
    ASSERT_TRUE(Run(job, 20));
    for (int i = 1; i < bars.size(); ++i)
        EXPECT_GE(bars[i], bars[i - 1]);
    // Small input: the estimate is one second beyond the elapsed time.
    EXPECT_TRUE(totals.contains(QStringLiteral("00:02")) ||
                totals.contains(QStringLiteral("00:03")));
    EXPECT_FALSE(job.Timer1Active());
}

TEST_F(EncodeSteps, WmaErrorLineIsShownAndTheJobMovesOn)
{
    const QString a = dir.File(QStringLiteral("a.wav"));
    const QString b = dir.File(QStringLiteral("b.wav"));
    MakeWav(a, 1);
    MakeWav(b, 1);
    const QString tool = dir.File(QStringLiteral("WM8EUTIL"));
    QFile::remove(tool);
    WriteWholeFile(tool, "#!/bin/sh\ncase \"$2\" in *a.wav) echo 'ERROR: cannot encode'; sleep 5;; "
                         "*) echo wma > \"$4\"; echo 100%;; esac\n");
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TRipJob job(jkWavToWma, 0, {a, b}, Runners());
    ASSERT_TRUE(Run(job, 20));
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("ERROR: cannot encode")});
    EXPECT_EQ(job.EncodeIndex(), 2);
}

TEST_F(EncodeSteps, ALameKilledMidEncodeFailsTheStepAndKeepsTheWav)
{
    // Progress, half an MP3, then the tool is killed: the review's 124-second MP3 of a
    // 200-second track, which used to be tagged and its WAV deleted.
    WriteScript(dir.File(QStringLiteral("lame")),
                "for a in \"$@\"; do out=\"$a\"; done\nprintf half > \"$out\"\n"
                "printf '   1/9    (10%%)|\\n   2/9    (50%%)|\\n'\nkill -KILL $$\n");
    OpenImage({75, 75});
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    OptionsSetting().ID3.Use = true;
    {
        TRipJob job(jkRipTracks, handle, {QStringLiteral("01A"), QStringLiteral("02B")}, Runners());
        ASSERT_TRUE(Run(job));
        EXPECT_EQ(job.EncodeIndex(), 2);
    }
    const QString failure =
        QStringLiteral("Create MP3 file error!\r\nPlease check the output and lame options or "
                       "run application again.\r\nlame was ended by signal 9 (Killed).");
    EXPECT_EQ(boxes.Texts(), (QStringList{failure, failure}));
    for (const char* name : {"A", "B"}) {
        const QString track = QString::fromLatin1(name);
        EXPECT_FALSE(QFile::exists(Out(track + QStringLiteral(".mp3"))))
            << name << ": no half MP3, no tag";
        EXPECT_EQ(QFileInfo(Out(track + QStringLiteral(".wav"))).size(), 44 + 75 * 2352)
            << name << ": the only copy";
    }
}

TEST_F(EncodeSteps, FailedWmaEncodeKeepsTheWavAndRemovesWhatTheToolLeft)
{
    const QString tool = dir.File(QStringLiteral("WM8EUTIL"));
    QFile::remove(tool);
    WriteScript(tool, "printf part > \"$4\"\necho 40%\nexit 2\n");
    OpenImage({75});
    OptionsSetting().CommonOptions.OutputFormat = ofWMA;
    {
        TRipJob job(jkRipTracks, handle, {QStringLiteral("01Song")}, Runners());
        ASSERT_TRUE(Run(job));
    }
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral(
                                 "Create WMA file error!\r\nWM8EUTIL failed with exit code 2.")});
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("Song.wma"))));
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("Song.wav"))));
}

TEST_F(EncodeSteps, WriteErrorsOfTheExtractionAreShownInTheirOwnWords)
{
    OpenImage({75, 75});
    OptionsSetting().CommonOptions.OutputFormat = ofWAV;
    ICdAccess& real = CdAccess();
    FakeCdAccess deleting;
    deleting.onModify = [&](int h, int p, int v) { return real.ModifyCDParms(h, p, v); };
    deleting.onReadToc = [&](int h, TocRecord& t) { return real.ReadTOC(h, t); };
    deleting.onRead = [&](int h, AudioReadBuffer& b) {
        if (b.StartSector == 40)
            QFile::remove(Out(QStringLiteral("A.wav")));
        return real.ReadCDAudioLBA(h, b);
    };
    InstallCdAccess(&deleting);
    QStringList labels;
    {
        TRipJob job(jkRipTracks, handle, {QStringLiteral("01A"), QStringLiteral("02B")}, Runners());
        QObject::connect(&job, &TRipJob::ViewChanged, [&] {
            labels << (job.View().Label3Visible ? job.View().Label3 : QString());
        });
        ASSERT_TRUE(Run(job));
    }
    InstallCdAccess(nullptr);
    EXPECT_EQ(boxes.Texts(),
              QStringList{Out(QStringLiteral("A.wav")) +
                          QStringLiteral(" could not be written (No such file or directory).")});
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("B.wav"))));
    // "Initializing..." shows again once the second track starts, after the first one's bar.
    const qsizetype hidden = labels.indexOf(QString());
    ASSERT_GE(hidden, 0);
    EXPECT_TRUE(labels.mid(hidden).contains(QStringLiteral("Initializing...")));
}

TEST_F(EncodeSteps, InputsThatAreNoFilesAndOutputsThatAreLinksAreRefused)
{
    // MP3 to WAV on a FIFO: lame would wait on it for good, and the window with it.
    const QString fifo = dir.File(QStringLiteral("pipe.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    // A WAV whose MP3 would go through a link planted in the output folder.
    const QString wav = dir.File(QStringLiteral("song.wav"));
    MakeWav(wav, 1);
    const QString outside = dir.File(QStringLiteral("outside.txt"));
    WriteWholeFile(outside, "precious");
    ASSERT_TRUE(QFile::link(outside, Out(QStringLiteral("song.mp3"))));
    {
        TRipJob decode(jkMp3ToWav, 0, {fifo}, Runners());
        ASSERT_TRUE(Run(decode, 20));
        TRipJob encode(jkWavToMp3, 0, {wav}, Runners());
        ASSERT_TRUE(Run(encode, 20));
    }
    EXPECT_EQ(
        boxes.Texts(),
        (QStringList{fifo + QStringLiteral(" is not a regular file."),
                     Out(QStringLiteral("song.mp3")) +
                         QStringLiteral(" is a link or a special file; it was not written.")}));
    EXPECT_EQ(ReadWholeFile(outside), QByteArray("precious"));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("pipe.wav"))));
}

TEST_F(EncodeSteps, WmaStepHandsTheToolItsProfileAndTagsAndRepairsTheSetting)
{
    const QString tool = dir.File(QStringLiteral("WM8EUTIL"));
    QFile::remove(tool);
    WriteScript(tool, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"$0.args\"\nprintf wma "
                      "> \"$4\"\necho 100%\n");
    const QString in = dir.File(QStringLiteral("a.wav"));
    MakeWav(in, 1);
    OptionsSetting().WMAOptions.BitRate = 40; // hand-edited out of range
    OptionsSetting().CDInfo.Artist = QStringLiteral("Two  Blanks");
    OptionsSetting().CDInfo.Comment = QStringLiteral("said \"so\"");
    for (const bool tags : {false, true}) {
        OptionsSetting().ID3.Use = tags;
        QFile::remove(Out(QStringLiteral("a.wma")));
        TRipJob job(jkWavToWma, 0, {in}, Runners());
        ASSERT_TRUE(Run(job, 20));
    }
    EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(OptionsSetting().WMAOptions.BitRate, 8) << "repaired in the record, saved so at exit";
    const QStringList args =
        QString::fromUtf8(ReadWholeFile(tool + QStringLiteral(".args"))).split(QLatin1Char('\n'));
    // The tool writes a file of its own in the output folder, renamed to a.wma when it is done.
    ASSERT_GE(args.size(), 16);
    for (const qsizetype at : {3, 9}) {
        EXPECT_TRUE(args[at].startsWith(Out(QStringLiteral(".")))) << args[at].toStdString();
        EXPECT_NE(args[at], Out(QStringLiteral("a.wma")));
    }
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("a.wma"))));
    const QStringList plain{QStringLiteral("-input"),     in,
                            QStringLiteral("-output"),    args[3],
                            QStringLiteral("-a_setting"), QStringLiteral("64_44_2")};
    EXPECT_EQ(args.mid(0, 6), plain);
    QStringList tagged =
        plain + QStringList{QStringLiteral("-author"), QStringLiteral("Two  Blanks"),
                            QStringLiteral("-description"), QStringLiteral("said \"so\"")};
    tagged[3] = args[9];
    EXPECT_EQ(args.mid(6, 10), tagged);
}

TEST_F(EncodeSteps, MpegToWavRefusesFilesThatAreNoMp3)
{
    // lame --decode takes any file but an MP3 for raw PCM and "decodes" it into noise.
    const QString noise = dir.File(QStringLiteral("noise.flac"));
    QByteArray bytes(200000, '\0');
    std::mt19937 random(7);
    for (char& b : bytes)
        b = char(random());
    WriteWholeFile(noise, bytes);
    const QString wav = dir.File(QStringLiteral("tone.wav"));
    MakeWav(wav, 1);
    for (const int lanes : {1, 2}) {
        for (const QString& input : {noise, wav}) {
            SCOPED_TRACE(input.toStdString() + " lanes " + std::to_string(lanes));
            OptionsSetting().CommonOptions.ParallelEncoders = lanes;
            boxes.Clear();
            {
                TRipJob job(jkMp3ToWav, 0, {input}, Runners());
                ASSERT_TRUE(Run(job, 30));
            }
            EXPECT_TRUE(boxes.Texts().join(QLatin1Char('\n')).contains(NotAnMp3Text(input)))
                << boxes.Texts().join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(Entries(Out(QString())), QStringList());
        }
    }
}

TEST_F(EncodeSteps, APartialFileGoesAlsoFromAnOutputFolderRenamedMidJob)
{
    const QString folder = dir.File(QStringLiteral("Album"));
    const QString moved = dir.File(QStringLiteral("Album (renamed)"));
    for (const bool commit : {false, true}) {
        QDir(moved).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        TPartialOutput partial;
        ASSERT_TRUE(partial.Create(folder + QStringLiteral("/Track01.mp3")));
        ASSERT_TRUE(QDir().rename(folder, moved));
        if (commit)
            EXPECT_FALSE(partial.Commit());
        else
            partial.Discard();
        EXPECT_EQ(Entries(moved), QStringList()) << (commit ? "a failed commit" : "a discard");
    }
}
