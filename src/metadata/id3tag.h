#pragma once

#include <cstdint>

#include <QByteArray>
#include <QString>

/// The 128-byte ID3v1 tag at the end of an MP3 file, with the ID3v1.1 track number.
///
/// Text is ISO-8859-1 in the file: characters outside it are written as "?". Results of
/// ReadTag and WriteTag: below 256 is success (ReadTag may add the flag 128: genre byte above
/// 147 and not 255); 256 the file does not exist or cannot be opened, 512 it is read-only,
/// 768 read error, 1024 write error, 1280 other input/output error, 4096 no tag (file shorter
/// than 128 bytes, or no "TAG" at its end). Used from the UI thread only.
class Tid3tag {
public:
    static constexpr uint16_t Ok = 0;
    static constexpr uint16_t FlagBadGenre = 128;
    static constexpr uint16_t ErrOpen = 256;
    static constexpr uint16_t ErrReadOnly = 512;
    static constexpr uint16_t ErrRead = 768;
    static constexpr uint16_t ErrWrite = 1024;
    static constexpr uint16_t ErrIo = 1280;
    static constexpr uint16_t ErrNoTag = 4096;

    static constexpr int TextWidth = 30;
    static constexpr int YearWidth = 4;
    static constexpr int TagSize = 128;

    /// Genre number; 255 = no genre. Assigned directly.
    uint8_t Genre = 255;

    /// Store the text cut to 30 characters (the year to 4).
    void SetTitle(const QString& text);
    void SetArtist(const QString& text);
    void SetAlbum(const QString& text);
    void SetComment(const QString& text);
    void SetYear(const QString& text);
    /// Stores the track; a track other than 0 makes the tag an ID3v1.1 tag.
    void SetTrack(uint8_t track);

    const QString& Title() const { return title_; }
    const QString& Artist() const { return artist_; }
    const QString& Album() const { return album_; }
    const QString& Comment() const { return comment_; }
    const QString& Year() const { return year_; }
    uint8_t Track() const { return track_; }
    bool HasTrack() const { return hasTrack_; }
    /// The file last read, or last written successfully.
    const QString& TagFile() const { return tagFile_; }

    /// Reads the tag of fileName into the fields.
    uint16_t ReadTag(const QString& fileName);
    /// Writes the tag over the file's existing tag, or appends it; "=" means TagFile. Only the
    /// last 128 bytes are ever written; a failed append is cut off again.
    uint16_t WriteTag(const QString& fileName);
    /// Cuts the tag off TagFile when it has one. Every failure is ignored; returns false.
    bool RemoveTag();

    /// Fills the fields from a 128-byte block (ReadTag's parsing); ErrNoTag when it is not a tag.
    uint16_t ParseBlock(const QByteArray& block);
    /// The 128 bytes WriteTag writes.
    QByteArray BuildBlock() const;

private:
    QString title_;
    QString artist_;
    QString album_;
    QString comment_;
    QString year_;
    uint8_t track_ = 0;
    bool hasTrack_ = false;
    QString tagFile_;
};
