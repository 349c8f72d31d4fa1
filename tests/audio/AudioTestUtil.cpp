#include "AudioTestUtil.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

#include <csignal>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "audio/ACSException.h"
#include "support/TestSupport.h"

void TGate::Hold()
{
    std::unique_lock lock(m_);
    held_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return open_; });
}

bool TGate::WaitHeld(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, timeout, [this] { return held_; });
}

void TGate::Open()
{
    std::lock_guard lock(m_);
    open_ = true;
    cv_.notify_all();
}

bool TGate::IsOpen() const
{
    std::lock_guard lock(m_);
    return open_;
}

bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TMemorySource::TMemorySource(Bytes data, int rate, int channels, int bits)
    : data_(std::move(data)), rate_(rate), channels_(channels), bits_(bits)
{
}

TMemorySource::~TMemorySource()
{
    NotifyRemoval();
}

void TMemorySource::Init()
{
    ++initCount;
    if (onInit)
        onInit();
    pos_ = 0;
    delivered_ = 0;
    SetPosition(0);
    SetSize(reportedSize == INT64_MIN ? static_cast<int64_t>(data_.size()) : reportedSize);
    SetBusy(true);
}

void TMemorySource::Flush()
{
    ++flushCount;
    SetBusy(false);
}

int64_t TMemorySource::GetData(void* buffer, int64_t bufferSize)
{
    ++getDataCount;
    if (!Busy())
        throw EACSException("The Stream is not opened");
    if (holdAt >= 0 && delivered_ >= holdAt && !gate.IsOpen())
        gate.Hold();
    if (failAfter >= 0 && delivered_ >= failAfter)
        throw EACSException("source failed");
    if (endless && pos_ == data_.size())
        pos_ = 0;
    const int64_t n =
        std::min<int64_t>({bufferSize, chunk, static_cast<int64_t>(data_.size() - pos_)});
    if (n <= 0)
        return 0;
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    delivered_ += n;
    SetPosition(Position() + n);
    return n;
}

TSinkWatcher::TSinkWatcher(TACSOutput& sink)
{
    std::shared_ptr<State> s = s_;
    sink.SetOnDone([s](TACSOutput*) {
        std::lock_guard lock(s->m);
        ++s->done;
        s->cv.notify_all();
    });
    sink.SetOnThreadException([s](TACSOutput*, const EAppException& e) {
        std::lock_guard lock(s->m);
        ++s->errors;
        s->lastError = e.text();
        s->cv.notify_all();
    });
    sink.SetOnProgress([s](TACSOutput* sender) {
        const int p = sender->Progress();
        std::lock_guard lock(s->m);
        s->progress.push_back(p);
    });
}

bool TSinkWatcher::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(s_->m);
    return s_->cv.wait_for(lock, timeout, [this] { return s_->done + s_->errors > 0; });
}

int TSinkWatcher::doneCount() const
{
    std::lock_guard lock(s_->m);
    return s_->done;
}

int TSinkWatcher::errorCount() const
{
    std::lock_guard lock(s_->m);
    return s_->errors;
}

QString TSinkWatcher::lastError() const
{
    std::lock_guard lock(s_->m);
    return s_->lastError;
}

std::vector<int> TSinkWatcher::progress() const
{
    std::lock_guard lock(s_->m);
    return s_->progress;
}

void TSinkWatcher::Reset()
{
    std::lock_guard lock(s_->m);
    s_->done = s_->errors = 0;
    s_->lastError.clear();
    s_->progress.clear();
}

void RunToEnd(TACSOutput& sink, TSinkWatcher& watcher)
{
    watcher.Reset();
    sink.Run();
    ASSERT_TRUE(watcher.Wait()) << "the job did not end";
}

Bytes ReadAll(TACSInput& source, int64_t request)
{
    Bytes out;
    Bytes buf(static_cast<size_t>(request));
    source.Init();
    for (;;) {
        const int64_t n = source.GetData(buf.data(), request);
        if (n <= 0)
            break;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
    source.Flush();
    return out;
}

QString AudioFixture(const char* name)
{
    return FixturesDir() + QStringLiteral("audio/") + QString::fromUtf8(name);
}

Bytes LoadBytes(const QString& path)
{
    const QByteArray data = ReadWholeFile(path);
    return Bytes(data.begin(), data.end());
}

void SaveBytes(const QString& path, const Bytes& data)
{
    WriteWholeFile(path, QByteArray(reinterpret_cast<const char*>(data.data()),
                                    static_cast<qsizetype>(data.size())));
}

Bytes ToBytes(const std::vector<int16_t>& samples)
{
    Bytes b(samples.size() * 2);
    if (!b.empty())
        std::memcpy(b.data(), samples.data(), b.size());
    return b;
}

std::vector<int16_t> ToSamples(const Bytes& bytes)
{
    std::vector<int16_t> s(bytes.size() / 2);
    if (!s.empty())
        std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

static void Append32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

static void Append16(Bytes& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

TWavBuilder& TWavBuilder::Chunk(const char* id, const Bytes& body)
{
    chunks_.insert(chunks_.end(), id, id + 4);
    Append32(chunks_, static_cast<uint32_t>(body.size()));
    chunks_.insert(chunks_.end(), body.begin(), body.end());
    if (body.size() % 2 != 0)
        chunks_.push_back(0); // RIFF's pad byte
    return *this;
}

Bytes TWavBuilder::Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign,
                       uint16_t bits, const Bytes& extra)
{
    Bytes b;
    Append16(b, tag);
    Append16(b, channels);
    Append32(b, rate);
    Append32(b, rate * blockAlign);
    Append16(b, blockAlign);
    Append16(b, bits);
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

Bytes TWavBuilder::U32(uint32_t v)
{
    Bytes b;
    Append32(b, v);
    return b;
}

Bytes TWavBuilder::Build(const char* riff, const char* wave) const
{
    Bytes b(riff, riff + 4);
    Append32(b, static_cast<uint32_t>(chunks_.size() + 4));
    b.insert(b.end(), wave, wave + 4);
    b.insert(b.end(), chunks_.begin(), chunks_.end());
    return b;
}

std::vector<int16_t> Sine(int frames, int channels, int rate, double amplitude)
{
    const auto width = static_cast<size_t>(channels);
    std::vector<int16_t> s(static_cast<size_t>(frames) * width);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s[static_cast<size_t>(i) * width + static_cast<size_t>(c)] = static_cast<int16_t>(
                std::lround(amplitude * std::sin(2 * M_PI * (440.0 + 220.0 * c) * i / rate)));
    return s;
}

namespace {

int RunProgramTo(const QString& program, const QStringList& args, QByteArray* output)
{
    // fork and exec directly: the sanitizers follow plain fork, while the process helpers of
    // the Qt build (not instrumented) confuse ThreadSanitizer about this thread's stack.
    std::vector<QByteArray> argv8;
    argv8.push_back(QFile::encodeName(program));
    for (const QString& a : args)
        argv8.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : argv8)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (output && pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid < 0) {
        if (output) {
            close(pipeFds[0]);
            close(pipeFds[1]);
        }
        return -1;
    }
    if (pid == 0) {
        const int sink = output ? pipeFds[1] : open("/dev/null", O_WRONLY);
        if (sink >= 0) {
            dup2(sink, 1);
            dup2(sink, 2);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (output) {
        close(pipeFds[1]);
        output->clear();
        char buf[4096];
        for (;;) {
            const ssize_t n = read(pipeFds[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            output->append(buf, n);
        }
        close(pipeFds[0]);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int RunProgram(const QString& program, const QStringList& args)
{
    return RunProgramTo(program, args, nullptr);
}

int RunProgram(const QString& program, const QStringList& args, QByteArray& output)
{
    return RunProgramTo(program, args, &output);
}

bool HaveProgram(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

TFileSizeLimit::TFileSizeLimit(rlim_t bytes)
{
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
}

TFileSizeLimit::~TFileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
}

TSmallDisk::TSmallDisk(const QString& path, int kilobytes) : path_(QFile::encodeName(path))
{
    if (geteuid() != 0 || !QDir().mkpath(path))
        return;
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
    mounted_ =
        mount("tmpfs", path_.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
}

TSmallDisk::~TSmallDisk()
{
    if (mounted_)
        umount2(path_.constData(), MNT_DETACH);
}

Bytes MakeOneInputUnderManyNames(const QString& dir, const char* fixture)
{
    const Bytes original = LoadBytes(AudioFixture(fixture));
    const QString in = dir + QStringLiteral("/in.wav");
    SaveBytes(in, original);
    QDir().mkpath(dir + QStringLiteral("/sub"));
    EXPECT_EQ(link(QFile::encodeName(in).constData(),
                   QFile::encodeName(dir + QStringLiteral("/hard.wav")).constData()),
              0);
    EXPECT_TRUE(QFile::link(in, dir + QStringLiteral("/soft.wav")));
    return original;
}
