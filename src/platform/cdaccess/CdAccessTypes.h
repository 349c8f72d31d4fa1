#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Records passed to the CD-access operations. The caller allocates them; a default-constructed
// record is the zero-filled one the operations expect.

inline constexpr int kDriveListCapacity = 8;
inline constexpr int kTocEntryCount = 100;
inline constexpr int kCdSectorBytes = 2352;
inline constexpr int kLeadInFrames = 150; ///< the 2-second lead-in before LSN 0
inline constexpr uint8_t kLeadOutTrack = 0xAA;

/// ModifyCDParms parameter selecting the TOC address form: value 1 gives minutes, seconds and
/// frames; value 0 (the state of a new handle) gives the LSN, big-endian, in Address.
inline constexpr int kCdpMsf = 36;

/// One drive of the list. HostAdapter, Target and Lun identify the drive to GetCDHandle and
/// keep doing so when the list changes; Vendor and Product are NUL-terminated texts.
struct DriveEntry {
    uint8_t HostAdapter = 0;
    uint8_t Target = 0;
    uint8_t Lun = 0;
    std::array<char, 9> Vendor{};
    std::array<char, 17> Product{};
};

struct DriveList {
    uint8_t Capacity = kDriveListCapacity;
    uint8_t Count = 0; ///< set by GetCDList
    std::array<DriveEntry, kDriveListCapacity> Entries{};
};

struct HandleRequest {
    uint8_t Size = 12;
    uint8_t Version = 1;
    uint8_t HostAdapter = 0;
    uint8_t Target = 0;
    uint8_t Lun = 0;

    /// The request for a drive of the list.
    static HandleRequest For(const DriveEntry& drive)
    {
        HandleRequest r;
        r.HostAdapter = drive.HostAdapter;
        r.Target = drive.Target;
        r.Lun = drive.Lun;
        return r;
    }
};

/// One TOC descriptor in the drive's own layout: Address holds 0, minutes, seconds, frames in
/// MSF form, or the big-endian LSN in LBA form.
struct TocEntry {
    uint8_t Reserved = 0;
    uint8_t AdrControl = 0;  ///< control bit 0x04 marks a data track
    uint8_t TrackNumber = 0; ///< kLeadOutTrack for the lead-out
    uint8_t Reserved2 = 0;
    std::array<uint8_t, 4> Address{};

    uint8_t Minutes() const { return Address[1]; }
    uint8_t Seconds() const { return Address[2]; }
    uint8_t Frames() const { return Address[3]; }
    bool IsData() const { return (AdrControl & 0x04) != 0; }
};

/// Entry k-1 describes track k; the entry after the last track's is the lead-out.
struct TocRecord {
    std::array<uint8_t, 2> Length{};
    uint8_t FirstTrack = 0;
    uint8_t LastTrack = 0;
    std::array<TocEntry, kTocEntryCount> Entries{};
};

/// A read request and its data area. Allocate one per read with Make(); the library sets
/// BytesReturned and Offset (first valid byte of Data).
struct AudioReadBuffer {
    uint32_t StartSector = 0; ///< absolute sector address (LSN)
    uint32_t SectorCount = 0;
    uint32_t Capacity = 0; ///< bytes of Data the library may fill
    uint32_t BytesReturned = 0;
    uint32_t Status = 0;
    uint32_t Offset = 0;
    std::vector<uint8_t> Data;

    static AudioReadBuffer Make(uint32_t startSector, uint32_t sectorCount)
    {
        AudioReadBuffer b;
        b.StartSector = startSector;
        b.SectorCount = sectorCount;
        b.Capacity = sectorCount * kCdSectorBytes;
        b.Data.resize(b.Capacity);
        return b;
    }
};

/// What PollMedia reports about a real drive.
struct MediaPoll {
    bool Changed = false; ///< the medium changed since the last poll of this handle
    bool Present = false; ///< a readable disc is in the drive now
    std::string Device;   ///< the drive's device node
};
