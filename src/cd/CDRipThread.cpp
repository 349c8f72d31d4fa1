#include "cd/CDRipThread.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cd/ExtractResult.h"
#include "cd/OffsetTrackReader.h"
#include "cd/RipSupport.h"
#include "cd/SectorReader.h"
#include "cd/TrackWriter.h"
#include "cd/WavNormalizer.h"
#include "core/AppEvents.h"
#include "core/FileUtil.h"
#include "platform/cdaccess/CdAccess.h"

namespace {

/// Opens the output for writing, replacing an existing file, under an exclusive lock so the
/// job sees it in use. A file another job holds locked is not touched; a link or a special file
/// in its place is refused, never followed or opened blocking.
int CreateLocked(const QString& path)
{
    const int fd = OpenRegularFile(path, O_WRONLY | O_CREAT);
    if (fd < 0)
        return -1;
    if (!LockExclusive(fd) || !EmptyFile(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// Why the output could not be opened for writing: something not a plain file in its place,
/// a file there that cannot be taken (locked by another, read-only), or no file at all.
int32_t CreateFailure(const QString& path)
{
    if (IsLinkOrSpecialFile(path))
        return ExtractOutcome::NotRegular;
    if (FileExists(path))
        return ExtractOutcome::InUse;
    return ExtractOutcome::NotCreated;
}

/// Gathers the track's bytes in large blocks for the writer. The disc is read 10 sectors at a
/// time; writes of that size land on partial pages, which costs the kernel more than the copy
/// itself. The copy into the block takes the track's checksums in the same pass when asked.
/// Nothing is gathered after the writer failed.
class BlockWriter {
public:
    explicit BlockWriter(TTrackWriter& writer) : writer_(writer), pending_(kBlock) {}

    bool Append(const void* data, size_t size, TTrackChecksums* sums = nullptr)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        while (size > 0 && Error() == 0) {
            const size_t take = std::min(size, kBlock - used_);
            auto* to = reinterpret_cast<uint8_t*>(pending_.data()) + used_;
            if (sums != nullptr)
                sums->AddCopy(to, p, take);
            else
                std::memcpy(to, p, take);
            used_ += take;
            p += take;
            size -= take;
            if (used_ == kBlock)
                Flush();
        }
        return Error() == 0;
    }

    void Flush()
    {
        if (Error() == 0 && used_ > 0) {
            pending_ = writer_.Hand(std::move(pending_), used_);
            // A block handed back keeps its size: growing one would clear its bytes first.
            if (pending_.size() < kBlock)
                pending_.resize(kBlock);
        }
        used_ = 0;
    }

    int Error() const { return writer_.Error(); }

private:
    static constexpr size_t kBlock = size_t{256} * 1024;
    TTrackWriter& writer_;
    std::vector<char> pending_;
    size_t used_ = 0; // bytes of pending_ gathered
};

QString WriteFailure(const QString& path, int error)
{
    return path + QStringLiteral(" could not be written (") + SystemErrorText(error) +
           QStringLiteral(").");
}

} // namespace

TCDRipThread::TCDRipThread(int32_t discTrack, QString outputPath, const TCommonOptions& options,
                           const TCDOptions& cdOptions)
    : DiscTrack(discTrack), OutputPath(std::move(outputPath)), options_(options),
      cdOptions_(cdOptions)
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
    thread_ = std::thread([this] {
        try {
            Execute();
        } catch (...) {
            // Nothing may escape a worker; an unexpected failure ends the track as a read error.
            Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, ExtractOutcome::ReadError));
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
        Post(std::make_unique<RipFailedEvent>(RipFailure::AddressMode));
        return;
    }
    TocRecord toc;
    if (ReadTOC(handle_, toc) != 1) {
        Post(std::make_unique<RipFailedEvent>(RipFailure::TocUnreadable));
        return;
    }
    // A track the disc does not have (the disc changed since the list was filled) or a TOC
    // that gives it no sectors is a read error, not a read of whatever lies there.
    const auto span = TrackGeometry(toc, DiscTrack);
    if (!span) {
        Post(MakeJobProgress(JobCode::ExtractEnded, {}, {}, ExtractOutcome::ReadError));
        return;
    }
    Extract(*span, PlaceOnDisc(toc, DiscTrack));
}

void TCDRipThread::Extract(const TrackSpan& span, const DiscPlace& place)
{
    const int64_t length = span.LengthSectors;
    std::shared_ptr<TExtractResult> result;
    const auto ended = [&](int32_t outcome, const QString& message = {}) {
        auto event = MakeJobProgress(JobCode::ExtractEnded, message, {}, outcome);
        static_cast<JobProgressEvent&>(*event).Info->Result = result;
        Post(std::move(event));
    };
    if (OutputPath.isEmpty()) {
        ended(ExtractOutcome::NotCreated);
        return;
    }
    const std::unique_ptr<ISectorReader> reader = MakeSectorReader(handle_, cdOptions_.Paranoia);
    if (!reader) {
        ended(ExtractOutcome::ReadError);
        return;
    }
    const QString& path = OutputPath;
    const int fd = CreateLocked(path);
    if (fd < 0) {
        ended(CreateFailure(path));
        return;
    }
    result =
        std::make_shared<TExtractResult>(length * kSectorFrames, place.FirstAudio, place.LastAudio);
    TOffsetTrackReader track(*reader, span.StartSector, cdOptions_.ReadOffset, place.EndSector);
    // The checksums are of what was read, which is what is written: normalising changes the
    // file later, but a rip is verified against what the disc holds.
    TTrackWriter writer(fd);
    BlockWriter out(writer);
    const auto provisional = MakeRipWavHeader(0);
    out.Append(provisional.data(), provisional.size());
    bool readFailed = false;
    const auto start = std::chrono::steady_clock::now();
    int64_t done = 0;
    uint64_t audioBytes = 0;
    while (!readFailed && out.Error() == 0 && done < length) {
        const auto n = uint32_t(std::min<int64_t>(kSectorsPerRead, length - done));
        if (const uint8_t* pcm = track.Next(n)) {
            const size_t bytes = size_t{n} * kCdSectorBytes;
            // Summed while copied, on this thread: the writing thread is the busier one, its
            // writes being the kernel's page work.
            if (out.Append(pcm, bytes, checksums_ ? &result->Checksums : nullptr))
                audioBytes += bytes;
        } else {
            readFailed = true;
        }
        done += n;
        Post(MakeProgressRecord(done, length, start));
        if (StopRequested.load(std::memory_order_acquire))
            break;
    }
    // What was read reaches the file also after a read failure or a stop.
    out.Flush();
    writer.Finish();
    int writeError = out.Error();
    if (!readFailed && writeError == 0) {
        // The header now tells the size of what was written, also after a stop.
        const auto header = MakeRipWavHeader(uint32_t(audioBytes));
        if (::lseek(fd, 0, SEEK_SET) != 0)
            writeError = errno;
        else
            writeError = WriteError(fd, header.data(), header.size());
    }
    // A file someone deleted (or whose folder went) while it was written holds nothing any more.
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    if (writeError == 0 && statted && st.st_nlink == 0)
        writeError = ENOENT;
    if (::close(fd) != 0 && writeError == 0)
        writeError = errno;
    // A write that failed (a full disk) leaves a cut file whose header tells no size: it is no
    // copy of the track, so it does not stay under the track's name. Only the file written here
    // goes, not one put in its place meanwhile.
    const QByteArray name = QFile::encodeName(path);
    struct stat now {};
    if (writeError != 0 && statted && ::lstat(name.constData(), &now) == 0 &&
        now.st_dev == st.st_dev && now.st_ino == st.st_ino)
        ::unlink(name.constData());
    result->UncorrectedSectors = reader->Uncorrected();
    result->Complete = !readFailed && writeError == 0 && done == length &&
                       audioBytes == uint64_t(length) * kCdSectorBytes;
    if (writeError != 0) {
        ended(ExtractOutcome::WriteError, WriteFailure(path, writeError));
        return;
    }
    if (readFailed) {
        // What was read stays on disk behind the provisional header.
        ended(ExtractOutcome::ReadError);
        return;
    }
    if (StopRequested.load(std::memory_order_acquire))
        return;
    if (options_.IsNormalize) {
        Post(MakeJobProgress(JobCode::NormalizeStarts));
        const auto normStart = std::chrono::steady_clock::now();
        int normError = 0;
        const bool ok = NormalizeWavFile(
            path, options_.NormalizePercent,
            [&](int64_t position, int64_t size) {
                Post(MakeProgressRecord(position, size, normStart));
            },
            &normError);
        if (!ok) {
            ended(ExtractOutcome::WriteError, NormalizeFailureText(path, normError));
            return;
        }
    }
    ended(ExtractOutcome::Success);
}
