#include "platform/waveaudio/WaveDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/FileUtil.h"

namespace {

QString ErrnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray FolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash >= 0 ? path.left(slash + 1) : QByteArray("./");
}

void SyncFolder(const QByteArray& path)
{
    const int dfd = ::open(FolderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

/// A temporary file beside path: ".name.suffix-XXXXXX", opened read-write.
int MakeTempBeside(const QByteArray& path, const char* suffix, QByteArray& tempPath)
{
    const QByteArray folder = FolderOf(path);
    const QByteArray base = path.mid(folder.size());
    tempPath = folder + '.' + base + '.' + suffix + "-XXXXXX";
    return ::mkostemp(tempPath.data(), O_CLOEXEC);
}

bool PwriteAll(int fd, const char* data, int64_t size, int64_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        offset += n;
        size -= n;
    }
    return true;
}

/// Copies length bytes from in at offset to the current end of out; the kernel copies where
/// it can.
bool CopyRange(int in, int64_t offset, int out, int64_t length)
{
    bool kernel = true;
    std::vector<char> buf;
    while (length > 0) {
        if (kernel) {
            loff_t from = offset;
            const ssize_t n =
                ::copy_file_range(in, &from, out, nullptr,
                                  static_cast<size_t>(std::min<int64_t>(length, 1 << 30)), 0);
            if (n > 0) {
                offset += n;
                length -= n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0) {
                errno = EIO; // the source ended early
                return false;
            }
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                return false;
            kernel = false;
            buf.resize(1 << 20);
        }
        const ssize_t n = ::pread(in, buf.data(),
                                  static_cast<size_t>(std::min<int64_t>(length, 1 << 20)), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        if (!WriteAllBytes(out, buf.data(), static_cast<size_t>(n)))
            return false;
        offset += n;
        length -= n;
    }
    return true;
}

/// The mode a replacement of path gets: the old file's, or the usual one for a new file.
/// False when the old file must not be replaced (not a regular file, or read-only).
bool ReplacementMode(const QByteArray& path, unsigned& mode, QString& error)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
        return true;
    }
    // Root may write anything, so look at the mode as well as at access().
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(path.constData(), W_OK) != 0) {
        error = QStringLiteral("The file is read-only.");
        return false;
    }
    mode = st.st_mode & 07777;
    return true;
}

} // namespace

TSoundFile::TSoundFile(int fd, QByteArray path, bool temporary)
    : fd_(fd), path_(std::move(path)), temporary_(temporary)
{
}

TSoundFile::~TSoundFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (temporary_)
        ::unlink(path_.constData());
}

void TSoundFile::Adopt(const QByteArray& path)
{
    path_ = path;
    temporary_ = false;
    ::flock(fd_, LOCK_UN); // no longer a take that a leftover search must leave alone
}

TTake::TTake(std::shared_ptr<TSoundFile> file, const TWaveFormat& format, int64_t maxBytes)
    : file_(std::move(file)), format_(format),
      maxBytes_(maxBytes - maxBytes % std::max<int64_t>(1, format.BlockAlign()))
{
}

std::unique_ptr<TTake> TTake::Create(const QString& besidePath, const TWaveFormat& format,
                                     int64_t maxBytes, QString& error)
{
    QByteArray temp;
    const int fd = MakeTempBeside(QFile::encodeName(besidePath), "take", temp);
    if (fd < 0) {
        error = QStringLiteral("The recording cannot be stored: ") + ErrnoText(errno);
        return nullptr;
    }
    auto file = std::make_shared<TSoundFile>(fd, temp, true);
    // Held while the take lives: another recorder's search for leftover takes skips it.
    LockExclusive(fd);
    const QByteArray header = BuildWaveHeader(format, 0);
    if (!PwriteAll(fd, header.constData(), header.size(), 0)) {
        error = QStringLiteral("The recording cannot be stored: ") + ErrnoText(errno);
        return nullptr;
    }
    return std::unique_ptr<TTake>(new TTake(std::move(file), format, maxBytes));
}

bool TTake::Append(const char* data, int64_t size, QString& error)
{
    const int64_t have = size_.load(std::memory_order_relaxed);
    const int64_t align = std::max<int64_t>(1, format_.BlockAlign());
    int64_t n = std::min(size, maxBytes_ - have);
    n -= n % align;
    // Write until done or refused (a full disk); whole frames of a part that got through stay.
    int64_t written = 0;
    int failure = 0;
    while (written < n) {
        const ssize_t w = ::pwrite(file_->Fd(), data + written, static_cast<size_t>(n - written),
                                   kWaveHeaderSize + have + written);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            failure = w == 0 ? ENOSPC : errno;
            break;
        }
        written += w;
    }
    written -= written % align;
    const int64_t now = have + written;
    size_.store(now, std::memory_order_release);
    // Start writing back every few megabytes, so the flush at save time has little left to do.
    if (now - flushedTo_ >= (4 << 20)) {
        ::sync_file_range(file_->Fd(), kWaveHeaderSize + flushedTo_, now - flushedTo_,
                          SYNC_FILE_RANGE_WRITE);
        flushedTo_ = now;
    }
    if (failure != 0) {
        error = QStringLiteral("The recording cannot be stored: ") + ErrnoText(failure);
        return false;
    }
    if (n < size) {
        error = QStringLiteral("The recording has reached the largest size a WAV file can hold.");
        return false;
    }
    return true;
}

TSoundPiece TTake::Piece() const
{
    return {file_, kWaveHeaderSize, Size()};
}

namespace {

/// Opens a WAV file of the device's own (a regular file, not through a link) and reads its
/// header; -1 with error set when that fails.
int OpenOwnWave(const QByteArray& path, TWaveFileInfo& info, QString& error)
{
    const int fd =
        ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        error = ErrnoText(errno);
        return -1;
    }
    if (!ParseWaveFile(fd, info, error)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// A take's sound runs to the end of its file; its header was written before any sound was.
void ExtendToFileEnd(int fd, TWaveFileInfo& info)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return;
    const int64_t avail = std::max<int64_t>(0, st.st_size - info.DataOffset);
    info.DataSize = avail - avail % std::max<int64_t>(1, info.Format.BlockAlign());
}

} // namespace

QStringList FindLeftoverTakes(const QString& path)
{
    const QFileInfo fi(path);
    const QString prefix = QLatin1Char('.') + fi.fileName() + QStringLiteral(".take-");
    QDir folder = fi.absoluteDir();
    folder.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    folder.setSorting(QDir::Time | QDir::Reversed);
    QStringList takes;
    for (const QFileInfo& entry : folder.entryInfoList()) {
        const QString name = entry.fileName();
        if (name.size() != prefix.size() + 6 || !name.startsWith(prefix))
            continue;
        const QString take = entry.absoluteFilePath();
        if (!IsLinkOrSpecialFile(take) && !IsFileInUse(take))
            takes << take;
    }
    return takes;
}

bool ReadLeftoverTake(const QString& take, TWaveFileInfo& info, QString& error)
{
    const int fd = OpenOwnWave(QFile::encodeName(take), info, error);
    if (fd < 0)
        return false;
    ExtendToFileEnd(fd, info);
    ::close(fd);
    return true;
}

bool RecoverLeftoverTake(const QString& take, const QString& path, QString& error)
{
    const QByteArray takePath = QFile::encodeName(take);
    const QByteArray target = QFile::encodeName(path);
    TWaveFileInfo sound;
    const int in = OpenOwnWave(takePath, sound, error);
    if (in < 0)
        return false;
    ExtendToFileEnd(in, sound);
    // What the file holds already stays in front of the take.
    TWaveFileInfo before;
    int old = -1;
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0) {
        old = OpenOwnWave(target, before, error);
        if (old < 0) {
            ::close(in);
            return false;
        }
        if (before.DataSize > 0 && !(before.Format == sound.Format)) {
            error = QStringLiteral("The recording there has another format.");
            ::close(old);
            ::close(in);
            return false;
        }
    }
    const int64_t kept = old >= 0 ? before.DataSize : 0;
    unsigned mode = 0;
    QByteArray temp;
    int out = -1;
    bool ok = kept + sound.DataSize <= 0xFFFFFFFFLL - 36;
    if (!ok)
        error = QStringLiteral("The sound is larger than a WAV file can hold.");
    ok = ok && ReplacementMode(target, mode, error);
    if (ok) {
        out = MakeTempBeside(target, "recover", temp);
        const QByteArray header =
            BuildWaveHeader(sound.Format, static_cast<uint32_t>(kept + sound.DataSize));
        ok = out >= 0 &&
             WriteAllBytes(out, header.constData(), static_cast<size_t>(header.size())) &&
             (kept == 0 || CopyRange(old, before.DataOffset, out, kept)) &&
             CopyRange(in, sound.DataOffset, out, sound.DataSize) &&
             ::fchmod(out, static_cast<mode_t>(mode)) == 0 && ::fsync(out) == 0 &&
             ::rename(temp.constData(), target.constData()) == 0;
        if (!ok)
            error = ErrnoText(errno);
    }
    if (out >= 0)
        ::close(out);
    if (old >= 0)
        ::close(old);
    ::close(in);
    if (!ok) {
        if (out >= 0)
            ::unlink(temp.constData());
        return false;
    }
    SyncFolder(target);
    ::unlink(takePath.constData());
    return true;
}

bool TWaveDocument::Load(const QString& path, QString& error)
{
    Clear();
    const QByteArray native = QFile::encodeName(path);
    const int fd =
        ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        error = ErrnoText(errno);
        return false;
    }
    TWaveFileInfo info;
    if (!ParseWaveFile(fd, info, error)) {
        ::close(fd);
        return false;
    }
    // Reads of a regular file never block; later reads need no special flag.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto file = std::make_shared<TSoundFile>(fd, native, false);
    if (info.DataSize > 0)
        pieces_.push_back({file, info.DataOffset, info.DataSize});
    format_ = info.Format;
    path_ = path;
    loaded_ = true;
    dirty_ = false;
    return true;
}

void TWaveDocument::Clear()
{
    pieces_.clear();
    loaded_ = false;
    dirty_ = false;
    path_.clear();
}

int64_t TWaveDocument::Size() const
{
    int64_t total = 0;
    for (const TSoundPiece& p : pieces_)
        total += p.Length;
    return total;
}

int64_t TWaveDocument::Read(int64_t pos, char* buf, int64_t size) const
{
    int64_t done = 0;
    int64_t start = 0;
    for (const TSoundPiece& p : pieces_) {
        if (done >= size)
            break;
        const int64_t end = start + p.Length;
        if (pos + done < end) {
            const int64_t within = pos + done - start;
            const int64_t want = std::min(size - done, p.Length - within);
            int64_t got = 0;
            while (got < want) { // pread may return less than asked
                const ssize_t n = ::pread(p.File->Fd(), buf + done + got,
                                          static_cast<size_t>(want - got), p.Offset + within + got);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return -1;
                got += n;
            }
            done += got;
        }
        start = end;
    }
    return done;
}

void TWaveDocument::Overwrite(int64_t pos, const TSoundPiece& piece)
{
    pos = std::clamp<int64_t>(pos, 0, Size());
    const int64_t end = pos + piece.Length;
    std::vector<TSoundPiece> result;
    int64_t start = 0;
    bool placed = false;
    for (const TSoundPiece& p : pieces_) {
        const int64_t pEnd = start + p.Length;
        if (start < pos) // the part before the new sound
            result.push_back({p.File, p.Offset, std::min(p.Length, pos - start)});
        if (!placed && pEnd >= pos) {
            if (piece.Length > 0)
                result.push_back(piece);
            placed = true;
        }
        if (pEnd > end) { // the part after it
            const int64_t skip = std::max<int64_t>(0, end - start);
            result.push_back({p.File, p.Offset + skip, p.Length - skip});
        }
        start = pEnd;
    }
    if (!placed && piece.Length > 0)
        result.push_back(piece);
    pieces_ = std::move(result);
    dirty_ = true;
}

bool TWaveDocument::Save(QString& error)
{
    if (!loaded_) {
        error = QStringLiteral("No file is open.");
        return false;
    }
    if (Size() > 0xFFFFFFFFLL - 36) {
        error = QStringLiteral("The sound is larger than a WAV file can hold.");
        return false;
    }
    unsigned mode = 0;
    if (!ReplacementMode(QFile::encodeName(path_), mode, error))
        return false;
    const bool ok =
        pieces_.size() == 1 && pieces_[0].File->Temporary() && pieces_[0].Offset == kWaveHeaderSize
            ? SaveByRename(pieces_[0], mode, error)
            : SaveByCopy(mode, error);
    if (ok)
        dirty_ = false;
    return ok;
}

bool TWaveDocument::SaveByRename(const TSoundPiece& piece, unsigned mode, QString& error)
{
    TSoundFile& take = *piece.File;
    struct stat st {};
    // Sound recorded past the piece (a cut take) would follow the data chunk: drop it.
    if (::fstat(take.Fd(), &st) != 0 ||
        (st.st_size > kWaveHeaderSize + piece.Length &&
         ::ftruncate(take.Fd(), kWaveHeaderSize + piece.Length) != 0)) {
        error = ErrnoText(errno);
        return false;
    }
    const QByteArray header = BuildWaveHeader(format_, static_cast<uint32_t>(piece.Length));
    const QByteArray target = QFile::encodeName(path_);
    if (!PwriteAll(take.Fd(), header.constData(), header.size(), 0) ||
        ::fchmod(take.Fd(), static_cast<mode_t>(mode)) != 0 || ::fsync(take.Fd()) != 0 ||
        ::rename(take.Path().constData(), target.constData()) != 0) {
        error = ErrnoText(errno);
        return false;
    }
    SyncFolder(target);
    take.Adopt(target);
    return true;
}

bool TWaveDocument::SaveByCopy(unsigned mode, QString& error)
{
    const QByteArray target = QFile::encodeName(path_);
    QByteArray temp;
    const int fd = MakeTempBeside(target, "save", temp);
    if (fd < 0) {
        error = ErrnoText(errno);
        return false;
    }
    const int64_t size = Size();
    const QByteArray header = BuildWaveHeader(format_, static_cast<uint32_t>(size));
    bool ok = WriteAllBytes(fd, header.constData(), static_cast<size_t>(header.size()));
    for (const TSoundPiece& p : pieces_) {
        if (!ok)
            break;
        ok = CopyRange(p.File->Fd(), p.Offset, fd, p.Length);
    }
    ok = ok && ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && ::fsync(fd) == 0 &&
         ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        error = ErrnoText(errno);
        ::close(fd);
        ::unlink(temp.constData());
        return false;
    }
    SyncFolder(target);
    pieces_.clear();
    auto file = std::make_shared<TSoundFile>(fd, target, false);
    if (size > 0)
        pieces_.push_back({file, kWaveHeaderSize, size});
    return true;
}
