#pragma once

#include "platform/cdaccess/CdAccessTypes.h"

/// The CD-access operations. Results follow the drive library the program was designed on:
/// 1 (or a non-zero handle) on success, 0 on failure; error codes are for GetAspiLibError and
/// never interpreted by callers. Every handle operation holds that handle's own lock, so the
/// UI thread and one worker may share a handle; the drive list and ReadDiscTOC are for the UI
/// thread.
class ICdAccess {
public:
    virtual ~ICdAccess() = default;

    /// Fills the list: the system's CD drives, then the disc images of the discs folder.
    virtual int GetCDList(DriveList& list) = 0;
    /// Opens the drive named by the request; 0 when it cannot be opened or no handle is free.
    virtual int GetCDHandle(const HandleRequest& request) = 0;
    virtual int CloseCDHandle(int handle) = 0;
    /// Parameter kCdpMsf selects the TOC address form; other parameters are not supported.
    virtual int ModifyCDParms(int handle, int parameter, int value) = 0;
    /// Reads the disc's table of contents afresh.
    virtual int ReadTOC(int handle, TocRecord& toc) = 0;
    /// Reads SectorCount audio sectors from StartSector into the buffer.
    virtual int ReadCDAudioLBA(int handle, AudioReadBuffer& buffer) = 0;
    /// The code of the last failure (0 when none).
    virtual int GetAspiLibError() = 0;

    /// Reads the TOC (MSF form) of a listed drive without taking a handle; for drive queries.
    virtual int ReadDiscTOC(const DriveEntry& drive, TocRecord& toc) = 0;
    /// Asks a real drive whether its medium changed; 0 for images and bad handles.
    virtual int PollMedia(int handle, MediaPoll& poll) = 0;
    /// The drive behind a handle: the request that opens another handle on the same drive, and
    /// the device node of a system drive (empty for a disc image). 0 for a bad handle.
    /// The file a listed drive stands for: its device node, or its image's .cue or .toc;
    /// empty when the entry is not in the list.
    virtual std::string DrivePath(const DriveEntry& drive)
    {
        (void)drive;
        return {};
    }
    virtual int HandleDrive(int handle, HandleRequest& request, std::string& device)
    {
        (void)handle;
        (void)request;
        device.clear();
        return 0;
    }
};

/// Failure codes reported by GetAspiLibError.
namespace CdAccessError {
inline constexpr int None = 0;
inline constexpr int BadHandle = 1;
inline constexpr int OpenFailed = 2;
inline constexpr int NoFreeHandle = 3;
inline constexpr int BadParameter = 4;
inline constexpr int TocFailed = 5;
inline constexpr int ReadFailed = 6;
inline constexpr int MediumGone = 7;
inline constexpr int UnknownDrive = 8;
} // namespace CdAccessError

/// The layer in use: the libcdio one unless a test installed another.
ICdAccess& CdAccess();

/// Test seam: routes every operation to layer (nullptr goes back to the libcdio one). The
/// caller keeps layer alive while installed.
void InstallCdAccess(ICdAccess* layer);

/// Test seam: leaves the machine's own CD drives out of the drive list, so tests see only the
/// images they make, whatever hardware the machine running them has.
void SetSystemDrivesListedForTests(bool listed);

// The operations under the names the program's code uses.
int GetCDList(DriveList& list);
int GetCDHandle(const HandleRequest& request);
int CloseCDHandle(int handle);
int ModifyCDParms(int handle, int parameter, int value);
int ReadTOC(int handle, TocRecord& toc);
int ReadCDAudioLBA(int handle, AudioReadBuffer& buffer);
int GetAspiLibError();
int HandleDrive(int handle, HandleRequest& request, std::string& device);
