#include <atomic>
#include <cerrno>
#include <cmath>

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "cd/RipSupport.h"
#include "cd/WavNormalizer.h"
#include "core/AppEvents.h"
#include "support/TestSupport.h"

namespace {

QByteArray Samples(std::initializer_list<int16_t> values)
{
    QByteArray out;
    for (int16_t v : values) {
        out.append(char(uint16_t(v) & 0xff));
        out.append(char(uint16_t(v) >> 8));
    }
    return out;
}

int16_t SampleAt(const QByteArray& data, qsizetype offset)
{
    return int16_t(uint16_t(uint8_t(data[offset])) | uint16_t(uint8_t(data[offset + 1])) << 8);
}

QByteArray Scaled(std::initializer_list<int16_t> values, int percent)
{
    QByteArray data = Samples(values);
    ScaleSamples(reinterpret_cast<uint8_t*>(data.data()), size_t(data.size()),
                 float(percent) / 100.0f);
    return data;
}

TEST(ScaleSamples, RoundsHalvesToEvenAndHoldsTheLimits)
{
    const std::initializer_list<int16_t> edge = {-3, 3, -1, 1, 5, 7, -32768, 32767, 0};
    EXPECT_EQ(Scaled(edge, 100), Samples(edge));
    EXPECT_EQ(Scaled(edge, 50), Samples({-2, 2, 0, 0, 2, 4, -16384, 16384, 0}));
    EXPECT_EQ(Scaled({20000, -20000, 100}, 200), Samples({32767, -32768, 200}));
    EXPECT_EQ(Scaled({32767, -32768}, -100), Samples({-32767, 32767}));

    // The default 95 percent: the float gain's exact product, rounded half to even.
    QByteArray all;
    for (int v = -32768; v <= 32767; v += 7)
        all += Samples({int16_t(v)});
    QByteArray scaled = all;
    ScaleSamples(reinterpret_cast<uint8_t*>(scaled.data()), size_t(scaled.size()), 0.95f);
    for (qsizetype i = 0; i < all.size(); i += 2) {
        const double exact = double(SampleAt(all, i)) * double(0.95f);
        ASSERT_EQ(SampleAt(scaled, i), int16_t(std::nearbyint(exact))) << SampleAt(all, i);
    }

    // An odd last byte is no sample.
    QByteArray odd = Samples({1000}) + QByteArray(1, char(0x7f));
    ScaleSamples(reinterpret_cast<uint8_t*>(odd.data()), size_t(odd.size()), 0.5f);
    EXPECT_EQ(odd, Samples({500}) + QByteArray(1, char(0x7f)));
}

class NormalizeFile : public ::testing::Test {
protected:
    QString Wav() const { return dir_.path() + QStringLiteral("/Track 01.wav"); }
    QString Nor() const { return dir_.path() + QStringLiteral("/Track 01.nor"); }
    QTemporaryDir dir_;
};

TEST_F(NormalizeFile, CopiesTheHeaderScalesTheRestAndReplacesTheWav)
{
    // A header that is not even a valid one: it must come through byte for byte.
    QByteArray header(44, '\0');
    for (int i = 0; i < 44; ++i)
        header[i] = char(i * 37 + 1);
    QByteArray audio;
    for (int i = 0; i < 3000; ++i)
        audio += Samples({int16_t(i * 11 - 16000), int16_t(3 - i)});
    audio += QByteArray(1, char(0x55));
    WriteWholeFile(Wav(), header + audio);

    std::vector<std::pair<int64_t, int64_t>> calls;
    ASSERT_TRUE(NormalizeWavFile(
        Wav(), 50, [&](int64_t pos, int64_t size) { calls.emplace_back(pos, size); }));
    const QByteArray result = ReadWholeFile(Wav());
    ASSERT_EQ(result.size(), header.size() + audio.size());
    EXPECT_EQ(result.left(44), header);
    QByteArray expected = audio;
    ScaleSamples(reinterpret_cast<uint8_t*>(expected.data()), size_t(expected.size()), 0.5f);
    EXPECT_EQ(result.mid(44), expected);
    EXPECT_EQ(SampleAt(result, 44), int16_t(-8000));
    EXPECT_FALSE(QFile::exists(Nor()));

    // Before every 2048-byte block, and once more before the read that finds the end.
    const int64_t total = 44 + audio.size();
    ASSERT_EQ(calls.size(), size_t((audio.size() + 2047) / 2048 + 1));
    EXPECT_EQ(calls.front(), std::make_pair(int64_t(44), total));
    EXPECT_EQ(calls[1].first, 44 + 2048);
    EXPECT_EQ(calls.back(), std::make_pair(total, total));

    // 100 percent changes nothing.
    ASSERT_TRUE(NormalizeWavFile(Wav(), 100));
    EXPECT_EQ(ReadWholeFile(Wav()), result);
}

TEST_F(NormalizeFile, FailureLeavesTheWavAsItWas)
{
    EXPECT_FALSE(NormalizeWavFile(Wav(), 50)) << "no such file";
    EXPECT_FALSE(QFile::exists(Nor()));

    const QByteArray original = QByteArray(44, 'h') + Samples({1000, -1000, 3});
    WriteWholeFile(Wav(), original);
    ASSERT_TRUE(QDir().mkdir(Nor())); // the twin cannot be created
    EXPECT_FALSE(NormalizeWavFile(Wav(), 50));
    EXPECT_EQ(ReadWholeFile(Wav()), original);
    ASSERT_TRUE(QDir().rmdir(Nor()));

    // A twin left over from an earlier crash is replaced, not appended to.
    WriteWholeFile(Nor(), QByteArray(100000, 'x'));
    ASSERT_TRUE(NormalizeWavFile(Wav(), 50));
    EXPECT_EQ(ReadWholeFile(Wav()), QByteArray(44, 'h') + Samples({500, -500, 2}));
    EXPECT_FALSE(QFile::exists(Nor()));
}

TEST_F(NormalizeFile, AStopHalfwayLeavesTheWavAsItWasAndNoTwin)
{
    QByteArray audio;
    for (int i = 0; i < 10 * 512; ++i)
        audio += Samples({int16_t(i), int16_t(-i)});
    const QByteArray original = QByteArray(44, 'h') + audio;
    WriteWholeFile(Wav(), original);
    std::atomic<bool> stop{false};
    int error = 0;
    EXPECT_FALSE(NormalizeWavFile(
        Wav(), 50, [&](int64_t pos, int64_t size) { stop = stop || pos > size / 2; }, &error,
        &stop));
    EXPECT_EQ(error, ECANCELED);
    EXPECT_EQ(ReadWholeFile(Wav()), original);
    EXPECT_FALSE(QFile::exists(Nor()));
}

TEST(RipSupport, HeaderAndProgress)
{
    const auto h = MakeRipWavHeader(23 * 2352);
    const QByteArray header(reinterpret_cast<const char*>(h.data()), int(h.size()));
    const QByteArray expected = QByteArray("RIFF") + QByteArray::fromHex("74d30000") + "WAVEfmt " +
                                QByteArray::fromHex("10000000"
                                                    "0100"
                                                    "0200"
                                                    "44ac0000"
                                                    "10b10200"
                                                    "0400"
                                                    "1000") +
                                "data" + QByteArray::fromHex("50d30000");
    EXPECT_EQ(header, expected);

    auto info = [](std::unique_ptr<QEvent> e) { return *static_cast<JobProgressEvent&>(*e).Info; };
    const auto now = std::chrono::steady_clock::now();
    TProcessInfo p = info(MakeProgressRecord(0, 23, now - std::chrono::seconds(5)));
    EXPECT_EQ(p.Percent, 0);
    EXPECT_TRUE(p.ElapsedText.isEmpty() && p.TotalText.isEmpty());
    p = info(MakeProgressRecord(10, 23, now - std::chrono::milliseconds(30400)));
    EXPECT_EQ(p.Percent, 43);
    EXPECT_EQ(p.ElapsedText, QStringLiteral("00:30"));
    EXPECT_EQ(p.TotalText, QStringLiteral("01:10")); // 30 x 100 / 43 = 69.8
    p = info(MakeProgressRecord(1, 3, now - std::chrono::seconds(6100)));
    EXPECT_EQ(p.Percent, 33);
    EXPECT_EQ(p.ElapsedText, QStringLiteral("101:40"));
    EXPECT_EQ(p.TotalText, QStringLiteral("308:05"));
}

} // namespace
