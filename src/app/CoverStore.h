#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// The front covers kept for discs: "covers/<disc key>.jpg" (or ".png") in the program's
// folder, one per disc, replaced whole.

/// The file of the disc's cover; empty when it has none (or the key cannot name a file).
QString CoverFilePath(const QString& key);

/// Keeps image (of type extension, "jpg" or "png") as the disc's cover, written to a temporary
/// file and renamed into place; the cover it had in the other type goes. False on failure.
bool SaveCover(const QString& key, const QByteArray& image, const QString& extension);

/// The disc has no cover any more.
void RemoveCover(const QString& key);

/// The bytes of the disc's cover, read from a regular file only and up to 10 MB; empty when
/// there is none.
QByteArray LoadCoverBytes(const QString& key);

/// The disc's cover, read as LoadCoverBytes reads it and decoded no larger than within needs
/// (keeping its shape); null when there is none, it is not an image, or it is too large to
/// decode safely.
QImage LoadCover(const QString& key, const QSize& within);
