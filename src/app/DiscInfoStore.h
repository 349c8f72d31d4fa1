#pragma once

#include <QString>

#include "core/Settings.h"

/// Full path of cdinfo.dat in the program's folder.
QString CdInfoFilePath();

/// Fills the record's CDInfo from the section named key; an empty key reads nothing, so every
/// field takes its default. Titles beyond the stored track count keep their previous values.
/// A section that does not say where its names came from (one written by an older version)
/// counts as typed when it holds any name, and as nameless otherwise.
void LoadDiscInfo(const QString& key);

/// Writes the record's CDInfo to the section named key in one atomic write; does nothing for an
/// empty key. Raises EAppException "Unable to write to <path>" when the file cannot be written.
void SaveDiscInfo(const QString& key);

/// The value cdinfo.dat stores for a source ("Typed", "CDDB", "MusicBrainz"; empty for None).
QString NamesSourceKey(TNamesSource source);
/// The source a stored value names; None for anything else.
TNamesSource NamesSourceFromKey(const QString& key);

/// "Track" + TwoDigits(k): the name of a track nobody has named.
QString DefaultTrackTitle(int k);
