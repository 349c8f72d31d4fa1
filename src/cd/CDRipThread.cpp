#include "cd/CDRipThread.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

#include "cd/RipSupport.h"
#include "cd/WavNormalizer.h"
#include "core/AppEvents.h"
#include "core/FileUtil.h"
#include "platform/cdaccess/CdAccess.h"

namespace {

constexpr int32_t kErrorRead = 3;
constexpr int32_t kErrorNotCreated = 5;

/// Opens the output for writing, replacing an existing file, under an exclusive lock so the
/// job sees it in use. A file another job holds locked is not touched.
int CreateLocked(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0)
        return -1;
    if (!LockExclusive(fd) || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TCDRipThread::TCDRipThread(int32_t discTrack, QString outputName)
    : DiscTrack(discTrack), OutputName(std::move(outputName))
{
}

TCDRipThread::~TCDRipThread()
{
    if (thread_.joinable())
        thread_.join();
}

void TCDRipThread::Resume()
{
    if (thread_.joinable() || finished_)
        return;
    options_ = OptionsSetting().CommonOptions;
    thread_ = std::thread([this] {
        try {
            Execute();
        } catch (...) {
            // Nothing may escape a worker; an unexpected failure ends the track as a read error.
            Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, kErrorRead));
        }
        finished_.store(true, std::memory_order_release);
    });
}

void TCDRipThread::Post(std::unique_ptr<QEvent> event)
{
    PostAppEvent(receiver_.data(), std::move(event));
}

void TCDRipThread::Execute()
{
    if (ModifyCDParms(handle_, kCdpMsf, 1) != 1) {
        Post(std::make_unique<RipFailedEvent>(1));
        return;
    }
    TocRecord toc;
    if (ReadTOC(handle_, toc) != 1) {
        Post(std::make_unique<RipFailedEvent>(2));
        return;
    }
    // A track the disc does not have (the disc changed since the list was filled) or a TOC
    // that gives it no sectors is a read error, not a read of whatever lies there.
    const auto span = TrackGeometry(toc, DiscTrack);
    if (!span) {
        Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, kErrorRead));
        return;
    }
    Extract(*span);
}

void TCDRipThread::Extract(const TrackSpan& span)
{
    // Titles may come from a CDDB server: one that is no plain file name fails the track
    // rather than writing anywhere but the output folder.
    if (options_.OutputFolder.isEmpty() || !IsValidTrackFileName(OutputName)) {
        Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, kErrorNotCreated));
        return;
    }
    const QString path = RipOutputPath(options_.OutputFolder, OutputName);
    const int fd = CreateLocked(QFile::encodeName(path));
    if (fd < 0) {
        Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, kErrorNotCreated));
        return;
    }
    const auto provisional = MakeRipWavHeader(0);
    bool failed = !WriteAllBytes(fd, provisional.data(), provisional.size());
    const auto start = std::chrono::steady_clock::now();
    const int64_t length = span.LengthSectors;
    int64_t done = 0;
    uint64_t audioBytes = 0;
    while (!failed && done < length) {
        const auto n = uint32_t(std::min<int64_t>(kSectorsPerRead, length - done));
        auto buffer = AudioReadBuffer::Make(uint32_t(span.StartSector + done), n);
        if (ReadCDAudioLBA(handle_, buffer) == 1 && buffer.Offset <= buffer.Data.size() &&
            buffer.BytesReturned <= buffer.Data.size() - buffer.Offset) {
            failed = !WriteAllBytes(fd, buffer.Data.data() + buffer.Offset, buffer.BytesReturned);
            audioBytes += buffer.BytesReturned;
        } else {
            failed = true;
        }
        done += n;
        Post(MakeProgressRecord(done, length, start));
        if (StopRequested.load(std::memory_order_acquire))
            break;
    }
    if (!failed) {
        // The header now tells the size of what was written, also after a stop.
        const auto header = MakeRipWavHeader(uint32_t(audioBytes));
        failed = ::lseek(fd, 0, SEEK_SET) != 0 || !WriteAllBytes(fd, header.data(), header.size());
    }
    failed = (::close(fd) != 0) || failed;
    if (failed) {
        // What was read stays on disk behind the provisional header.
        Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, kErrorRead));
        return;
    }
    if (StopRequested.load(std::memory_order_acquire))
        return;
    if (options_.IsNormalize) {
        Post(MakeJobProgress(JobCode::NormalizeStarts));
        const auto normStart = std::chrono::steady_clock::now();
        const bool ok = NormalizeWavFile(path, options_.NormalizePercent, [&](int64_t position, int64_t size) {
            Post(MakeProgressRecord(position, size, normStart));
        });
        if (!ok) {
            Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, kErrorRead));
            return;
        }
    }
    Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, 0));
}
