#include <atomic>
#include <csignal>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "cd/CDRipThread.h"
#include "cd/ExtractResult.h"
#include "cd/OffsetTrackReader.h"
#include "cd/ParanoiaReader.h"
#include "cd/RipSupport.h"
#include "cd/WavNormalizer.h"
#include "core/AppEvents.h"
#include "core/FileUtil.h"
#include "core/Settings.h"
#include "encoders/EncoderTestSupport.h"
#include "support/TestSupport.h"

namespace {

/// What the job window would receive.
struct Report {
    int type = 0;    // WM_JOBPROGRESS or WM_RIPFAILED
    int percent = 0; // or the WM_RIPFAILED code
    QString elapsed, total;
    int error = 0;
    std::shared_ptr<const TStepResult> result;
};

class Receiver : public QObject {
public:
    std::vector<Report> reports;
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::Type(WM_JOBPROGRESS)) {
            const TProcessInfo& i = *static_cast<JobProgressEvent*>(e)->Info;
            reports.push_back(
                {WM_JOBPROGRESS, i.Percent, i.ElapsedText, i.TotalText, i.ErrorCode, i.Result});
            return true;
        }
        if (e->type() == QEvent::Type(WM_RIPFAILED)) {
            reports.push_back({WM_RIPFAILED, static_cast<RipFailedEvent*>(e)->Code, {}, {}, 0, {}});
            return true;
        }
        return QObject::event(e);
    }
};

QByteArray Header(qsizetype audioBytes)
{
    const auto h = MakeRipWavHeader(uint32_t(audioBytes));
    return QByteArray(reinterpret_cast<const char*>(h.data()), int(h.size()));
}

class RipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        ASSERT_TRUE(QDir().mkpath(Out()));
        OptionsSetting().CommonOptions.OutputFolder = Out(); // no trailing "/"
        OptionsSetting().CommonOptions.NormalizePercent = 95;
    }
    void TearDown() override
    {
        CloseAllHandles();
        ResetOptionsSetting();
    }

    QString Out() const { return scope_.File(QStringLiteral("Output")); }
    QString Discs() const { return scope_.File(QStringLiteral("discs")); }
    QString WavOf(const QString& name) const
    {
        return Out() + QLatin1Char('/') + name + QStringLiteral(".wav");
    }

    /// Rips a track until the thread ends and returns the reports. before runs ahead of
    /// Resume(), during runs on this thread while the worker works.
    std::vector<Report> Rip(int handle, int track, const QString& name,
                            const std::function<void(TCDRipThread&)>& before = {},
                            const std::function<void(TCDRipThread&, Receiver&)>& during = {})
    {
        return RipTo(handle, track, WavOf(name), before, during);
    }
    std::vector<Report> RipTo(int handle, int track, const QString& path,
                              const std::function<void(TCDRipThread&)>& before = {},
                              const std::function<void(TCDRipThread&, Receiver&)>& during = {})
    {
        Receiver receiver;
        {
            TCDRipThread thread(track, path, OptionsSetting().CommonOptions,
                                OptionsSetting().CDOptions);
            thread.SetDriveHandle(handle);
            thread.SetReceiver(&receiver);
            if (before)
                before(thread);
            thread.Resume();
            if (during)
                during(thread, receiver);
            EXPECT_TRUE(WaitUntil([&] { return thread.Finished(); }, std::chrono::seconds(30)));
        }
        PumpEvents(std::chrono::milliseconds(20));
        return receiver.reports;
    }

    int OpenImage(const QString& name)
    {
        for (const ListedImage& img : ListedImages()) {
            if (img.Product == name)
                return GetCDHandle(HandleRequest::For(img.Entry));
        }
        return 0;
    }

    ProgramDirScope scope_;
};

std::vector<int> Percents(const std::vector<Report>& reports)
{
    std::vector<int> out;
    for (const Report& r : reports)
        out.push_back(r.percent);
    return out;
}

const Report& Last(const std::vector<Report>& r)
{
    static const Report none;
    return r.empty() ? none : r.back();
}

const TExtractResult* ResultOf(const Report& r)
{
    return dynamic_cast<const TExtractResult*>(r.result.get());
}

TEST_F(RipTest, TracksOfAnImageRipBitForBit)
{
    ASSERT_TRUE(QDir().mkpath(Discs()));
    makedisc::DiscImageOptions opt;
    opt.PregapSectors = 8; // track 1 starts at LSN 8, so absolute addressing matters
    MakeImage(Discs(), QStringLiteral("disc"), {23, 1, 123}, opt);
    const QString bin = Discs() + QStringLiteral("/disc.bin");
    const int h = OpenImage(QStringLiteral("disc"));
    ASSERT_NE(h, 0);

    struct Expect {
        int track;
        int64_t first, count;
    };
    // A track runs to the next track's index 1, so it holds the next track's pregap.
    const Expect tracks[] = {{1, 8, 23 + 8}, {2, 8 + 23 + 8, 1 + 8}, {3, 8 + 23 + 8 + 1 + 8, 123}};
    for (const Expect& e : tracks) {
        const QString name = QStringLiteral("%1 Tränk").arg(e.track);
        const auto reports = Rip(h, e.track, name);
        const QByteArray wav = ReadWholeFile(WavOf(name));
        ASSERT_EQ(wav.size(), 44 + e.count * 2352) << e.track;
        EXPECT_EQ(wav.left(44), Header(e.count * 2352));
        EXPECT_TRUE(wav.mid(44) == BinSectors(bin, e.first, e.count)) << "track " << e.track;
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(Last(reports).percent, JobCode::ExtractEnded);
        EXPECT_EQ(Last(reports).error, 0);
        EXPECT_TRUE(Last(reports).elapsed.isEmpty() && Last(reports).total.isEmpty());
    }
    EXPECT_FALSE(IsFileInUse(WavOf(QStringLiteral("1 Tränk")))) << "the lock goes with the thread";
}

TEST_F(RipTest, ReadsTenSectorsAtATimeAndReportsProgress)
{
    FakeCdAccess fake;
    fake.firstTrackLsn = 33;
    fake.trackSectors = {40, 23};
    std::vector<std::pair<uint32_t, uint32_t>> reads;
    bool lockedWhileReading = true;
    fake.onRead = [&](int handle, AudioReadBuffer& b) {
        EXPECT_EQ(handle, 7);
        reads.emplace_back(b.StartSector, b.SectorCount);
        lockedWhileReading = lockedWhileReading && IsFileInUse(WavOf(QStringLiteral("t")));
        b.Offset = 100; // data need not start at the front of the buffer
        b.Data.resize(b.Data.size() + 100);
        for (uint32_t i = 0; i < b.SectorCount * 2352; ++i)
            b.Data[100 + i] = FakeCdAccess::PatternByte(b.StartSector + i / 2352, i % 2352);
        b.BytesReturned = b.SectorCount * 2352;
        return 1;
    };
    std::vector<int> modes;
    fake.onModify = [&](int, int param, int value) {
        return modes.push_back(param * 10 + value), 1;
    };
    const auto reports = Rip(7, 2, QStringLiteral("t"));
    EXPECT_EQ(modes, std::vector<int>{361});
    EXPECT_EQ(reads, (std::vector<std::pair<uint32_t, uint32_t>>{{73, 10}, {83, 10}, {93, 3}}));
    EXPECT_TRUE(lockedWhileReading);
    std::vector<int> percents;
    for (const Report& r : reports)
        percents.push_back(r.percent);
    EXPECT_EQ(percents, (std::vector<int>{43, 86, 100, 1000}));
    const QByteArray wav = ReadWholeFile(WavOf(QStringLiteral("t")));
    ASSERT_EQ(wav.size(), 44 + 23 * 2352);
    EXPECT_EQ(uint8_t(wav[44 + 2352 * 22 + 5]), FakeCdAccess::PatternByte(95, 5));
}

TEST_F(RipTest, StopDuringReadingLeavesAValidPartialWav)
{
    FakeCdAccess fake;
    fake.trackSectors = {5000};
    std::atomic<TCDRipThread*> running{nullptr};
    std::atomic<int> reads{0};
    fake.onRead = [&](int, AudioReadBuffer& b) {
        if (++reads == 5)
            running.load()->StopRequested = true; // the job's stop, arriving during read 5
        return FakeCdAccess::PatternRead(b);
    };
    OptionsSetting().CommonOptions.IsNormalize = true;
    auto reports = Rip(1, 1, QStringLiteral("stopped"), [&](TCDRipThread& t) { running = &t; });
    EXPECT_EQ(reads.load(), 5) << "the stop takes effect after the read in progress";
    for (const Report& r : reports) {
        EXPECT_EQ(r.type, WM_JOBPROGRESS);
        EXPECT_LE(r.percent, 100) << "no completion record, no normalisation";
    }
    QByteArray wav = ReadWholeFile(WavOf(QStringLiteral("stopped")));
    ASSERT_EQ(wav.size(), 44 + 50 * 2352);
    EXPECT_EQ(wav.left(44), Header(50 * 2352));
    EXPECT_EQ(uint8_t(wav[44 + 49 * 2352 + 9]), FakeCdAccess::PatternByte(49, 9))
        << "not normalised";

    // The same from the UI thread while reads are slow; destroying the thread waits for it.
    reads = 0;
    fake.onRead = [&](int, AudioReadBuffer& b) {
        ++reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return FakeCdAccess::PatternRead(b);
    };
    reports = Rip(1, 1, QStringLiteral("stopped"), {}, [&](TCDRipThread& t, Receiver& r) {
        ASSERT_TRUE(WaitUntil([&] { return r.reports.size() >= 3; }));
        t.StopRequested = true;
    });
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().percent, int(int64_t(reads) * 10 * 100 / 5000));
    EXPECT_EQ(Last(reports).type, WM_JOBPROGRESS);
    EXPECT_LT(reads.load(), 500);
    wav = ReadWholeFile(WavOf(QStringLiteral("stopped")));
    EXPECT_EQ(wav.size(), 44 + reads * 10 * 2352);
    EXPECT_EQ(wav.left(44), Header(reads * 10 * 2352));
}

TEST_F(RipTest, DriveSetupFailuresEndTheThreadWithRipFailed)
{
    FakeCdAccess fake;
    fake.onModify = [](int, int, int) { return 0; };
    auto reports = Rip(1, 1, QStringLiteral("x"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].type, WM_RIPFAILED);
    EXPECT_EQ(reports[0].percent, 1);

    fake.onModify = nullptr;
    fake.onReadToc = [](int, TocRecord&) { return 0; };
    reports = Rip(1, 1, QStringLiteral("x"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].type, WM_RIPFAILED);
    EXPECT_EQ(reports[0].percent, 2);
    EXPECT_FALSE(QFile::exists(WavOf(QStringLiteral("x"))));

    // A track the disc does not have is a read error, and nothing is written.
    fake.onReadToc = nullptr;
    reports = Rip(1, 3, QStringLiteral("x"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].percent, JobCode::ExtractEnded);
    EXPECT_EQ(reports[0].error, 3);
    EXPECT_FALSE(QFile::exists(WavOf(QStringLiteral("x"))));
}

TEST_F(RipTest, ReadErrorKeepsWhatWasReadBehindTheProvisionalHeader)
{
    FakeCdAccess fake;
    fake.trackSectors = {100};
    int reads = 0;
    fake.onRead = [&](int, AudioReadBuffer& b) {
        if (++reads == 3)
            return 0;
        return FakeCdAccess::PatternRead(b);
    };
    OptionsSetting().CommonOptions.IsNormalize = true;
    const auto reports = Rip(1, 1, QStringLiteral("bad"));
    EXPECT_EQ(reads, 3);
    EXPECT_EQ(Percents(reports), (std::vector<int>{10, 20, 30, 1000}));
    EXPECT_EQ(Last(reports).error, 3);
    const QByteArray wav = ReadWholeFile(WavOf(QStringLiteral("bad")));
    ASSERT_EQ(wav.size(), 44 + 20 * 2352);
    EXPECT_EQ(wav.left(44), Header(0));

    ASSERT_NE(ResultOf(Last(reports)), nullptr);
    EXPECT_FALSE(ResultOf(Last(reports))->Complete);

    // A reply of more bytes than its buffer holds, or fewer than asked, is no success either.
    for (const int skew : {1, -4}) {
        reads = 0;
        fake.onRead = [&](int, AudioReadBuffer& b) {
            FakeCdAccess::PatternRead(b);
            b.BytesReturned += uint32_t(++reads == 2 ? skew : 0);
            return 1;
        };
        EXPECT_EQ(Last(Rip(1, 1, QStringLiteral("bad"))).error, 3) << skew;
        EXPECT_EQ(ReadWholeFile(WavOf(QStringLiteral("bad"))).size(), 44 + 10 * 2352) << skew;
    }
}

TEST_F(RipTest, OutputsThatCannotBeCreatedFailTheTrackByTheirCause)
{
    FakeCdAccess fake;
    fake.trackSectors = {20};
    // No path: the job found no file name for the title. Nothing is written.
    const auto reports = RipTo(1, 1, QString());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].percent, JobCode::ExtractEnded);
    EXPECT_EQ(reports[0].error, ExtractOutcome::NotCreated);
    EXPECT_TRUE(
        QDir(Out()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());

    // A folder that does not exist; a file another job holds locked, and a read-only one: in
    // use, and left untouched.
    EXPECT_EQ(Last(RipTo(1, 1, Out() + QStringLiteral("/missing/t.wav"))).error,
              ExtractOutcome::NotCreated);
    WriteWholeFile(WavOf(QStringLiteral("busy")), "keep me");
    QFile busy(WavOf(QStringLiteral("busy")));
    ASSERT_TRUE(busy.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(busy.handle(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Last(Rip(1, 1, QStringLiteral("busy"))).error, ExtractOutcome::InUse);
    busy.close();
    EXPECT_EQ(ReadWholeFile(WavOf(QStringLiteral("busy"))), QByteArray("keep me"));
    WriteWholeFile(WavOf(QStringLiteral("kept")), "read-only");
    ASSERT_TRUE(QFile::setPermissions(WavOf(QStringLiteral("kept")), QFile::ReadOwner));
    if (::geteuid() != 0) { // root writes anyway
        EXPECT_EQ(Last(Rip(1, 1, QStringLiteral("kept"))).error, ExtractOutcome::InUse);
        EXPECT_EQ(ReadWholeFile(WavOf(QStringLiteral("kept"))), QByteArray("read-only"));
    }

    // Odd but valid names rip; an existing file is replaced.
    EXPECT_EQ(Last(Rip(1, 1, QStringLiteral("busy"))).error, 0);
    EXPECT_EQ(ReadWholeFile(WavOf(QStringLiteral("busy"))).size(), 44 + 20 * 2352);
    EXPECT_EQ(Last(Rip(1, 1, QStringLiteral("..."))).error, 0);
    EXPECT_EQ(Last(Rip(1, 1, QStringLiteral("what? *yes*"))).error, 0);
}

TEST_F(RipTest, NormalisesAfterExtractionWhenAsked)
{
    FakeCdAccess fake;
    fake.trackSectors = {30};
    OptionsSetting().CommonOptions.IsNormalize = true;
    OptionsSetting().CommonOptions.NormalizePercent = 50;
    const auto reports = Rip(1, 1, QStringLiteral("n"));
    const auto percents = Percents(reports);
    ASSERT_GE(percents.size(), 6u);
    EXPECT_EQ(std::vector<int>(percents.begin(), percents.begin() + 4),
              (std::vector<int>{33, 66, 100, 999}));
    // Normalisation's own progress starts over, then the completion with empty texts.
    EXPECT_EQ(percents[4], 0);
    EXPECT_EQ(percents[percents.size() - 2], 100);
    EXPECT_EQ(Last(reports).percent, 1000);
    EXPECT_EQ(Last(reports).error, 0);
    EXPECT_TRUE(Last(reports).elapsed.isEmpty() && Last(reports).total.isEmpty());

    QByteArray expected(30 * 2352, '\0');
    for (int i = 0; i < expected.size(); ++i)
        expected[i] = char(FakeCdAccess::PatternByte(i / 2352, i % 2352));
    ScaleSamples(reinterpret_cast<uint8_t*>(expected.data()), size_t(expected.size()), 0.5f);
    const QByteArray wav = ReadWholeFile(WavOf(QStringLiteral("n")));
    EXPECT_EQ(wav.left(44), Header(30 * 2352));
    EXPECT_TRUE(wav.mid(44) == expected);
    EXPECT_FALSE(QFile::exists(Out() + QStringLiteral("/n.nor")));

    // Normalisation failing keeps the extracted WAV and ends with an error, not success.
    ASSERT_TRUE(QDir().mkdir(Out() + QStringLiteral("/m.nor")));
    const auto failed = Rip(1, 1, QStringLiteral("m"));
    EXPECT_EQ(Last(failed).percent, 1000);
    EXPECT_EQ(Last(failed).error, ExtractOutcome::WriteError);
    EXPECT_EQ(Last(failed).elapsed,
              WavOf(QStringLiteral("m")) +
                  QStringLiteral(" could not be normalized (Is a directory)."));
    EXPECT_TRUE(QFileInfo(Out() + QStringLiteral("/m.nor")).isDir()) << "what was there stays";
    const QByteArray kept = ReadWholeFile(WavOf(QStringLiteral("m")));
    ASSERT_EQ(kept.size(), 44 + 30 * 2352);
    EXPECT_EQ(uint8_t(kept[44 + 777]), FakeCdAccess::PatternByte(0, 777));
}

TEST_F(RipTest, AFullDiskIsAnErrorNotASuccess)
{
    FakeCdAccess fake;
    fake.trackSectors = {2000};
    // A file-size limit stands in for a full disk: writes past it fail with EFBIG.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = 100 * 2352;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto reports = Rip(1, 1, QStringLiteral("full"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(Last(reports).percent, 1000);
    EXPECT_EQ(Last(reports).error, ExtractOutcome::WriteError);
    EXPECT_EQ(Last(reports).elapsed, WavOf(QStringLiteral("full")) +
                                         QStringLiteral(" could not be written (File too large)."));
    // The writer is a few blocks behind the reads (of 10 sectors each, 111 to a block).
    EXPECT_LT(Percents(reports).size(), 130u) << "the rip ends soon after the failed write";
    EXPECT_FALSE(QFileInfo::exists(WavOf(QStringLiteral("full"))))
        << "a cut file whose header tells no size is not left under the track's name";
}

TEST_F(RipTest, AFullTmpfsIsAWriteErrorNamingTheFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString small = scope_.File(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(small));
    const QByteArray mountPoint = QFile::encodeName(small);
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    FakeCdAccess fake;
    fake.trackSectors = {400}; // 940 kB: more than the disk holds
    const auto reports = RipTo(1, 1, small + QStringLiteral("/big.wav"));
    ::umount2(mountPoint.constData(), MNT_DETACH);
    EXPECT_EQ(Last(reports).error, ExtractOutcome::WriteError);
    EXPECT_EQ(Last(reports).elapsed,
              small + QStringLiteral("/big.wav could not be written (No space left on device)."));
}

TEST_F(RipTest, LinksAndSpecialFilesInPlaceOfTheWavAreRefusedWithoutBlocking)
{
    FakeCdAccess fake;
    fake.trackSectors = {20};
    // A FIFO named like the track would block a plain open for good.
    ASSERT_EQ(::mkfifo(QFile::encodeName(WavOf(QStringLiteral("fifo"))).constData(), 0644), 0);
    auto reports = Rip(1, 1, QStringLiteral("fifo"));
    EXPECT_EQ(Last(reports).error, ExtractOutcome::NotRegular);
    EXPECT_TRUE(QFileInfo(WavOf(QStringLiteral("fifo"))).isFile() == false);

    // A link planted in the output folder is not followed out of it.
    const QString outside = scope_.File(QStringLiteral("outside.txt"));
    WriteWholeFile(outside, "precious");
    ASSERT_TRUE(QFile::link(outside, WavOf(QStringLiteral("link"))));
    reports = Rip(1, 1, QStringLiteral("link"));
    EXPECT_EQ(Last(reports).error, ExtractOutcome::NotRegular);
    EXPECT_EQ(ReadWholeFile(outside), QByteArray("precious"));
}

TEST_F(RipTest, AWavDeletedWhileWrittenIsNotReportedDone)
{
    FakeCdAccess fake;
    fake.trackSectors = {100};
    fake.onRead = [&](int, AudioReadBuffer& b) {
        if (b.StartSector == 50)
            QFile::remove(WavOf(QStringLiteral("gone")));
        return FakeCdAccess::PatternRead(b);
    };
    const auto reports = Rip(1, 1, QStringLiteral("gone"));
    EXPECT_EQ(Last(reports).error, ExtractOutcome::WriteError);
    EXPECT_EQ(Last(reports).elapsed,
              WavOf(QStringLiteral("gone")) +
                  QStringLiteral(" could not be written (No such file or directory)."));
}

} // namespace

namespace {

TEST_F(RipTest, ADiscStartingAtTrackThreeRipsEachTrackByItsNumber)
{
    FakeCdAccess fake;
    fake.firstTrack = 3;
    fake.trackSectors = {30, 40, 50};
    for (const int track : {3, 4, 5}) {
        const QString name = QStringLiteral("Track%1").arg(track);
        const auto reports = Rip(1, track, name);
        ASSERT_EQ(Last(reports).error, ExtractOutcome::Success) << track;
        const int64_t first = track == 3 ? 0 : (track == 4 ? 30 : 70);
        const int64_t count = track == 3 ? 30 : (track == 4 ? 40 : 50);
        const QByteArray wav = ReadWholeFile(WavOf(name));
        ASSERT_EQ(wav.size(), 44 + count * 2352) << track;
        EXPECT_EQ(uint8_t(wav[44]), FakeCdAccess::PatternByte(first, 0)) << track;
        EXPECT_EQ(uint8_t(wav[wav.size() - 1]), FakeCdAccess::PatternByte(first + count - 1, 2351))
            << track;
    }
    // Track 2 is not on this disc: a read error, not a read of whatever lies there.
    EXPECT_EQ(Last(Rip(1, 2, QStringLiteral("none"))).error, ExtractOutcome::ReadError);
}

} // namespace

namespace {

QString Hex(uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

QString Oracle(const QString& program, const QStringList& args)
{
    const ProgramResult r = RunProgram(program, args);
    return r.ExitCode == 0 ? QString::fromUtf8(r.Out).trimmed() : QStringLiteral("failed");
}

TEST_F(RipTest, ChecksumsOfARipMatchTheReferenceProgram)
{
    if (RunProgram(QStringLiteral("which"), {QStringLiteral("accuraterip-checksum")}).ExitCode != 0)
        GTEST_SKIP() << "accuraterip-checksum (whipper) not installed";
    ASSERT_TRUE(QDir().mkpath(Discs()));
    // The first and last track span several of the writer's blocks: the checksums are taken as
    // each read is copied into them, also across a block's end.
    MakeImage(Discs(), QStringLiteral("sums"), {240, 25, 133});
    MakeImage(Discs(), QStringLiteral("short"), {3, 20});
    const int h = OpenImage(QStringLiteral("sums"));
    ASSERT_NE(h, 0);
    for (const int track : {1, 2, 3}) {
        const QString name = QStringLiteral("sums%1").arg(track);
        const auto reports = Rip(h, track, name);
        const TExtractResult* r = ResultOf(Last(reports));
        ASSERT_TRUE(r != nullptr && r->Complete) << track;
        ASSERT_TRUE(r->Checksums.HasAccurateRip());
        const QStringList args{WavOf(name), QString::number(track), QStringLiteral("3")};
        EXPECT_EQ(Hex(r->Checksums.V1()),
                  Oracle(QStringLiteral("accuraterip-checksum"),
                         QStringList{QStringLiteral("--accuraterip-v1")} + args))
            << track;
        EXPECT_EQ(Hex(r->Checksums.V2()),
                  Oracle(QStringLiteral("accuraterip-checksum"),
                         QStringList{QStringLiteral("--accuraterip-v2")} + args))
            << track;
        EXPECT_EQ(Hex(r->Checksums.CopyCrc()),
                  Oracle(QStringLiteral("/usr/bin/python3"),
                         {QStringLiteral("-c"),
                          QStringLiteral("import sys,zlib; d=open(sys.argv[1],'rb').read()[44:]; "
                                         "print('%08X' % zlib.crc32(d))"),
                          WavOf(name)}))
            << track;
        if (track == 2) {
            // Normalising changes the file, not the checksums of what the disc holds.
            OptionsSetting().CommonOptions.IsNormalize = true;
            const auto normalised = Rip(h, track, QStringLiteral("n"));
            const TExtractResult* n = ResultOf(Last(normalised));
            OptionsSetting().CommonOptions.IsNormalize = false;
            ASSERT_NE(n, nullptr);
            EXPECT_EQ(n->Checksums.V2(), r->Checksums.V2());
        }
    }
    // A first track of 3 sectors lies wholly in the part AccurateRip leaves out.
    const auto shortDisc = Rip(OpenImage(QStringLiteral("short")), 1, QStringLiteral("tiny"));
    const TExtractResult* tiny = ResultOf(Last(shortDisc));
    ASSERT_TRUE(tiny != nullptr && tiny->Complete);
    EXPECT_FALSE(tiny->Checksums.HasAccurateRip());
}

/// What a drive with that read offset gives for `samples` samples from startSample of a disc
/// whose audio is `disc`: the samples shifted by the offset, silence off the disc's ends.
QByteArray Shifted(const QByteArray& disc, int64_t startSample, int64_t samples, int offset)
{
    QByteArray expected(qsizetype(samples * 4), '\0');
    for (int64_t i = 0; i < samples; ++i) {
        const int64_t at = startSample + i + offset;
        if (at >= 0 && at < disc.size() / 4)
            expected.replace(qsizetype(i * 4), 4, disc.mid(qsizetype(at * 4), 4));
    }
    return expected;
}

TEST_F(RipTest, ReadOffsetShiftsTheTrackAndPadsTheDiscsEndsWithSilence)
{
    ASSERT_TRUE(QDir().mkpath(Discs()));
    // Track 1 at sector 0: nothing before it; track 3 long enough to be read ahead of, up to
    // where that no longer fits before the lead-out.
    const std::vector<int64_t> lengths{30, 4, 225};
    MakeImage(Discs(), QStringLiteral("shift"), lengths);
    const QByteArray disc = ReadWholeFile(Discs() + QStringLiteral("/shift.bin"));
    const int h = OpenImage(QStringLiteral("shift"));
    ASSERT_NE(h, 0);
    // Within a sector, across sectors, whole sectors; both ways.
    for (const int offset : {7, -7, 1000, -1000, 2 * 588, -2 * 588}) {
        OptionsSetting().CDOptions.ReadOffset = offset;
        int64_t start = 0;
        for (int track = 1; track <= 3; ++track) {
            const int64_t samples = lengths[size_t(track - 1)] * 588;
            const auto reports = Rip(h, track, QStringLiteral("s"));
            EXPECT_EQ(Last(reports).error, 0) << offset << " track " << track;
            const QByteArray wav = ReadWholeFile(WavOf(QStringLiteral("s")));
            EXPECT_EQ(wav.left(44), Header(samples * 4));
            EXPECT_TRUE(wav.mid(44) == Shifted(disc, start, samples, offset))
                << offset << " track " << track;
            start += samples;
        }
    }
}

/// Paranoia reads images too, which tests its glue without a drive: a disc of two tracks (40
/// and 30 sectors) and its bytes.
class ParanoiaReaderTest : public ::testing::Test {
protected:
    ParanoiaReaderTest()
    {
        const QString dir = scope_.File(QStringLiteral("discs"));
        QDir().mkpath(dir);
        MakeImage(dir, QStringLiteral("p"), {40, 30});
        disc = ReadWholeFile(dir + QStringLiteral("/p.bin"));
        image = {DriveSource::Kind::CueImage,
                 QFile::encodeName(dir + QStringLiteral("/p.cue")).toStdString()};
    }

    ProgramDirScope scope_;
    QByteArray disc;
    DriveSource image;
};

// The same bytes as the image, forward through the offset logic, up to the disc's last sector.
TEST_F(ParanoiaReaderTest, ReadsAnImageBitForBitThroughTheOffset)
{
    ASSERT_EQ(disc.size(), 70 * 2352);
    for (const int mode : {1, 2}) {
        for (const int offset : {-700, 1300}) {
            const auto reader = OpenParanoiaReader(image, mode);
            ASSERT_TRUE(reader);
            for (const auto& [start, length] : {std::pair{0, 40}, std::pair{40, 30}}) {
                TOffsetTrackReader track(*reader, start, offset, 70);
                QByteArray got;
                for (int done = 0; done < length; done += 10) {
                    const uint8_t* pcm = track.Next(uint32_t(std::min(10, length - done)));
                    ASSERT_NE(pcm, nullptr);
                    got.append(reinterpret_cast<const char*>(pcm),
                               std::min(10, length - done) * 2352);
                }
                EXPECT_TRUE(got == Shifted(disc, start * 588, length * 588, offset))
                    << "mode " << mode << ", offset " << offset << ", from " << start;
            }
            EXPECT_EQ(reader->Uncorrected(), 0);
        }
    }
}

// A drive that errs, stood in by spoiling the raw reads of an image under paranoia: the bad
// sectors come back as different noise on each of the next spoiled reads (all when negative).
RawAudioRead g_imageRead = nullptr;
std::atomic<int> g_spoiledReads{0};
constexpr int32_t kBadFirst = 30;
constexpr int32_t kBadLast = 31;

long SpoilingRead(cdrom_drive_s* drive, void* out, int32_t lsn, long sectors)
{
    const long got = g_imageRead(drive, out, lsn, sectors);
    if (got <= 0 || lsn > kBadLast || lsn + got <= kBadFirst || g_spoiledReads == 0)
        return got;
    if (g_spoiledReads > 0)
        --g_spoiledReads;
    static uint32_t noise = 12345;
    for (int32_t s = std::max(lsn, kBadFirst); s <= std::min<int64_t>(lsn + got - 1, kBadLast);
         ++s) {
        auto* bytes = static_cast<uint8_t*>(out) + size_t(s - lsn) * 2352;
        for (size_t i = 0; i < 2352; ++i) {
            noise = noise * 1103515245u + 12345u;
            bytes[i] = uint8_t(noise >> 16);
        }
    }
    return got;
}

TEST_F(ParanoiaReaderTest, CorrectsWhatARereadCuresAndCountsWhatNoneDoes)
{
    struct Case {
        int spoiledReads;
        bool cured;
    };
    for (const Case c : {Case{2, true}, Case{-1, false}}) {
        SCOPED_TRACE(c.spoiledReads);
        g_spoiledReads = c.spoiledReads;
        const auto reader = OpenParanoiaReader(image, 2, &SpoilingRead, &g_imageRead);
        ASSERT_TRUE(reader);
        QByteArray got(70 * 2352, '\0');
        for (int32_t at = 0; at < 70; at += 10)
            ASSERT_TRUE(reader->Read(at, 10, reinterpret_cast<uint8_t*>(got.data()) + at * 2352));
        if (c.cured) {
            EXPECT_TRUE(got == disc);
            EXPECT_EQ(reader->Uncorrected(), 0);
        } else {
            // Counted, not passed off as read; what lies around them is exact.
            EXPECT_GE(reader->Uncorrected(), 1);
            EXPECT_LE(reader->Uncorrected(), kBadLast - kBadFirst + 1);
            EXPECT_TRUE(got.left(kBadFirst * 2352) == disc.left(kBadFirst * 2352));
            EXPECT_TRUE(got.mid((kBadLast + 1) * 2352) == disc.mid((kBadLast + 1) * 2352));
        }
    }
}

} // namespace
