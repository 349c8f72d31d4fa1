// CD playback through the real device and a real PulseAudio server (run inside
// tests/support/pulse-session.sh): what the null sink plays is recorded with parecord from the
// session's "platterly_rec" source and compared with the disc image's samples.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/CDPlayer.h"
#include "app/MainController.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaudio/DigitalCdAudio.h"
#include "platform/process/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

constexpr int64_t kRate = 44100;
constexpr int64_t kFramesPerSector = 588;

/// parecord on the recording source, read as it arrives: frames are 16-bit stereo.
class Recorder {
public:
    ~Recorder() { Stop(); }

    bool Start()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        const int rc = child_.Spawn({"parecord", "--raw", "--format=s16le", "--rate=44100",
                                     "--channels=2", "--latency-msec=20", "--device=platterly_rec"},
                                    null, fds[1], null);
        ::close(fds[1]);
        ::close(null);
        if (rc != 0) {
            ::close(fds[0]);
            return false;
        }
        readFd_ = fds[0];
        reader_ = std::thread([this] { Read(); });
        return true;
    }

    /// Ends the recording (parecord flushes on SIGINT) and waits for the last bytes.
    void Stop()
    {
        if (!child_.Started() || child_.Reaped())
            return;
        child_.Signal(SIGINT);
        child_.Reap();
        if (reader_.joinable())
            reader_.join();
        ::close(readFd_);
    }

    int64_t Frames() const
    {
        std::lock_guard lock(mutex_);
        return static_cast<int64_t>(bytes_.size() / 4);
    }
    std::vector<int16_t> Samples() const
    {
        std::lock_guard lock(mutex_);
        std::vector<int16_t> s(bytes_.size() / 4 * 2);
        std::memcpy(s.data(), bytes_.data(), s.size() * 2);
        return s;
    }

private:
    void Read()
    {
        char chunk[8192];
        for (;;) {
            const ssize_t n = ::read(readFd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            std::lock_guard lock(mutex_);
            bytes_.insert(bytes_.end(), chunk, chunk + n);
        }
    }

    TChildProcess child_;
    int readFd_ = -1;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<char> bytes_;
};

bool Silent(const std::vector<int16_t>& s, int64_t frame)
{
    return s[size_t(frame * 2)] == 0 && s[size_t(frame * 2 + 1)] == 0;
}

int64_t FirstSound(const std::vector<int16_t>& s, int64_t from)
{
    for (int64_t f = std::max<int64_t>(from, 0); f < int64_t(s.size() / 2); ++f) {
        if (!Silent(s, f))
            return f;
    }
    return -1;
}

int64_t LastSound(const std::vector<int16_t>& s)
{
    for (int64_t f = int64_t(s.size() / 2) - 1; f >= 0; --f) {
        if (!Silent(s, f))
            return f;
    }
    return -1;
}

/// Normalised correlation of `frames` frames of a from frame fa and b from frame fb.
double Correlation(const std::vector<int16_t>& a, int64_t fa, const std::vector<int16_t>& b,
                   int64_t fb, int64_t frames)
{
    if (fa < 0 || fb < 0 || (fa + frames) * 2 > int64_t(a.size()) ||
        (fb + frames) * 2 > int64_t(b.size()))
        return 0;
    double ab = 0, aa = 0, bb = 0;
    for (int64_t i = 0; i < frames * 2; ++i) {
        const double x = a[size_t(fa * 2 + i)], y = b[size_t(fb * 2 + i)];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

/// The frame of `b` within [centre - range, centre + range] that best matches `frames` frames
/// of `a` from fa.
int64_t Align(const std::vector<int16_t>& a, int64_t fa, const std::vector<int16_t>& b,
              int64_t centre, int64_t range, int64_t frames)
{
    int64_t best = -1;
    double bestC = -2;
    for (int64_t f = std::max<int64_t>(0, centre - range); f <= centre + range; ++f) {
        const double c = Correlation(a, fa, b, f, frames);
        if (c > bestC) {
            bestC = c;
            best = f;
        }
    }
    return best;
}

class PulsePlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        // Track 1: 6 s, track 2: 2 s, track 3: 1 s.
        MakeProgramDisc(dir, "Tones", {450, 150, 75});
        const QByteArray bin = ReadWholeFile(dir.File(QStringLiteral("discs/Tones.bin")));
        image.resize(size_t(bin.size() / 2));
        std::memcpy(image.data(), bin.constData(), image.size() * 2);
        controller.Create();
        controller.Show();
        ASSERT_NE(controller.CDHandle(), 0);
        ASSERT_EQ(controller.Tracks().Count(), 3);
        device = dynamic_cast<TDigitalCdAudio*>(&player.MediaPlayer1().Device());
        ASSERT_NE(device, nullptr) << "the real device plays here";
        ASSERT_TRUE(recorder.Start());
        // The recording runs (silence) before anything plays.
        ASSERT_TRUE(WaitUntil([&] { return recorder.Frames() > kRate / 10; }));
    }
    void TearDown() override
    {
        recorder.Stop();
        controller.Close(); // releases the window's handle; a repeated run would run out
        ResetOptionsSetting();
    }

    /// Waits until the recording holds `frames` more frames than now.
    bool RecordMore(int64_t frames)
    {
        const int64_t until = recorder.Frames() + frames;
        return WaitUntil([&] { return recorder.Frames() >= until; });
    }
    /// Waits until `frames` frames of sound were recorded after frame `from`.
    bool HearAfter(int64_t from, int64_t frames)
    {
        return WaitUntil([&] {
            const auto s = recorder.Samples();
            const int64_t first = FirstSound(s, from);
            return first >= 0 && int64_t(s.size() / 2) - first >= frames;
        });
    }
    static int64_t TrackFrame(int track)
    {
        const int64_t starts[] = {0, 450, 600, 675};
        return starts[track - 1] * kFramesPerSector;
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TMainController controller;
    TCDPlayer player{controller};
    TDigitalCdAudio* device = nullptr;
    Recorder recorder;
    std::vector<int16_t> image;
};

} // namespace

TEST_F(PulsePlayback, PlaysExactlyTheSelectedTrackThenRestoresTheStatus)
{
    player.aPlayExecute(1);
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Play Track02"));
    ASSERT_TRUE(WaitUntil([&] { return !controller.CDPlaying; }, std::chrono::seconds(20)));
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Image Tones"));
    EXPECT_EQ(device->Mode(), TCdAudioMode::NotOpen);
    ASSERT_TRUE(RecordMore(kRate / 2));
    recorder.Stop();

    const auto rec = recorder.Samples();
    const int64_t first = FirstSound(rec, 0);
    ASSERT_GE(first, 0) << "nothing was heard";
    const int64_t length = 150 * kFramesPerSector;
    const int64_t start = Align(image, TrackFrame(2), rec, first, kRate / 20, kRate / 10);
    // All of track 2, to its last frames, and nothing of track 3 after it.
    EXPECT_GT(Correlation(image, TrackFrame(2), rec, start, length), 0.99);
    EXPECT_GT(Correlation(image, TrackFrame(3) - kRate / 20, rec, start + length - kRate / 20,
                          kRate / 20),
              0.95);
    EXPECT_LE(LastSound(rec), start + length + 10) << "playback ran past the start of track 3";
    EXPECT_GE(LastSound(rec), start + length - 10) << "the end of the track was cut";
    std::cout << "[figure] Play to first frame handed to the sink: "
              << double(device->LastFirstFrameDelay().count()) / 1e6 << " ms\n";
    EXPECT_LT(device->LastFirstFrameDelay(), std::chrono::milliseconds(1500));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(PulsePlayback, PauseResumesWhereItStoppedAndFallsSilentAtOnce)
{
    QElapsedTimer wall;
    wall.start();
    player.aPlayExecute(0);
    ASSERT_TRUE(HearAfter(0, kRate / 2));

    // CPU while playing: the whole process over two seconds in which the test itself only waits
    // in the event loop (a measuring window, not a wait for a state).
    const auto cpuMs = [] {
        rusage r{};
        getrusage(RUSAGE_SELF, &r);
        return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000.0 +
               double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000.0;
    };
    const double cpuBefore = cpuMs();
    QElapsedTimer window;
    window.start();
    {
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double processShare = (cpuMs() - cpuBefore) / double(window.elapsed()) * 100.0;
    ASSERT_TRUE(controller.CDPlaying);

    const int64_t atPause = recorder.Frames();
    player.aPauseExecute();
    ASSERT_TRUE(RecordMore(kRate / 2));
    auto rec = recorder.Samples();
    const int64_t lastBeforePause = LastSound(rec);
    const double pauseMs = double(std::max<int64_t>(0, lastBeforePause - atPause)) * 1000.0 / kRate;
    // Where in the track the pause fell.
    const int64_t start =
        Align(image, TrackFrame(1), rec, FirstSound(rec, 0), kRate / 20, kRate / 10);
    const int64_t pausedAt = lastBeforePause + 1 - start;
    ASSERT_GT(pausedAt, 2 * kRate);

    player.aPlayExecute(0);
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Play Track01"));
    ASSERT_TRUE(HearAfter(lastBeforePause + kRate / 4, kRate / 2));
    rec = recorder.Samples();
    const int64_t resumed = FirstSound(rec, lastBeforePause + kRate / 4);
    // The resumed sound is the track's continuation at the paused point.
    const int64_t matchedAt =
        Align(rec, resumed, image, TrackFrame(1) + pausedAt, kRate / 10, kRate / 10) -
        TrackFrame(1);
    EXPECT_NEAR(double(matchedAt), double(pausedAt), double(kRate) / 20)
        << "resumed elsewhere in the track";

    const int64_t atStop = recorder.Frames();
    player.aStopExecute();
    const qint64 playedMs = wall.elapsed();
    EXPECT_FALSE(controller.CDPlaying);
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Image Tones"));
    ASSERT_TRUE(RecordMore(kRate / 2));
    rec = recorder.Samples();
    const double stopMs = double(std::max<int64_t>(0, LastSound(rec) - atStop)) * 1000.0 / kRate;

    const double workerShare =
        double(device->LastPlayCpuTime().count()) / 1e6 / double(playedMs) * 100.0;
    std::cout << "[figure] Pause to silence: " << pauseMs
              << " ms (upper bound: recorder latency included)\n"
              << "[figure] Stop to silence: " << stopMs << " ms (upper bound)\n"
              << "[figure] CPU while playing: play thread " << workerShare << " % of one core over "
              << playedMs << " ms; whole process " << processShare
              << " % (sound server client and the"
              << " test's recorder reader included)\n";
    EXPECT_LT(pauseMs, 1000.0);
    EXPECT_LT(stopMs, 1000.0);
    EXPECT_LT(workerShare, 30.0) << "the play thread does not sleep while the sink is full";
    EXPECT_LT(processShare, 50.0);
}

TEST_F(PulsePlayback, PlayAnotherTrackWhilePlayingSupersedesTheFirst)
{
    player.aPlayExecute(0);
    ASSERT_TRUE(HearAfter(0, kRate / 2));
    const int64_t switchAt = recorder.Frames();
    player.aPlayExecute(2); // the last row: to the end of the disc
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Play Track03"));
    ASSERT_TRUE(WaitUntil([&] { return !controller.CDPlaying; }, std::chrono::seconds(20)));
    ASSERT_TRUE(RecordMore(kRate / 2));
    recorder.Stop();
    const auto rec = recorder.Samples();
    const int64_t length = 75 * kFramesPerSector;
    const int64_t last = LastSound(rec);
    ASSERT_GT(last, switchAt);
    // The recording ends with all of track 3.
    const int64_t start =
        Align(image, TrackFrame(3), rec, last + 1 - length, kRate / 10, kRate / 10);
    EXPECT_GT(Correlation(image, TrackFrame(3), rec, start, length), 0.99);
}

TEST_F(PulsePlayback, ImageVanishingMidPlayEndsThePlayCleanly)
{
    player.aPlayExecute(0);
    ASSERT_TRUE(HearAfter(0, kRate / 4));
    const int own = device->OwnHandle();
    ASSERT_NE(own, 0);
    ASSERT_TRUE(QFile::remove(dir.File(QStringLiteral("discs/Tones.bin"))));
    ASSERT_TRUE(WaitUntil([&] { return !controller.CDPlaying; }, std::chrono::seconds(20)));
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Image Tones"));
    EXPECT_EQ(device->Mode(), TCdAudioMode::NotOpen);
    TocRecord toc;
    EXPECT_EQ(ReadTOC(own, toc), 0) << "the device's handle was left open";
    EXPECT_TRUE(boxes.Shown().empty());
}
