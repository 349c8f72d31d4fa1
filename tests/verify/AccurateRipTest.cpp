// AccurateRip checksums and ids against an independent implementation (the accuraterip-checksum
// program and whipper's disc table), and the dBAR parser on good and damaged answers.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "encoders/EncoderTestSupport.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"
#include "verify/AccurateRip.h"
#include "verify/AccurateRipLookup.h"

namespace {

QByteArray Noise(int64_t frames, uint32_t seed)
{
    QByteArray pcm(static_cast<qsizetype>(frames * 4), Qt::Uninitialized);
    for (auto& b : pcm) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<char>(seed >> 24);
    }
    return pcm;
}

QByteArray WavOf(const QByteArray& pcm)
{
    const auto le = [](uint32_t v, int n) {
        QByteArray b;
        for (int i = 0; i < n; ++i)
            b += static_cast<char>(v >> (8 * i));
        return b;
    };
    const auto size = static_cast<uint32_t>(pcm.size());
    return "RIFF" + le(size + 36, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) +
           le(44100 * 4, 4) + le(4, 2) + le(16, 2) + "data" + le(size, 4) + pcm;
}

/// Runs a program and returns its standard output (empty when it failed).
QString Output(const QString& program, const QStringList& args)
{
    const ProgramResult r = RunProgram(program, args);
    return r.ExitCode == 0 ? QString::fromUtf8(r.Out).trimmed() : QString();
}

TEST(AccurateRipTest, ChecksumsMatchTheReferenceProgram)
{
    if (Output(QStringLiteral("which"), {QStringLiteral("accuraterip-checksum")}).isEmpty())
        GTEST_SKIP() << "accuraterip-checksum (whipper) not installed";
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("t.wav"));
    const int64_t frames = kSectorFrames * 40 + 17; // not a whole number of sectors
    const QByteArray pcm = Noise(frames, 7);
    QFile f(wav);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(WavOf(pcm));
    f.close();
    const uint32_t crc = Output(QStringLiteral("/usr/bin/python3"),
                                {QStringLiteral("-c"),
                                 QStringLiteral("import sys,zlib; d=open(sys.argv[1],'rb').read()"
                                                "[44:]; print(zlib.crc32(d))"),
                                 wav})
                             .toUInt();
    struct Case {
        int track, total;
    };
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.constData());
    const auto size = static_cast<size_t>(pcm.size());
    // Fed in blocks: of odd sizes, where a frame split across two calls must count once; all in
    // one call, which is summed in pieces; and copied as the extraction gathers its blocks
    // (ten sectors), where the copy and the sums are one pass where the processor allows.
    struct Feed {
        size_t step;
        bool copy;
    };
    const Feed feeds[] = {{4099, false}, {size, false}, {23520, true}, {4099, true}};
    for (const Case c : {Case{1, 3}, Case{2, 3}, Case{3, 3}, Case{1, 1}}) {
        const QStringList args{wav, QString::number(c.track), QString::number(c.total)};
        const QString v1 = Output(QStringLiteral("accuraterip-checksum"),
                                  QStringList{QStringLiteral("--accuraterip-v1")} + args);
        const QString v2 = Output(QStringLiteral("accuraterip-checksum"),
                                  QStringList{QStringLiteral("--accuraterip-v2")} + args);
        for (const Feed& feed : feeds) {
            TTrackChecksums sums(frames, c.track == 1, c.track == c.total);
            std::vector<uint8_t> copy(size);
            for (size_t pos = 0; pos < size; pos += feed.step) {
                const size_t n = std::min(feed.step, size - pos);
                if (feed.copy)
                    sums.AddCopy(copy.data() + pos, bytes + pos, n);
                else
                    sums.Add(bytes + pos, n);
            }
            const std::string where = QStringLiteral("track %1 of %2, blocks of %3%4")
                                          .arg(c.track)
                                          .arg(c.total)
                                          .arg(feed.step)
                                          .arg(feed.copy ? QStringLiteral(", copied") : QString())
                                          .toStdString();
            EXPECT_EQ(QStringLiteral("%1").arg(sums.V1(), 8, 16, QLatin1Char('0')).toUpper(), v1)
                << "v1, " << where;
            EXPECT_EQ(QStringLiteral("%1").arg(sums.V2(), 8, 16, QLatin1Char('0')).toUpper(), v2)
                << "v2, " << where;
            EXPECT_EQ(sums.CopyCrc(), crc) << where;
            if (feed.copy) {
                EXPECT_TRUE(std::equal(copy.begin(), copy.end(), bytes)) << where;
            }
        }
    }

    // Three sectors: all of it lies in the skipped parts of a first or last track.
    TTrackChecksums tiny(3 * kSectorFrames, true, false);
    EXPECT_FALSE(tiny.HasAccurateRip());
    EXPECT_TRUE(TTrackChecksums(3 * kSectorFrames, false, false).HasAccurateRip());
}

TEST(AccurateRipTest, IdsAndPathMatchWhipper)
{
    const std::vector<int64_t> starts{0, 13000, 27000};
    const TAccurateRipIds ids = AccurateRipIdsOf(starts, 40000, 0x1a021503);
    const QString oracle =
        Output(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"),
                QStringLiteral("from whipper.image import table\nt=table.Table()\n"
                               "for i,s in enumerate([0,13000,27000]):\n"
                               "  tr=table.Track(i+1); tr.index(1,absolute=s,relative=0); "
                               "t.tracks.append(tr)\n"
                               "t.leadout=40000\nprint(t.accuraterip_path())")});
    if (oracle.isEmpty())
        GTEST_SKIP() << "whipper not installed";
    EXPECT_EQ(AccurateRipPath(ids), QStringLiteral("/accuraterip/") + oracle);
}

QByteArray Block(uint8_t tracks, const std::vector<std::pair<uint8_t, uint32_t>>& entries)
{
    QByteArray b(1, static_cast<char>(tracks));
    b += QByteArray(12, '\x11');
    for (auto [confidence, crc] : entries) {
        b += static_cast<char>(confidence);
        for (int i = 0; i < 4; ++i)
            b += static_cast<char>(crc >> (8 * i));
        b += QByteArray(4, '\0');
    }
    return b;
}

TEST(AccurateRipTest, DbarAnswersGoodAndDamaged)
{
    const QByteArray two = Block(2, {{5, 0xaaaa}, {7, 0xbbbb}}) + Block(2, {{12, 0xcccc}, {3, 0}});
    const auto blocks = ParseDbar(two);
    ASSERT_TRUE(blocks.has_value());
    ASSERT_EQ(blocks->size(), 2u);
    EXPECT_EQ((*blocks)[1].Tracks[0].Confidence, 12);
    EXPECT_EQ((*blocks)[0].Tracks[1].Crc, 0xbbbbu);

    for (const QByteArray& bad :
         {QByteArray(), two.left(two.size() - 1), Block(0, {}), Block(255, {{1, 1}}),
          two + QByteArray(5, '\0'), Block(255, std::vector<std::pair<uint8_t, uint32_t>>(255))}) {
        QString why;
        EXPECT_FALSE(ParseDbar(bad, &why).has_value()) << bad.size();
        EXPECT_FALSE(why.isEmpty());
    }
}

} // namespace

namespace {

TEST(AccurateRipTest, LookupOfOneDiscAgainstAStandIn)
{
    const TAccurateRipIds ids = AccurateRipIdsOf({0, 13000, 27000}, 40000, 0x1a021503);
    const QByteArray pcm = Noise(13000 * kSectorFrames, 3);
    TTrackChecksums first(13000 * kSectorFrames, true, false);
    first.Add(reinterpret_cast<const uint8_t*>(pcm.constData()), static_cast<size_t>(pcm.size()));
    QByteArray entry(1, 3);
    for (uint32_t id : {ids.Id1, ids.Id2, ids.Cddb})
        for (int i = 0; i < 4; ++i)
            entry += static_cast<char>(id >> (8 * i));
    for (uint32_t crc : {first.V2(), 1u, 2u}) {
        entry += '\x07';
        for (int i = 0; i < 4; ++i)
            entry += static_cast<char>(crc >> (8 * i));
        entry += QByteArray(4, '\0');
    }
    std::atomic<int> status{200}; // read on the server's thread
    TCddbTestServer server([&](const TCddbTestRequest&) {
        TCddbTestAnswer a;
        a.HttpStatus = status;
        a.Body = status == 200 ? entry : QByteArray();
        return a;
    });
    const auto ask = [&] {
        TAccurateRipLookup lookup;
        std::optional<TAccurateRipAnswer> answer;
        lookup.Start(QStringLiteral("http://") + server.Address() + QStringLiteral("/"), ids,
                     [&](const TAccurateRipAnswer& a) { answer = a; });
        EXPECT_TRUE(WaitUntil([&] { return answer.has_value(); }));
        return answer.value_or(TAccurateRipAnswer{});
    };
    TAccurateRipAnswer a = ask();
    EXPECT_EQ(server.Requests().back().Target, AccurateRipPath(ids).toUtf8());
    EXPECT_EQ(a.TrackResult(0, first).Status, TVerifyStatus::Accurate);
    EXPECT_EQ(a.TrackResult(0, first).Confidence, 7);
    EXPECT_EQ(a.TrackResult(1, first).Status, TVerifyStatus::Mismatch);
    status = 404;
    EXPECT_EQ(ask().TrackResult(0, first).Status, TVerifyStatus::NotInDatabase);
    status = 500;
    EXPECT_EQ(ask().TrackResult(0, first).Status, TVerifyStatus::CouldNotVerify);
    EXPECT_EQ(server.Requests().size(), 3u); // one request each, no retries
}

} // namespace
