#include "metadata/id3tag.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "core/FileUtil.h"

namespace {

constexpr int kTitleAt = 3;
constexpr int kArtistAt = 33;
constexpr int kAlbumAt = 63;
constexpr int kYearAt = 93;
constexpr int kCommentAt = 97;
constexpr int kTrackZeroAt = 125;
constexpr int kTrackAt = 126;
constexpr int kGenreAt = 127;

// Cut to count characters without splitting a surrogate pair.
QString CutText(const QString& text, int count)
{
    qsizetype i = 0;
    for (int n = 0; n < count && i < text.size(); ++n)
        i +=
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ? 2
                : 1;
    return text.left(i);
}

// ISO-8859-1 bytes of text, "?" for what it cannot hold, zero-padded or cut to width.
QByteArray FieldBytes(const QString& text, int width)
{
    QByteArray out(width, '\0');
    int n = 0;
    for (const char32_t cp : text.toUcs4()) {
        if (n == width)
            break;
        out[n++] = cp <= 0xFF ? static_cast<char>(cp) : '?';
    }
    return out;
}

// A field as stored, without its trailing 0, blank and 255 bytes. A zero byte inside the
// text is kept with what follows it: taggers that pad with blanks write such fields.
QString FieldText(const char* data, int width)
{
    int end = width;
    while (end > 0) {
        const auto c = static_cast<unsigned char>(data[end - 1]);
        if (c != 0 && c != 32 && c != 255)
            break;
        --end;
    }
    return QString::fromLatin1(data, end);
}

bool StartsWithTag(const char* block)
{
    return block[0] == 'T' && block[1] == 'A' && block[2] == 'G';
}

// pread or pwrite until all of `size` is done: a short count is not an error for either.
template <class Buffer, class Call>
bool TransferAt(Call call, int fd, Buffer buffer, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = call(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadAt(int fd, char* buffer, size_t size, off_t offset)
{
    return TransferAt(::pread, fd, buffer, size, offset);
}

bool WriteAt(int fd, const char* buffer, size_t size, off_t offset)
{
    return TransferAt(::pwrite, fd, buffer, size, offset);
}

// Read-only as the user marked it: no write bit for anyone (even root, who could write
// anyway), or no write access for us.
bool IsWritableFile(const QByteArray& native)
{
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || (st.st_mode & 0222) == 0)
        return false;
    return ::access(native.constData(), W_OK) == 0;
}

class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

void Tid3tag::SetTitle(const QString& text)
{
    title_ = CutText(text, TextWidth);
}
void Tid3tag::SetArtist(const QString& text)
{
    artist_ = CutText(text, TextWidth);
}
void Tid3tag::SetAlbum(const QString& text)
{
    album_ = CutText(text, TextWidth);
}
void Tid3tag::SetComment(const QString& text)
{
    comment_ = CutText(text, TextWidth);
}
void Tid3tag::SetYear(const QString& text)
{
    year_ = CutText(text, YearWidth);
}

void Tid3tag::SetTrack(uint8_t track)
{
    track_ = track;
    hasTrack_ = track != 0;
}

uint16_t Tid3tag::ParseBlock(const QByteArray& block)
{
    if (block.size() != TagSize || !StartsWithTag(block.constData()))
        return ErrNoTag;
    const char* b = block.constData();
    title_ = FieldText(b + kTitleAt, TextWidth);
    artist_ = FieldText(b + kArtistAt, TextWidth);
    album_ = FieldText(b + kAlbumAt, TextWidth);
    year_ = FieldText(b + kYearAt, YearWidth);
    if (b[kTrackZeroAt] == '\0' && b[kTrackAt] != '\0') {
        comment_ = FieldText(b + kCommentAt, TextWidth - 2);
        track_ = static_cast<uint8_t>(b[kTrackAt]);
        hasTrack_ = true;
    } else {
        comment_ = FieldText(b + kCommentAt, TextWidth);
        track_ = 0;
        hasTrack_ = false;
    }
    Genre = static_cast<uint8_t>(b[kGenreAt]);
    return (Genre > 147 && Genre != 255) ? FlagBadGenre : Ok;
}

QByteArray Tid3tag::BuildBlock() const
{
    QByteArray block;
    block.reserve(TagSize);
    block.append("TAG", 3);
    block.append(FieldBytes(title_, TextWidth));
    block.append(FieldBytes(artist_, TextWidth));
    block.append(FieldBytes(album_, TextWidth));
    block.append(FieldBytes(year_, YearWidth));
    if (hasTrack_ && track_ != 0) {
        block.append(FieldBytes(comment_, TextWidth - 2));
        block.append('\0');
        block.append(static_cast<char>(track_));
    } else {
        block.append(FieldBytes(comment_, TextWidth));
    }
    block.append(static_cast<char>(Genre));
    return block;
}

uint16_t Tid3tag::ReadTag(const QString& fileName)
{
    if (!FileExists(fileName))
        return ErrOpen;
    const FileHandle fd(OpenRegularFile(fileName, O_RDONLY));
    if (fd.get() < 0)
        return ErrOpen;
    tagFile_ = fileName;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return ErrIo;
    if (st.st_size < TagSize)
        return ErrNoTag;
    QByteArray block(TagSize, '\0');
    if (!ReadAt(fd.get(), block.data(), TagSize, st.st_size - TagSize))
        return ErrRead;
    return ParseBlock(block);
}

uint16_t Tid3tag::WriteTag(const QString& fileName)
{
    const QString target = fileName == QLatin1String("=") ? tagFile_ : fileName;
    if (!FileExists(target))
        return ErrOpen;
    const QByteArray native = QFile::encodeName(target);
    if (!IsWritableFile(native))
        return ErrReadOnly;
    const FileHandle fd(OpenRegularFile(target, O_RDWR));
    if (fd.get() < 0)
        return ErrOpen;
    // Deny other writers for the duration, as IsFileInUse expects of our exclusive opens.
    if (!LockExclusive(fd.get()))
        return ErrOpen;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return ErrIo;

    QByteArray old(TagSize, '\0');
    bool replace = false;
    if (st.st_size >= TagSize) {
        if (!ReadAt(fd.get(), old.data(), TagSize, st.st_size - TagSize))
            return ErrRead;
        replace = StartsWithTag(old.constData());
    }
    const off_t at = replace ? st.st_size - TagSize : st.st_size;
    const QByteArray block = BuildBlock();
    if (!WriteAt(fd.get(), block.constData(), TagSize, at)) {
        // Leave the audio as it was: drop a partial append, put back a partly replaced tag.
        if (replace)
            WriteAt(fd.get(), old.constData(), TagSize, at);
        else if (::ftruncate(fd.get(), st.st_size) != 0) {
            // nothing more can be done; the error below still tells the caller
        }
        return ErrWrite;
    }
    tagFile_ = target;
    return Ok;
}

bool Tid3tag::RemoveTag()
{
    if (!FileExists(tagFile_))
        return false;
    const QByteArray native = QFile::encodeName(tagFile_);
    if (!IsWritableFile(native))
        return false;
    const FileHandle fd(OpenRegularFile(tagFile_, O_RDWR));
    if (fd.get() < 0 || !LockExclusive(fd.get()))
        return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || st.st_size < TagSize)
        return false;
    char head[3];
    if (!ReadAt(fd.get(), head, sizeof head, st.st_size - TagSize) || !StartsWithTag(head))
        return false;
    if (::ftruncate(fd.get(), st.st_size - TagSize) != 0) {
        // ignored, like every other failure here
    }
    return false;
}
