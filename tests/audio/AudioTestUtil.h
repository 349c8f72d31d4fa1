#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "audio/ACSInput.h"
#include "audio/ACSOutput.h"

using Bytes = std::vector<uint8_t>;

/// Holds a worker at a known point: the held thread calls Hold, which returns once the test
/// has called Open; the test waits for the hold with WaitHeld. Opens only once.
class TGate {
public:
    void Hold();
    /// False when nothing reached the gate in time.
    bool WaitHeld(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void Open();
    bool IsOpen() const;

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool held_ = false;
    bool open_ = false;
};

/// Waits until pred() holds, checking every millisecond; false when the time runs out.
bool WaitFor(const std::function<bool()>& pred,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));

/// A source over bytes in memory with a chosen format. Size is the byte count unless
/// reportedSize is set (e.g. -1 for unknown); chunk limits each GetData; failAfter raises
/// EACSException once that many bytes have been delivered; holdAt makes GetData wait at gate
/// once that many bytes have been delivered; endless starts over at the end of the data.
class TMemorySource : public TACSInput {
public:
    TMemorySource(Bytes data, int rate, int channels, int bits);
    ~TMemorySource() override;

    int BitsPerSample() override { return bits_; }
    int Channels() override { return channels_; }
    int SampleRate() override { return rate_; }
    int64_t GetData(void* buffer, int64_t bufferSize) override;
    void Init() override;
    void Flush() override;

    int64_t reportedSize = INT64_MIN; // INT64_MIN: the data's length
    int64_t chunk = INT64_MAX;
    int64_t failAfter = -1;
    int64_t holdAt = -1;
    TGate gate;
    bool endless = false;
    std::function<void()> onInit; // runs inside Init (e.g. to raise)
    std::atomic<int> initCount{0};
    std::atomic<int> flushCount{0};
    std::atomic<int> getDataCount{0};

private:
    Bytes data_;
    size_t pos_ = 0;
    int64_t delivered_ = 0;
    int rate_, channels_, bits_;
};

/// Waits for a sink's OnDone or OnThreadException. The handlers share their state with the
/// watcher, so an event that arrives after the watcher is gone is harmless.
class TSinkWatcher {
public:
    explicit TSinkWatcher(TACSOutput& sink);
    /// Waits for the end of a job; false on timeout.
    bool Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    int doneCount() const;
    int errorCount() const;
    QString lastError() const;
    std::vector<int> progress() const;
    void Reset();

private:
    struct State {
        std::mutex m;
        std::condition_variable cv;
        int done = 0;
        int errors = 0;
        QString lastError;
        std::vector<int> progress;
    };
    std::shared_ptr<State> s_ = std::make_shared<State>();
};

/// Runs a sink to the end of its job; fails the test on timeout.
void RunToEnd(TACSOutput& sink, TSinkWatcher& watcher);

/// Init, GetData in requests of `request` bytes until 0, Flush.
Bytes ReadAll(TACSInput& source, int64_t request = 4096);

QString AudioFixture(const char* name);
Bytes LoadBytes(const QString& path);
void SaveBytes(const QString& path, const Bytes& data);

/// Names in one folder that all reach the same input file "in.wav": itself, a path through
/// "..", a hard link and a symbolic link.
inline constexpr const char* kOneInputNames[] = {"in.wav", "sub/../in.wav", "hard.wav", "soft.wav"};

/// Writes the fixture as dir/in.wav with every name of kOneInputNames; returns its bytes.
Bytes MakeOneInputUnderManyNames(const QString& dir, const char* fixture);

/// Interleaved 16-bit samples as bytes and back.
Bytes ToBytes(const std::vector<int16_t>& samples);
std::vector<int16_t> ToSamples(const Bytes& bytes);

/// A RIFF WAVE file assembled from chunks (odd ones followed by their pad byte), for headers no
/// tool writes.
class TWavBuilder {
public:
    TWavBuilder& Chunk(const char* id, const Bytes& body);
    /// A "fmt " body: tag, channels, rate, block align, bits, then extra bytes.
    static Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign,
                     uint16_t bits, const Bytes& extra = {});
    static Bytes U32(uint32_t v);
    Bytes Build(const char* riff = "RIFF", const char* wave = "WAVE") const;

private:
    Bytes chunks_;
};

/// Sine samples, interleaved over channels (each channel a different frequency).
std::vector<int16_t> Sine(int frames, int channels, int rate, double amplitude = 12000.0);

/// Runs a program with arguments (output discarded); returns its exit code, -1 when it could
/// not run or was killed.
int RunProgram(const QString& program, const QStringList& args);
/// The same, with what the program wrote to stdout and stderr in output.
int RunProgram(const QString& program, const QStringList& args, QByteArray& output);
bool HaveProgram(const QString& program);

/// Lowers this process's file size limit for its lifetime, with SIGXFSZ ignored, so writes past
/// the limit fail with EFBIG as they would on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes);
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

/// A small tmpfs mounted at path (root only), unmounted again at the end.
class TSmallDisk {
public:
    TSmallDisk(const QString& path, int kilobytes);
    ~TSmallDisk();
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;
    bool mounted() const { return mounted_; }

private:
    QByteArray path_;
    bool mounted_ = false;
};
