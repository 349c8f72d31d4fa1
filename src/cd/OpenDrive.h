#pragma once

#include <QString>

#include "platform/cdaccess/CdAccessTypes.h"

/// Status texts OpenDrive leaves for the main window's status bar.
inline constexpr const char* kNoCdDevicesText = "No CD devices found!";
inline constexpr const char* kDriveIndexErrorText =
    "CD device information error in your configration!";

struct OpenDriveResult {
    int Handle = 0; ///< 0 when no drive was opened
    QString Status; ///< the drive's name, or the error text
};

/// Opens position index (0-based) of the drive list. When no handle is free it closes the
/// first of handles 1..10 that closes and tries once more, so handles lost by earlier opens
/// do not lock the program out.
OpenDriveResult OpenDrive(int index);

/// The vendor text followed directly by the product text, cut to 26 characters.
QString DriveName(const DriveEntry& entry);
