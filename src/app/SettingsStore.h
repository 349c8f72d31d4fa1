#pragma once

#include <QString>

/// Full path of options.ini in the configuration folder (ConfigDir).
QString OptionsFilePath();

/// When the configuration folder has no options.ini but the program's folder has one (where an
/// installed program kept it before), copies it over once. LoadOptions calls it.
void MigrateOldOptions();

/// Fills the global settings record from options.ini; missing or unusable values take their
/// defaults; CompressPosition is clamped to 30..100.
void LoadOptions();

/// Writes every key of the record to options.ini in one atomic write. Raises EAppException
/// "Unable to write to <path>" when the file cannot be written.
void SaveOptions();

/// The default CDDB server.
QString DefaultCddbServer();

struct TOptionsSetting;
/// A record holding every setting's default, as LoadOptions gives them from an empty file.
TOptionsSetting DefaultOptions();

/// Test seam: the default of [MusicBrainz] AutoLookup, on in the program. Test programs turn it
/// off, so a disc a test loads is looked up only where the test's options.ini says so.
void SetAutoLookupDefaultForTests(bool on);
