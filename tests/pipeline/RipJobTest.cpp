#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include "cd/OpenDrive.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "pipeline/RipJob.h"
#include "platform/cdaccess/DiscFixture.h"
#include "support/TestSupport.h"

namespace {

class RipJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        OptionsSetting().CommonOptions.OutputFolder = dir.File(QStringLiteral("Output"));
        OptionsSetting().CommonOptions.OutputFormat = ofWAV;
        OptionsSetting().CommonOptions.NormalizePercent = 95;
        QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);
        QDir().mkpath(dir.File(QStringLiteral("discs")));
    }
    void TearDown() override
    {
        if (handle != 0)
            CloseCDHandle(handle);
        ResetOptionsSetting();
    }
    /// Writes an image and opens it as the only drive.
    void OpenImage(const std::vector<int64_t>& sectors)
    {
        MakeImage(dir.File(QStringLiteral("discs")), QStringLiteral("Disc"), sectors);
        const OpenDriveResult r = OpenDrive(0);
        ASSERT_NE(r.Handle, 0) << r.Status.toStdString();
        handle = r.Handle;
        lengths = sectors;
    }
    /// The audio of track k (1-based) as the image holds it.
    QByteArray TrackAudio(int k)
    {
        int64_t first = 0;
        for (int i = 1; i < k; ++i)
            first += lengths[static_cast<size_t>(i - 1)];
        return BinSectors(dir.File(QStringLiteral("discs/Disc.bin")), first,
                          lengths[static_cast<size_t>(k - 1)]);
    }
    QString Out(const QString& title)
    {
        return dir.File(QStringLiteral("Output/")) + title + QStringLiteral(".wav");
    }

    /// Runs a job to its close request (or the timeout), recording every caption.
    bool RunToEnd(TRipJob& job, QStringList* captions = nullptr)
    {
        bool closed = false;
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        if (captions != nullptr) {
            *captions << job.View().Caption;
            QObject::connect(&job, &TRipJob::ViewChanged, [&] {
                if (captions->last() != job.View().Caption)
                    *captions << job.View().Caption;
            });
        }
        return WaitUntil([&] { return closed; });
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    int handle = 0;
    std::vector<int64_t> lengths;
};

uint32_t Le32(const QByteArray& b, int at)
{
    const auto byte = [&](int i) { return uint32_t{static_cast<uint8_t>(b[at + i])}; };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

} // namespace

TEST(JobCaption, FormatsStepNumbers)
{
    EXPECT_EQ(JobCaption(QStringLiteral("Extracting"), 1, 3, QStringLiteral("Intro")),
              QStringLiteral("Extracting(01/03): Intro"));
    EXPECT_EQ(JobCaption(QStringLiteral("Encoding"), 12, 100, QStringLiteral("x")),
              QStringLiteral("Encoding(12/100): x"));
}

TEST_F(RipJobTest, ThreeTracksRipBitExactWithCaptionsAndCloseByThemselves)
{
    OpenImage(
        {23, 1, 160}); // 10+10+3 sectors, a one-sector track, and the last closed by the lead-out
    QStringList captions;
    TRipJob job(jkRipTracks, handle,
                {QStringLiteral("01Alpha"), QStringLiteral("02Beta"), QStringLiteral("03Gamma")});
    EXPECT_EQ(job.View().GroupCaption, QStringLiteral("Extracting"));
    EXPECT_EQ(job.View().Label3, QStringLiteral("Initializing..."));
    ASSERT_TRUE(RunToEnd(job, &captions));
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Extracting(01/03): Alpha"),
                                     QStringLiteral("Extracting(02/03): Beta"),
                                     QStringLiteral("Extracting(03/03): Gamma")}));
    EXPECT_FALSE(job.Running());
    EXPECT_TRUE(boxes.Shown().empty());
    const QStringList titles{QStringLiteral("Alpha"), QStringLiteral("Beta"),
                             QStringLiteral("Gamma")};
    for (int k = 1; k <= 3; ++k) {
        const QByteArray wav = ReadWholeFile(Out(titles[k - 1]));
        ASSERT_EQ(wav.size(), 44 + lengths[static_cast<size_t>(k - 1)] * 2352) << k;
        EXPECT_EQ(wav.mid(44), TrackAudio(k)) << "track " << k;
        EXPECT_EQ(Le32(wav, 4), static_cast<uint32_t>(wav.size() - 8));
        EXPECT_EQ(Le32(wav, 40), static_cast<uint32_t>(wav.size() - 44));
    }
    // Progress reached the view on the way.
    EXPECT_EQ(job.View().Bar, 100);
    EXPECT_FALSE(job.View().Label3Visible);
}

TEST_F(RipJobTest, NormalisingShowsItsCaption)
{
    OpenImage({300, 300});
    OptionsSetting().CommonOptions.IsNormalize = true;
    OptionsSetting().CommonOptions.NormalizePercent = 50;
    QStringList captions;
    TRipJob job(jkRipTracks, handle, {QStringLiteral("01One"), QStringLiteral("02Two")});
    ASSERT_TRUE(RunToEnd(job, &captions));
    EXPECT_TRUE(captions.contains(QStringLiteral("Normalizing(01/02): One")));
    EXPECT_TRUE(captions.contains(QStringLiteral("Normalizing(02/02): Two")));
    EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("Two"))).size(), 44 + 300 * 2352);
    EXPECT_NE(ReadWholeFile(Out(QStringLiteral("Two"))).mid(44), TrackAudio(2)); // halved
}

TEST_F(RipJobTest, BadTitleIsReportedAndTheJobGoesOn)
{
    OpenImage({30, 30, 30});
    TRipJob job(jkRipTracks, handle,
                {QStringLiteral("01AC/DC"), QStringLiteral("02.."), QStringLiteral("03Fine")});
    ASSERT_TRUE(RunToEnd(job));
    const QString out = OptionsSetting().CommonOptions.OutputFolder;
    EXPECT_EQ(boxes.Texts(),
              (QStringList{out + QStringLiteral("/AC/DC.wav is not a valid file name.Please rename "
                                                "the Title in the CD tracks list."),
                           out + QStringLiteral("/...wav is not a valid file name.Please rename "
                                                "the Title in the CD tracks list.")}));
    EXPECT_EQ(boxes.Shown()[0].Icon, MbIcon::Error);
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("Fine"))));
    // Nothing was written outside the output folder.
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files).size(), 0);
    // The log and cue sheet go to the first usable track's folder.
    EXPECT_EQ(QDir(out).entryList(QDir::Files),
              (QStringList{QStringLiteral("Fine.wav"),
                           QStringLiteral("Unknown Artist - Unknown Album.cue"),
                           QStringLiteral("Unknown Artist - Unknown Album.log")}));
}

TEST_F(RipJobTest, StopDuringTheSecondTrackKeepsWhatWasRead)
{
    OpenImage({75, 75 * 60, 75});
    // Slow the reads down so the stop lands in the middle of the second track.
    ICdAccess& real = CdAccess();
    FakeCdAccess slow;
    slow.onGetHandle = [&](const HandleRequest& r) { return real.GetCDHandle(r); };
    slow.onClose = [&](int h) { return real.CloseCDHandle(h); };
    slow.onModify = [&](int h, int p, int v) { return real.ModifyCDParms(h, p, v); };
    slow.onReadToc = [&](int h, TocRecord& t) { return real.ReadTOC(h, t); };
    slow.onRead = [&](int h, AudioReadBuffer& b) {
        QThread::usleep(500);
        return real.ReadCDAudioLBA(h, b);
    };
    InstallCdAccess(&slow);
    {
        TRipJob job(jkRipTracks, handle,
                    {QStringLiteral("01A"), QStringLiteral("02B"), QStringLiteral("03C")});
        ASSERT_TRUE(WaitUntil([&] { return job.ExtractIndex() == 1 && job.View().Bar >= 5; }));
        job.Stop();
        EXPECT_FALSE(job.Running());
    }
    InstallCdAccess(nullptr);
    EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("A"))).mid(44), TrackAudio(1));
    const QByteArray partial = ReadWholeFile(Out(QStringLiteral("B")));
    ASSERT_GT(partial.size(), 44);
    EXPECT_LT(partial.size(), 44 + 75 * 60 * 2352);
    EXPECT_EQ(Le32(partial, 40), static_cast<uint32_t>(partial.size() - 44));
    EXPECT_EQ(partial.mid(44), TrackAudio(2).left(partial.size() - 44));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("C"))));
    PumpEvents(); // reports still queued for the finished job change nothing
}

TEST_F(RipJobTest, DriveSetupFailureWaitsForStop)
{
    FakeCdAccess fake;
    fake.onModify = [](int, int, int) { return 0; };
    InstallCdAccess(&fake);
    {
        TRipJob job(jkRipTracks, 1, {QStringLiteral("01A"), QStringLiteral("02B")});
        ASSERT_TRUE(WaitUntil([&] { return !boxes.Shown().empty(); }));
        EXPECT_EQ(boxes.Texts(),
                  QStringList{QStringLiteral("CD extract failed!Please try again.")});
        PumpEvents(std::chrono::milliseconds(100));
        EXPECT_TRUE(job.Running());
        EXPECT_EQ(job.ExtractIndex(), 0);
        bool closed = false;
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        job.Stop();
        EXPECT_TRUE(closed);
    }
    fake.onModify = nullptr;
    fake.onReadToc = [](int, TocRecord&) { return 0; };
    {
        TRipJob job(jkRipTracks, 1, {QStringLiteral("01A")});
        ASSERT_TRUE(WaitUntil([&] { return boxes.Shown().size() == 2; }));
        EXPECT_EQ(boxes.Texts().last(), QStringLiteral("Error while reading TOC information!"));
    }
    InstallCdAccess(nullptr);
}

TEST_F(RipJobTest, ReadErrorSkipsTheTrackWithItsMessage)
{
    OpenImage({50, 50});
    ICdAccess& real = CdAccess();
    FakeCdAccess failing;
    failing.onGetHandle = [&](const HandleRequest& r) { return real.GetCDHandle(r); };
    failing.onModify = [&](int h, int p, int v) { return real.ModifyCDParms(h, p, v); };
    failing.onReadToc = [&](int h, TocRecord& t) { return real.ReadTOC(h, t); };
    failing.onRead = [&](int h, AudioReadBuffer& b) {
        return b.StartSector >= 70 ? 0 : real.ReadCDAudioLBA(h, b);
    };
    InstallCdAccess(&failing);
    {
        TRipJob job(jkRipTracks, handle, {QStringLiteral("01A"), QStringLiteral("02B")});
        ASSERT_TRUE(RunToEnd(job));
    }
    InstallCdAccess(nullptr);
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Error while reading CD information!")});
    EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("A"))).size(), 44 + 50 * 2352);
}
