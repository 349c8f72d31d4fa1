#pragma once

#include <QString>

/// Full path of cdinfo.dat in the program's folder.
QString CdInfoFilePath();

/// Fills the record's CDInfo from the section named key; an empty key reads nothing, so every
/// field takes its default. Titles beyond the stored track count keep their previous values.
void LoadDiscInfo(const QString& key);

/// Writes the record's CDInfo to the section named key in one atomic write; does nothing for an
/// empty key. Raises EAppException "Unable to write to <path>" when the file cannot be written.
void SaveDiscInfo(const QString& key);

/// "Track" + TwoDigits(k): the name of a track nobody has named.
QString DefaultTrackTitle(int k);
