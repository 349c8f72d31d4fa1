#pragma once

#include <cstdint>

#include <QString>

#include "platform/cdaccess/CdAccessTypes.h"

/// Volume label of a drive whose disc has at least one audio track.
inline constexpr const char* kAudioCdLabel = "Audio CD";

/// The volume label of a listed drive: "Audio CD" when its disc has an audio track (data
/// sessions beside it do not matter), empty otherwise or when the disc cannot be read.
QString DriveVolumeLabel(const DriveEntry& drive);

/// Whether the first drive of the list holds an audio CD. Only that drive is looked at.
bool AudioCDPresent();

/// The number of drives in the list.
int DriveCount();

/// The position in today's drive list of the drive a handle is open on, or -1 (bad handle, or
/// the drive has left the list). Positions shift as images come and go; the handle does not.
int DrivePosition(int handle);

/// The position in today's drive list of the drive a path names: a device node (or a link to
/// one, such as /dev/cdrom), a "cdda://sr0" address as desktops pass it, or a listed image's
/// .cue or .toc; -1 when no listed drive is that file.
int DrivePositionOfPath(const QString& path);

/// The key of the first audio CD in the drive list: its volume serial number as the desktop
/// system the program came from computes it, so keys match files written there, read as a
/// signed 32-bit number in decimal. Empty when no drive holds an audio CD.
QString DiscKey();

/// The key of the disc a TOC (MSF form) describes: its serial number in decimal, or empty when
/// the disc has no audio track.
QString DiscKeyOf(const TocRecord& toc);

/// That serial number from an MSF-form TOC: the sum over the tracks of (minutes << 16) +
/// (seconds << 8) + frames of each start; a disc of fewer than 3 tracks adds the first track's
/// frames field and the disc's length in frames (lead-out start less the first track's).
int32_t AudioCdSerial(const TocRecord& toc);
