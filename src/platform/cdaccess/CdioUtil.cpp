#include "platform/cdaccess/CdioUtil.h"

#include <cdio/logging.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
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

namespace {

/// Opens a .toc through a rewritten copy whose file names are absolute.
CdioPtr OpenTocImage(const std::string& path, std::vector<std::string>* dataFiles)
{
    constexpr long kMaxSheet = 1 << 20;
    const int sheetFd = OpenRegularFile(path.c_str(), O_RDONLY);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
        sheetFd >= 0 ? ::fdopen(sheetFd, "rb") : nullptr, &std::fclose);
    if (!in) {
        if (sheetFd >= 0)
            ::close(sheetFd);
        return nullptr;
    }
    std::string text(size_t(kMaxSheet) + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), in.get()));
    if (long(text.size()) > kMaxSheet || text.find('\0') != std::string::npos)
        return nullptr;
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    std::vector<std::string> files;
    const auto rewritten = RewriteTocPaths(text, dir.empty() ? std::string("/") : dir, files);
    if (!rewritten)
        return nullptr;
    // libcdio opens the data files with a plain blocking open: a FIFO among them would hang.
    // A name that does not exist (one in a comment, say) is left to libcdio to refuse.
    for (const std::string& f : files) {
        struct stat st {};
        if (::stat(f.c_str(), &st) == 0 && !CanReadRegularFile(f.c_str()))
            return nullptr;
    }

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
    case DriveSource::Kind::CueImage: {
        // libcdio opens both with blocking opens: a FIFO in their place would hang.
        if (!CanReadRegularFile(source.path.c_str()) ||
            !CanReadRegularFile(source.DataPath().c_str()))
            return nullptr;
        CdioPtr cdio(cdio_open(source.path.c_str(), DRIVER_BINCUE));
        if (cdio && dataFiles != nullptr)
            dataFiles->push_back(source.DataPath());
        return cdio;
    }
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
