#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

/// Entries of every genre control: an empty entry, then 148 names in alphabetical order.
inline constexpr int GenreListCount = 149;
/// Genre bytes with a name (0..147); 255 is "no genre".
inline constexpr int GenreByteCount = 148;
inline constexpr uint8_t NoGenreByte = 255;

/// The list every genre control shows (position 0 is the empty entry).
const QStringList& GenreList();

/// Name at a list position, empty outside 0..148.
QString GenreNameAt(int position);

/// List position -> ID3v1 genre byte; 0 (the empty entry) and positions past 148 give 255.
uint8_t GenreToByte(int position);

/// ID3v1 genre byte -> list position; bytes 148 and above (255 included) give 0.
int ByteToGenre(uint8_t genreByte);

/// Position of a name compared exactly (case-sensitive), -1 when it is not in the list.
int GenrePositionOf(const QString& name);
