#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/waveaudio/WaveFormat.h"

/// An open file the sound of a document is read from: the WAV file itself, or a take. A take
/// is a temporary file until a save turns it into the document's file; a temporary file is
/// removed when the last piece that uses it goes.
class TSoundFile {
public:
    TSoundFile(int fd, QByteArray path, bool temporary);
    ~TSoundFile();
    TSoundFile(const TSoundFile&) = delete;
    TSoundFile& operator=(const TSoundFile&) = delete;

    int Fd() const { return fd_; }
    const QByteArray& Path() const { return path_; }
    bool Temporary() const { return temporary_; }
    /// The file now lives at path and is kept.
    void Adopt(const QByteArray& path);

private:
    int fd_;
    QByteArray path_;
    bool temporary_;
};

/// A run of sound bytes inside a file.
struct TSoundPiece {
    std::shared_ptr<TSoundFile> File;
    int64_t Offset = 0;
    int64_t Length = 0;
};

/// The sound being recorded: a temporary file beside the document, a WAV header in front of
/// the data so that a save can rename it into place. Append is called by one thread (the
/// audio thread) while another may read Size.
class TTake {
public:
    /// Creates the take's file in the folder of besidePath. maxBytes caps its sound (a WAV file
    /// holds at most 4 GB).
    static std::unique_ptr<TTake> Create(const QString& besidePath, const TWaveFormat& format,
                                         int64_t maxBytes, QString& error);

    /// Adds sound at the end. False on a write error (a full disk) or at the cap, keeping what
    /// was written before and the whole frames of this part that got through; error says why.
    bool Append(const char* data, int64_t size, QString& error);
    int64_t Size() const { return size_.load(std::memory_order_acquire); }
    /// The recorded bytes as a piece.
    TSoundPiece Piece() const;
    const TWaveFormat& Format() const { return format_; }

private:
    TTake(std::shared_ptr<TSoundFile> file, const TWaveFormat& format, int64_t maxBytes);

    std::shared_ptr<TSoundFile> file_;
    TWaveFormat format_;
    int64_t maxBytes_;
    std::atomic<int64_t> size_{0};
    int64_t flushedTo_ = 0; // audio thread only
};

/// Takes that a recording left beside path when the program ended in the middle of it: the
/// hidden regular files ".name.take-XXXXXX", oldest first, without those a running recorder
/// still holds.
QStringList FindLeftoverTakes(const QString& path);

/// The format and the bytes of sound a leftover take holds (its header still says none: the
/// sound runs to the end of the file, cut to whole frames). False with error when the file is
/// no take this device wrote.
bool ReadLeftoverTake(const QString& take, TWaveFileInfo& info, QString& error);

/// Puts the sound of a leftover take at the end of the WAV file at path (made when missing;
/// when it holds no sound it takes the take's format) and removes the take. The file is
/// replaced in one step, never through a link; a failure leaves both files as they were.
bool RecoverLeftoverTake(const QString& take, const QString& path, QString& error);

/// The sound of one WAV file as the device sees it: a list of pieces taken from the file and
/// from takes recorded over it. Nothing is written to the file until Save. Structure changes
/// happen on one thread; Read may run on another while the structure stays unchanged.
class TWaveDocument {
public:
    TWaveDocument() = default;
    TWaveDocument(const TWaveDocument&) = delete;
    TWaveDocument& operator=(const TWaveDocument&) = delete;

    /// Opens a WAV file (regular files only, never through a symbolic link, never blocking on a
    /// FIFO).
    bool Load(const QString& path, QString& error);
    void Clear();
    bool Loaded() const { return loaded_; }

    const QString& Path() const { return path_; }
    const TWaveFormat& Format() const { return format_; }
    /// Bytes of sound.
    int64_t Size() const;
    /// True when the sound differs from what the file holds.
    bool Dirty() const { return dirty_; }

    /// Copies up to size bytes of sound from byte pos into buf; returns the count (0 at the
    /// end) or -1 on a read error.
    int64_t Read(int64_t pos, char* buf, int64_t size) const;

    /// Lays piece over the sound from byte pos on: what lay there is replaced, and the sound
    /// grows when the piece reaches past its end. pos beyond the end counts as the end.
    void Overwrite(int64_t pos, const TSoundPiece& piece);

    /// Writes the sound into the document's file: a valid WAV header and the data, written to
    /// a temporary file in the same folder, flushed, and renamed over the file, so a failure
    /// leaves the old file as it was. A take that is the whole sound is renamed into place
    /// without copying.
    bool Save(QString& error);

private:
    bool SaveByRename(const TSoundPiece& piece, unsigned mode, QString& error);
    bool SaveByCopy(unsigned mode, QString& error);

    bool loaded_ = false;
    bool dirty_ = false;
    QString path_;
    TWaveFormat format_;
    std::vector<TSoundPiece> pieces_;
};
