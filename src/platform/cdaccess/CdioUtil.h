#pragma once

#include <cdio/cdio.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/cdaccess/CdAccessTypes.h"
#include "platform/cdaccess/DriveCatalog.h"

// Small helpers over libcdio shared by the handle table and the drive catalogue.

struct CdioCloser {
    void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

/// Keeps libcdio's warnings (for instance about short pregaps in images) off stderr, and
/// initialises libcdio; called before anything else of libcdio.
void SilenceCdioLog();

/// Opens a drive or image; null when libcdio refuses it. dataFiles (optional) receives the
/// files an image reads its audio from.
CdioPtr OpenCdio(const DriveSource& source, std::vector<std::string>* dataFiles = nullptr);

/// libcdio resolves a .toc's file names against the working directory; this makes the relative
/// names of FILE, AUDIOFILE and DATAFILE statements absolute against dir and collects them.
/// Nothing when the sheet cannot be rewritten safely.
std::optional<std::string> RewriteTocPaths(const std::string& text, const std::string& dir,
                                           std::vector<std::string>& dataFiles);

/// The names a cue sheet's FILE statements give (quoted or not), as written.
std::vector<std::string> CueFileNames(const std::string& text);

/// Whether path, once every link is resolved, is a regular file inside the folder realRoot (a
/// resolved path). The file itself is opened (without blocking) to judge what is really there.
bool IsContainedRegularFile(const std::string& path, const std::string& realRoot);

/// Reads the open disc's TOC into toc (MSF or big-endian LSN addresses). Also returns the
/// lead-out LSN. False when the disc has no sane TOC.
bool FillToc(CdIo_t* cdio, bool msfForm, TocRecord& toc, int32_t* leadOutLsn = nullptr);

/// Lead-out LSN of the open disc, or nothing.
std::optional<int32_t> LeadOutLsn(CdIo_t* cdio);

/// Identity of a file's current contents (device, inode, size, modification time).
struct FileStamp {
    uint64_t dev = 0, ino = 0;
    int64_t size = 0, mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
    static std::optional<FileStamp> Of(const std::string& path);
};
