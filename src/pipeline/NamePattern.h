#pragma once

#include <QString>
#include <QStringList>

/// The values a file-name pattern draws from, for one track.
struct TNameFields {
    QString Artist;
    QString Album;
    QString Year;
    QString Genre; ///< the genre's name
    QString Title;
    int Number = 0; ///< the track's number on the disc
    int Count = 0;  ///< the disc's number of tracks
};

/// Why a pattern cannot be used (an unknown token, a "%" at its end, a ".." component, a
/// leading "/", no file name at its end), or empty when it can. The empty pattern can: it
/// stands for the title alone.
QString NamePatternProblem(const QString& pattern);

/// The path of a track's file under the output folder, without extension: the pattern's
/// tokens (%A artist, %d album, %y year, %g genre, %n track number in two digits, %N number of
/// tracks, %t title, %% a percent sign) replaced by safe values, each "/" of the pattern a
/// folder. Every component is safe (SafeNameComponent) and the result never leads out of the
/// folder, whatever the values hold. A pattern that cannot be used expands as the empty one.
QString ExpandNamePattern(const QString& pattern, const TNameFields& fields);

/// Text made safe as one path component: "/" and "\" become "-", control and bidirectional
/// override characters and lone surrogates are dropped, leading dots and trailing blanks and
/// dots are removed, and the result is cut to 240 bytes of UTF-8 at a character boundary.
/// May return an empty text.
QString SafeNameComponent(const QString& text);

/// The paths in order, a later one equal to an earlier one (ignoring case, as many players'
/// file systems do) getting " (2)", " (3)", ... at its end.
QStringList DistinctNames(const QStringList& paths);

/// Creates the folders of relativePath (all but its last component) below folder, which must
/// exist. Refuses a component that exists as a symbolic link or anything but a folder, and a
/// path with an empty, "." or ".." component. Returns the error text, empty on success.
QString MakeNameFolders(const QString& folder, const QString& relativePath);
