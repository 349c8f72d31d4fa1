// The end of a CD rip: one AccurateRip request, each track's result, the log and the cue sheet
// beside the first track, driven through the job on a disc image and a local stand-in server.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "cd/ExtractResult.h"
#include "cd/OpenDrive.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "encoders/EncoderTestSupport.h"
#include "pipeline/ParallelJob.h"
#include "pipeline/RipJob.h"
#include "pipeline/RipVerification.h"
#include "platform/cdaccess/DiscFixture.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"

namespace {

void PutLe32(QByteArray& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>(v >> (8 * i) & 0xff));
}

class RipVerificationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        TOptionsSetting& o = OptionsSetting();
        o.CommonOptions.OutputFolder = dir.File(QStringLiteral("Output"));
        o.CommonOptions.OutputFormat = ofWAV;
        o.CDInfo.Artist = QStringLiteral("The Band");
        o.CDInfo.Album = QStringLiteral("First Light");
        o.AccurateRip.Enabled = true;
        o.AccurateRip.Server = QStringLiteral("http://") + server.Address();
        QDir().mkpath(o.CommonOptions.OutputFolder);
        QDir().mkpath(dir.File(QStringLiteral("discs")));
        MakeImage(dir.File(QStringLiteral("discs")), QStringLiteral("Disc"), lengths);
        const OpenDriveResult r = OpenDrive(0);
        ASSERT_NE(r.Handle, 0) << r.Status.toStdString();
        handle = r.Handle;
    }
    void TearDown() override
    {
        if (handle != 0)
            CloseCDHandle(handle);
        ResetOptionsSetting();
    }

    /// AccurateRip v1 of track k (1-based) of the image.
    uint32_t V1(int k) const
    {
        int64_t first = 0;
        for (int i = 1; i < k; ++i)
            first += lengths[static_cast<size_t>(i - 1)];
        const int64_t n = lengths[static_cast<size_t>(k - 1)];
        const QByteArray pcm = BinSectors(dir.File(QStringLiteral("discs/Disc.bin")), first, n);
        TTrackChecksums sums(n * kSectorFrames, k == 1, k == static_cast<int>(lengths.size()));
        sums.Add(reinterpret_cast<const uint8_t*>(pcm.constData()),
                 static_cast<size_t>(pcm.size()));
        return sums.V1();
    }
    /// A dBAR answer for the disc the request names, with these checksums for its tracks.
    static QByteArray Dbar(const QByteArray& target, const std::vector<uint32_t>& crcs)
    {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("dBAR-(\\d{3})-([0-9a-f]{8})-([0-9a-f]{8})-"
                                              "([0-9a-f]{8})\\.bin$"))
                .match(QString::fromLatin1(target));
        QByteArray out;
        if (!m.hasMatch())
            return out;
        out.append(static_cast<char>(m.captured(1).toInt()));
        for (int i = 2; i <= 4; ++i)
            PutLe32(out, m.captured(i).toUInt(nullptr, 16));
        for (uint32_t crc : crcs) {
            out.append(static_cast<char>(7));
            PutLe32(out, crc);
            PutLe32(out, 0);
        }
        return out;
    }
    /// Rips every track to its end and waits for the log.
    std::unique_ptr<TRipVerification> Rip(const std::function<void(TRipJob&)>& during = {})
    {
        TRipJob job(jkRipTracks, handle, entries);
        bool closed = false;
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        if (during)
            during(job);
        EXPECT_TRUE(WaitUntil([&] { return closed; }));
        results = job.View().Results;
        std::unique_ptr<TRipVerification> v = job.TakeVerification();
        EXPECT_TRUE(v && WaitUntil([&] { return v->Done(); }));
        return v;
    }
    QString Out(const QString& name) const { return dir.File(QStringLiteral("Output/")) + name; }
    QString Log() const
    {
        return QString::fromUtf8(ReadWholeFile(Out(QStringLiteral("The Band - First Light.log"))));
    }
    static QString LogOf(const TRipVerification& v)
    {
        return QString::fromUtf8(ReadWholeFile(v.LogPath()));
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TCddbTestServer server{[](const TCddbTestRequest&) { return TCddbTestAnswer{}; }};
    std::vector<int64_t> lengths{900, 700};
    QStringList entries{QStringLiteral("01One"), QStringLiteral("02Two")};
    QStringList results;
    int handle = 0;
};

TEST_F(RipVerificationTest, EachAnswerGivesItsResultsOneRequestAndNoBox)
{
    const uint32_t v1 = V1(1);
    const uint32_t v2 = V1(2);
    struct Case {
        const char* name;
        bool enabled;
        std::function<TCddbTestAnswer(const TCddbTestRequest&)> answer;
        const char* track1;
        const char* track2;
        const char* summary;
        TResultNotice::Severity level;
    };
    const Case cases[] = {
        {"accurate", true,
         [&](const TCddbTestRequest& r) {
             return TCddbTestAnswer{{}, Dbar(r.Target, {v1, v2})};
         },
         "accurately ripped (confidence 7)", "accurately ripped (confidence 7)",
         "All 2 tracks accurately ripped", TResultNotice::Severity::Information},
        {"mismatch", true,
         [&](const TCddbTestRequest& r) {
             return TCddbTestAnswer{{}, Dbar(r.Target, {v1, v2 ^ 1})};
         },
         "accurately ripped (confidence 7)", "mismatch",
         "1 of 2 tracks accurately ripped; mismatch: tracks 02", TResultNotice::Severity::Warning},
        {"404", true,
         [](const TCddbTestRequest&) {
             return TCddbTestAnswer{{}, "", 404};
         },
         "not in database", "not in database", "0 of 2 tracks accurately ripped",
         TResultNotice::Severity::Information},
        {"500", true,
         [](const TCddbTestRequest&) {
             return TCddbTestAnswer{{}, "", 500};
         },
         "could not be verified", "could not be verified", "0 of 2 tracks accurately ripped",
         TResultNotice::Severity::Information},
        {"off", false, [](const TCddbTestRequest&) { return TCddbTestAnswer{}; },
         "could not be verified", "could not be verified", "0 of 2 tracks accurately ripped",
         TResultNotice::Severity::Information},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = server.Requests().size();
        server.SetHandler(c.answer);
        OptionsSetting().AccurateRip.Enabled = c.enabled;
        const auto v = Rip();
        ASSERT_TRUE(v);
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size() - before, c.enabled ? 1u : 0u);
        if (c.enabled) { // the disc's own ids: track 1 at 0, track 2 at 900, lead-out 1600
            EXPECT_TRUE(requests.back().Target.startsWith(
                QByteArrayLiteral("/accuraterip/4/c/9/dBAR-002-000009c4-000019c9-")))
                << requests.back().Target.toStdString();
        }
        const QString log = LogOf(*v);
        EXPECT_TRUE(log.contains(QStringLiteral("Track 01  copy CRC "))) << log.toStdString();
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("Track 01  .*  %1\n")
                                   .arg(QRegularExpression::escape(QString::fromLatin1(c.track1))))
                .match(log)
                .hasMatch())
            << log.toStdString();
        EXPECT_TRUE(
            QRegularExpression(QStringLiteral("Track 02  .*  %1\n")
                                   .arg(QRegularExpression::escape(QString::fromLatin1(c.track2))))
                .match(log)
                .hasMatch())
            << log.toStdString();
        EXPECT_TRUE(log.contains(QString::fromLatin1(c.summary))) << log.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("Drive: Image Disc (disc image)")))
            << log.toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("\nDate: \\d{4}-\\d\\d-\\d\\dT\\d\\d:"
                                                      "\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d)\n"))
                        .match(log)
                        .hasMatch())
            << log.toStdString();
        EXPECT_EQ(v->Notice().Level, c.level);
        EXPECT_TRUE(v->Notice().Summary.startsWith(QString::fromLatin1(c.summary)));
        // An earlier rip's log stays; each later one takes the next free name.
        EXPECT_EQ(v->Notice().File,
                  Out(&c == cases
                          ? QStringLiteral("The Band - First Light.log")
                          : QStringLiteral("The Band - First Light (%1).log").arg(&c - cases + 1)));
        // The job window shows the results it learns before it closes: all of them without a
        // lookup; an image may rip faster than the answer comes, and then the bar has them.
        EXPECT_TRUE(v->TrackText(1).endsWith(QString::fromLatin1(c.track2)));
        if (!c.enabled) {
            EXPECT_EQ(results.size(), 2);
        }
        for (const QString& line : results) {
            EXPECT_TRUE(line == QStringLiteral("Track 01  ") + v->TrackText(0) ||
                        line == QStringLiteral("Track 02  ") + v->TrackText(1))
                << line.toStdString();
        }
        EXPECT_TRUE(boxes.Shown().empty());
    }
}

class OneShortTrack : public RipVerificationTest {
protected:
    OneShortTrack()
    {
        lengths = {3};
        entries = {QStringLiteral("01One")};
    }
};

TEST_F(OneShortTrack, ADiscShorterThanTheSkippedPartsHasNoChecksumAndSaysSo)
{
    server.SetHandler([](const TCddbTestRequest&) { return TCddbTestAnswer{{}, "", 404}; });
    const auto v = Rip();
    ASSERT_TRUE(v);
    const QString log = LogOf(*v);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("Track 01  copy CRC [0-9A-F]{8}  .*"
                                                  "too short for a checksum\n"))
                    .match(log)
                    .hasMatch())
        << log.toStdString();
    EXPECT_TRUE(log.contains(
        QStringLiteral("0 of 1 tracks accurately ripped; too short for a checksum: tracks 01\n")))
        << log.toStdString();
    ASSERT_EQ(results.size(), 1);
    EXPECT_TRUE(results[0].endsWith(QStringLiteral("too short for a checksum")))
        << results[0].toStdString();
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(RipVerificationTest, CueSheetNamesTheFilesWrittenWithTheFirstTracksPregap)
{
    server.SetHandler([](const TCddbTestRequest&) { return TCddbTestAnswer{{}, "", 404}; });
    const auto v = Rip();
    ASSERT_TRUE(v);
    const QString cue =
        QString::fromUtf8(ReadWholeFile(Out(QStringLiteral("The Band - First Light.cue"))));
    EXPECT_EQ(cue, QStringLiteral("PERFORMER \"The Band\"\r\nTITLE \"First Light\"\r\n"
                                  "FILE \"One.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n"
                                  "    TITLE \"One\"\r\n    PERFORMER \"The Band\"\r\n"
                                  "    INDEX 01 00:00:00\r\n"
                                  "FILE \"Two.wav\" WAVE\r\n  TRACK 02 AUDIO\r\n"
                                  "    TITLE \"Two\"\r\n    PERFORMER \"The Band\"\r\n"
                                  "    INDEX 01 00:00:00\r\n"));
    // Nothing of the temporary names is left beside them.
    EXPECT_EQ(QDir(Out(QString())).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

TEST_F(RipVerificationTest, AStoppedRipIsLoggedOnceTheLookupAnswers)
{
    // The server answers late; the job is stopped after its first track meanwhile.
    std::atomic<bool> release{false};
    server.SetHandler([&](const TCddbTestRequest&) {
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return TCddbTestAnswer{{}, "", 404};
    });
    std::unique_ptr<TRipVerification> v;
    {
        TRipJob job(jkRipTracks, handle, entries);
        ASSERT_TRUE(WaitUntil([&] { return job.ExtractIndex() == 1; }));
        job.Stop();
        v = job.TakeVerification();
    }
    ASSERT_TRUE(v);
    EXPECT_FALSE(v->Done()); // still waiting for the database
    release = true;
    ASSERT_TRUE(WaitUntil([&] { return v->Done(); }));
    const QString log = Log();
    EXPECT_TRUE(log.contains(QStringLiteral("Track 01  copy CRC "))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Track 02  not ripped\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("The rip was stopped before its end.")))
        << log.toStdString();
    EXPECT_EQ(v->Notice().Level, TResultNotice::Severity::Warning);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(RipVerificationTest, WithoutAnAnswerTheLogIsStillWritten)
{
    // A server that never answers: the job's owner goes before the time-out.
    server.SetHandler([](const TCddbTestRequest&) {
        TCddbTestAnswer a;
        a.Kind = TCddbTestAnswer::Silent;
        return a;
    });
    {
        TRipJob job(jkRipTracks, handle, entries);
        bool closed = false;
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        ASSERT_TRUE(WaitUntil([&] { return closed; }));
        ASSERT_FALSE(job.Verification()->Done());
    }
    const QString log = Log();
    EXPECT_TRUE(log.contains(QStringLiteral("Track 02  copy CRC "))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("could not be verified\n"))) << log.toStdString();
}

TEST_F(RipVerificationTest, AFolderThatRefusesTheLogIsOneErrorAndTheTracksStay)
{
    // A track ripped into a folder that then refuses new files: read-only, or (for root, who
    // writes anywhere) gone elsewhere with the track in it.
    const bool root = ::geteuid() == 0;
    const QString folder = Out(QStringLiteral("Album"));
    const QString moved = Out(QStringLiteral("Moved"));
    QDir().mkpath(folder);
    WriteWholeFile(folder + QStringLiteral("/One.wav"), "RIFF");
    TRipVerifySetup setup;
    setup.Artist = QStringLiteral("The Band");
    setup.Album = QStringLiteral("First Light");
    setup.Enabled = false;
    TRipEntryFiles one;
    one.Track = 1;
    one.Title = QStringLiteral("One");
    one.Wav = folder + QStringLiteral("/One.wav");
    one.NameValid = true;
    setup.Files = {one};
    TRipVerification v(setup);
    TProcessInfo info;
    info.Percent = JobCode::ExtractEnded;
    auto result = std::make_shared<TExtractResult>(3000, true, true);
    result->Complete = true;
    info.Result = result;
    v.TrackExtracted(0, info);
    if (root)
        ASSERT_TRUE(QDir().rename(folder, moved));
    else
        ::chmod(QFile::encodeName(folder).constData(), 0555);
    v.JobEnded(false, {false});
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    ASSERT_TRUE(v.Done());
    EXPECT_EQ(v.Notice().Level, TResultNotice::Severity::Error);
    EXPECT_TRUE(v.Notice().Summary.contains(folder + QStringLiteral("/The Band - First Light.log")))
        << v.Notice().Summary.toStdString();
    EXPECT_TRUE(v.Notice().File.isEmpty());
    EXPECT_EQ(ReadWholeFile((root ? moved : folder) + QStringLiteral("/One.wav")), "RIFF");
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(RipNotice, AFailedEncodeLeadsTheBarAndMakesItAWarning)
{
    TResultNotice verified;
    verified.Summary = QStringLiteral("All 4 tracks accurately ripped");
    verified.File = QStringLiteral("/out/a.log");
    TJobReport report;
    report.Counts.Done = 4;
    report.Seconds = 65;
    EXPECT_EQ(WithJobFailures(verified, &report).Summary, verified.Summary);
    EXPECT_EQ(WithJobFailures(verified, nullptr).Summary, verified.Summary);
    report.Counts.Done = 3;
    report.Counts.Failed = 1;
    report.Counts.FailedTitles = {QStringLiteral("Track02")};
    const TResultNotice n = WithJobFailures(verified, &report);
    EXPECT_EQ(n.Summary, QStringLiteral("3 done, 1 failed, 0 skipped in 01:05. Failed: Track02. "
                                        "All 4 tracks accurately ripped"));
    EXPECT_EQ(n.Level, TResultNotice::Severity::Warning);
    EXPECT_EQ(n.File, verified.File);
}

TEST(RipLogName, DiscNamesCannotLeadOutOfTheFolder)
{
    const struct {
        const char* artist;
        const char* album;
        const char* expected;
    } cases[] = {
        {"", "", "Unknown Artist - Unknown Album"},
        {"  ", "Live", "Unknown Artist - Live"},
        {"../../etc", "passwd", "-..-etc - passwd"},
        {"AC/DC", "Back\nin Black", "AC-DC - Backin Black"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RipLogBaseName(QString::fromUtf8(c.artist), QString::fromUtf8(c.album)),
                  QString::fromUtf8(c.expected))
            << c.artist;
}

TEST(RipDisc, AnEnhancedCdsIdsCountItsAudioTracksAndTheDiscsLeadOut)
{
    // Two audio tracks, then a data track in a second session.
    TocRecord toc;
    toc.FirstTrack = 1;
    toc.LastTrack = 3;
    const auto msf = [](TocEntry& e, int frames) {
        e.Address = {0, uint8_t(frames / 4500), uint8_t(frames / 75 % 60), uint8_t(frames % 75)};
    };
    msf(toc.Entries[0], 150);
    msf(toc.Entries[1], 150 + 900);
    msf(toc.Entries[2], 150 + 1600 + 11400);
    toc.Entries[2].AdrControl = 0x04;
    msf(toc.Entries[3], 150 + 1600 + 11400 + 3000);
    const TRipDisc disc = RipDiscOf(toc);
    ASSERT_TRUE(disc.Known);
    EXPECT_EQ(disc.AudioTracks, (std::vector<int>{1, 2}));
    EXPECT_EQ(disc.FirstPregap, 0);
    // The ids count the audio tracks' starts but the whole disc's lead-out: as whipper has it.
    const ProgramResult oracle =
        RunProgram(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"),
                    QStringLiteral("from whipper.image import table\nt=table.Table()\n"
                                   "for i,(s,a,n) in enumerate([(0,1,1),(900,1,1),(13000,0,2)]):\n"
                                   "  tr=table.Track(i+1,audio=bool(a),session=n); "
                                   "tr.index(1,absolute=s,relative=0); t.tracks.append(tr)\n"
                                   "t.leadout=16000\nprint(t.accuraterip_path())")});
    if (oracle.ExitCode != 0)
        GTEST_SKIP() << "whipper not installed";
    EXPECT_EQ(AccurateRipPath(disc.Ids),
              QStringLiteral("/accuraterip/") + QString::fromUtf8(oracle.Out).trimmed());
}

} // namespace
