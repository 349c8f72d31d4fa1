#include "platform/cdaccess/CdioUtil.h"

#include <cdio/logging.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/FileUtil.h"

namespace {

void QuietHandler(cdio_log_level_t level, const char* message)
{
    if (level >= CDIO_LOG_ASSERT)
        std::fprintf(stderr, "libcdio: %s\n", message);
}

void PutAddress(TocEntry& e, int32_t lsn, bool msfForm)
{
    if (msfForm) {
        const int32_t frames = lsn + kLeadInFrames;
        e.Address = {0, uint8_t(frames / (75 * 60)), uint8_t(frames / 75 % 60),
                     uint8_t(frames % 75)};
    } else {
        const auto u = static_cast<uint32_t>(lsn);
        e.Address = {uint8_t(u >> 24), uint8_t(u >> 16), uint8_t(u >> 8), uint8_t(u)};
    }
}

bool ClimbsOut(const std::string& name)
{
    size_t begin = 0;
    while (begin <= name.size()) {
        const size_t end = std::min(name.find('/', begin), name.size());
        if (name.compare(begin, end - begin, "..") == 0)
            return true;
        begin = end + 1;
    }
    return false;
}

} // namespace

void SilenceCdioLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler(&QuietHandler);
        // libcdio sets up its driver table on first use; do it once, before any second thread.
        cdio_init();
    });
}

std::optional<std::string> RewriteTocPaths(const std::string& text, const std::string& dir,
                                           std::vector<std::string>& dataFiles)
{
    if (dir.find('"') != std::string::npos || dir.find('\\') != std::string::npos)
        return std::nullopt;
    std::string out;
    out.reserve(text.size() + 256);
    size_t i = 0;
    while (i < text.size()) {
        size_t keywordEnd = std::string::npos;
        const bool boundary = i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1]));
        if (boundary) {
            for (const char* kw : {"AUDIOFILE", "DATAFILE", "FILE"}) {
                const size_t n = std::strlen(kw);
                if (text.compare(i, n, kw) == 0) {
                    keywordEnd = i + n;
                    break;
                }
            }
        }
        if (keywordEnd == std::string::npos) {
            out += text[i++];
            continue;
        }
        size_t j = keywordEnd;
        while (j < text.size() && (text[j] == ' ' || text[j] == '\t'))
            ++j;
        if (j == keywordEnd || j >= text.size() || text[j] != '"') {
            out.append(text, i, keywordEnd - i);
            i = keywordEnd;
            continue;
        }
        const size_t close = text.find('"', j + 1);
        if (close == std::string::npos)
            return std::nullopt;
        std::string name = text.substr(j + 1, close - j - 1);
        if (name.find('\\') != std::string::npos || name.find('\n') != std::string::npos)
            return std::nullopt;
        // The sheet may only name files in its own folder or below it: an absolute name or one
        // that climbs out with ".." would rip whatever file it points at.
        if (name.empty() || name[0] == '/' || ClimbsOut(name))
            return std::nullopt;
        name = dir + "/" + name;
        dataFiles.push_back(name);
        out.append(text, i, j - i);
        out += '"' + name + '"';
        i = close + 1;
    }
    return out;
}

std::vector<std::string> CueFileNames(const std::string& text)
{
    std::vector<std::string> names;
    size_t line = 0;
    while (line < text.size()) {
        const size_t end = std::min(text.find_first_of("\r\n", line), text.size());
        size_t i = text.find_first_not_of(" \t", line);
        if (i < end && end - i > 4 && strncasecmp(text.c_str() + i, "FILE", 4) == 0 &&
            (text[i + 4] == ' ' || text[i + 4] == '\t')) {
            i = text.find_first_not_of(" \t", i + 4);
            if (i < end && text[i] == '"') {
                const size_t close = text.find('"', i + 1);
                if (close < end)
                    names.push_back(text.substr(i + 1, close - i - 1));
            } else if (i < end) {
                const size_t stop = std::min(text.find_first_of(" \t", i), end);
                names.push_back(text.substr(i, stop - i));
            }
        }
        line = end + 1;
    }
    return names;
}

bool IsContainedRegularFile(const std::string& path, const std::string& realRoot)
{
    const int fd = OpenRegularFile(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    // The link the kernel keeps for the open file names what was opened, after every link on
    // the way, and cannot be swapped between the check and the open.
    char real[PATH_MAX + 1];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), real, PATH_MAX);
    ::close(fd);
    if (n <= 0)
        return false;
    const std::string resolved(real, size_t(n));
    const std::string root = realRoot.ends_with('/') ? realRoot : realRoot + "/";
    return resolved.size() > root.size() && resolved.starts_with(root);
}

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

/// The image folder with its links resolved; empty when it cannot be.
std::string RealFolderOf(const std::string& path)
{
    char* real = ::realpath(FolderOf(path).c_str(), nullptr);
    if (real == nullptr)
        return {};
    std::string out(real);
    std::free(real);
    return out;
}

/// Reads a sheet of at most 1 MB without NUL bytes; nothing when it is not one.
std::optional<std::string> ReadSheet(const std::string& path)
{
    constexpr long kMaxSheet = 1 << 20;
    const int sheetFd = OpenRegularFile(path.c_str(), O_RDONLY);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
        sheetFd >= 0 ? ::fdopen(sheetFd, "rb") : nullptr, &std::fclose);
    if (!in) {
        if (sheetFd >= 0)
            ::close(sheetFd);
        return std::nullopt;
    }
    std::string text(size_t(kMaxSheet) + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), in.get()));
    if (long(text.size()) > kMaxSheet || text.find('\0') != std::string::npos)
        return std::nullopt;
    return text;
}

/// Every data file an image may read must be a regular file inside the image's folder once its
/// links are resolved: a link planted there would otherwise rip (or play) any file the user can
/// read. A name with nothing behind it (a comment in a .toc, a cue FILE libcdio does not read)
/// is left to libcdio to refuse; a dangling link is refused here, as it could come to point
/// anywhere. libcdio's own opens block, so a FIFO must never reach it.
bool DataFilesContained(const std::string& sheet, const std::vector<std::string>& files)
{
    const std::string root = RealFolderOf(sheet);
    if (root.empty())
        return false;
    for (const std::string& f : files) {
        struct stat st {};
        if (::lstat(f.c_str(), &st) != 0 && errno == ENOENT)
            continue;
        if (!IsContainedRegularFile(f, root))
            return false;
    }
    return true;
}

/// Opens a .cue; libcdio reads the .bin of the same base name whatever the sheet says, but
/// the sheet's own FILE names are held to the same rule in case a libcdio honours them.
CdioPtr OpenCueImage(const DriveSource& source, std::vector<std::string>* dataFiles)
{
    const auto text = ReadSheet(source.path);
    const std::string bin = source.DataPath();
    if (!text || !CanReadRegularFile(bin.c_str()))
        return nullptr;
    std::vector<std::string> files{bin};
    const std::string dir = FolderOf(source.path);
    for (const std::string& name : CueFileNames(*text)) {
        if (!name.empty())
            files.push_back(name[0] == '/' ? name : dir + "/" + name);
    }
    if (!DataFilesContained(source.path, files))
        return nullptr;
    CdioPtr cdio(cdio_open(source.path.c_str(), DRIVER_BINCUE));
    if (cdio && dataFiles != nullptr)
        dataFiles->push_back(bin);
    return cdio;
}

/// Opens a .toc through a rewritten copy whose file names are absolute.
CdioPtr OpenTocImage(const std::string& path, std::vector<std::string>* dataFiles)
{
    const auto text = ReadSheet(path);
    if (!text)
        return nullptr;
    const std::string dir = FolderOf(path);
    std::vector<std::string> files;
    const auto rewritten = RewriteTocPaths(*text, dir, files);
    if (!rewritten || !DataFilesContained(path, files))
        return nullptr;

    char tmpl[] = "/tmp/platterly-toc-XXXXXX.toc";
    const int fd = ::mkstemps(tmpl, 4);
    if (fd < 0)
        return nullptr;
    const bool written =
        ::write(fd, rewritten->data(), rewritten->size()) == ssize_t(rewritten->size());
    ::close(fd);
    CdioPtr cdio(written ? cdio_open(tmpl, DRIVER_CDRDAO) : nullptr);
    ::unlink(tmpl); // parsed on open; only the data files are read later
    if (cdio && dataFiles != nullptr)
        *dataFiles = std::move(files);
    return cdio;
}

} // namespace

CdioPtr OpenCdio(const DriveSource& source, std::vector<std::string>* dataFiles)
{
    SilenceCdioLog();
    if (dataFiles != nullptr)
        dataFiles->clear();
    switch (source.kind) {
    case DriveSource::Kind::Device:
        return CdioPtr(cdio_open(source.path.c_str(), DRIVER_DEVICE));
    case DriveSource::Kind::CueImage:
        return OpenCueImage(source, dataFiles);
    case DriveSource::Kind::TocImage:
        return OpenTocImage(source.path, dataFiles);
    }
    return nullptr;
}

std::optional<int32_t> LeadOutLsn(CdIo_t* cdio)
{
    const lsn_t lsn = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (lsn == CDIO_INVALID_LSN || lsn < 0)
        return std::nullopt;
    return int32_t(lsn);
}

bool FillToc(CdIo_t* cdio, bool msfForm, TocRecord& toc, int32_t* leadOutLsn)
{
    toc = TocRecord{};
    if (cdio == nullptr)
        return false;
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t last = cdio_get_last_track_num(cdio);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first < 1 || last < first ||
        last >= kTocEntryCount)
        return false;
    const auto leadOut = LeadOutLsn(cdio);
    // MSF minutes must fit in a byte.
    if (!leadOut || *leadOut + kLeadInFrames >= 256 * 60 * 75)
        return false;
    int32_t previous = -1;
    for (int t = first; t <= last; ++t) {
        const lsn_t lsn = cdio_get_track_lsn(cdio, track_t(t));
        if (lsn == CDIO_INVALID_LSN || lsn < previous || lsn > *leadOut)
            return false;
        previous = lsn;
        TocEntry& e = toc.Entries[size_t(t - 1)];
        e.TrackNumber = uint8_t(t);
        const bool audio = cdio_get_track_format(cdio, track_t(t)) == TRACK_FORMAT_AUDIO;
        e.AdrControl = audio ? 0x10 : 0x14;
        PutAddress(e, lsn, msfForm);
    }
    TocEntry& lo = toc.Entries[size_t(last)];
    lo.TrackNumber = kLeadOutTrack;
    lo.AdrControl = 0x10;
    PutAddress(lo, *leadOut, msfForm);
    toc.FirstTrack = uint8_t(first);
    toc.LastTrack = uint8_t(last);
    const int length = (last - first + 2) * 8 + 2;
    toc.Length = {uint8_t(length >> 8), uint8_t(length & 0xff)};
    if (leadOutLsn != nullptr)
        *leadOutLsn = *leadOut;
    return true;
}

std::optional<FileStamp> FileStamp::Of(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    FileStamp s;
    s.dev = uint64_t(st.st_dev);
    s.ino = uint64_t(st.st_ino);
    s.size = int64_t(st.st_size);
    s.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}
