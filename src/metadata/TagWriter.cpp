#include "metadata/TagWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include "core/FileUtil.h"

namespace {

TagLib::String ToTag(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return TagLib::String(utf8.constData(), TagLib::String::UTF8);
}

/// The owner MusicBrainz gives its recording ids in an ID3v2 UFID frame.
const char* const kMusicBrainzOwner = "http://musicbrainz.org";

TagLib::ByteVector Bytes(const QByteArray& data)
{
    return TagLib::ByteVector(data.constData(), static_cast<unsigned int>(data.size()));
}

/// A FLAC picture, as a FLAC file holds it and as Ogg carries it in METADATA_BLOCK_PICTURE.
std::unique_ptr<TagLib::FLAC::Picture> FlacPicture(const TFrontCover& cover)
{
    auto picture = std::make_unique<TagLib::FLAC::Picture>();
    picture->setType(TagLib::FLAC::Picture::FrontCover);
    picture->setMimeType(ToTag(cover.Mime));
    picture->setData(Bytes(cover.Data));
    return picture;
}

/// The front covers among pictures, which the new cover replaces; other pictures stay.
template <typename Picture>
TagLib::List<Picture*> FrontCovers(const TagLib::List<Picture*>& pictures)
{
    TagLib::List<Picture*> fronts;
    for (Picture* p : pictures)
        if (p->type() == Picture::FrontCover)
            fronts.append(p);
    return fronts;
}

QString TrackText(const TTagFields& f)
{
    return f.TrackTotal > 0 ? QStringLiteral("%1/%2").arg(f.Track).arg(f.TrackTotal)
                            : QString::number(f.Track);
}

void SetXiph(TagLib::Ogg::XiphComment& tag, const TTagFields& f)
{
    const auto set = [&](const char* name, const QString& value) {
        tag.removeFields(name);
        if (!value.isEmpty())
            tag.addField(name, ToTag(value));
    };
    set("TITLE", f.Title);
    set("ARTIST", f.Artist);
    set("ALBUM", f.Album);
    set("TRACKNUMBER", f.Track > 0 ? QString::number(f.Track) : QString());
    set("TRACKTOTAL", f.TrackTotal > 0 ? QString::number(f.TrackTotal) : QString());
    set("DATE", f.Year);
    set("GENRE", f.Genre);
    set("COMMENT", f.Comment);
    set("ALBUMARTIST", f.AlbumArtist);
    set("MUSICBRAINZ_ALBUMID", f.MbAlbumId);
    set("MUSICBRAINZ_TRACKID", f.MbTrackId);
    set("MUSICBRAINZ_DISCID", f.MbDiscId);
    if (f.Cover.IsEmpty())
        return;
    for (TagLib::FLAC::Picture* old : FrontCovers(tag.pictureList()))
        tag.removePicture(old, true);
    tag.addPicture(FlacPicture(f.Cover).release());
}

void SetFlacCover(TagLib::FLAC::File& file, const TFrontCover& cover)
{
    if (cover.IsEmpty())
        return;
    for (TagLib::FLAC::Picture* old : FrontCovers(file.pictureList()))
        file.removePicture(old, true);
    file.addPicture(FlacPicture(cover).release());
}

/// A TXXX frame as the common taggers name the MusicBrainz ids.
void SetUserText(TagLib::ID3v2::Tag& tag, const char* description, const QString& value)
{
    while (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, description))
        tag.removeFrame(old, true);
    if (value.isEmpty())
        return;
    auto frame = std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(TagLib::String::UTF8);
    frame->setDescription(description);
    frame->setText(ToTag(value));
    tag.addFrame(frame.release());
}

/// The recording id, in the UFID frame where MusicBrainz's own tagger and the libraries that
/// read it look for it.
void SetRecordingId(TagLib::ID3v2::Tag& tag, const QString& id)
{
    const TagLib::ID3v2::FrameList ufids = tag.frameList("UFID");
    for (TagLib::ID3v2::Frame* frame : ufids) {
        auto* ufid = dynamic_cast<TagLib::ID3v2::UniqueFileIdentifierFrame*>(frame);
        if (ufid != nullptr && ufid->owner() == kMusicBrainzOwner)
            tag.removeFrame(ufid, true);
    }
    if (!id.isEmpty())
        tag.addFrame(
            new TagLib::ID3v2::UniqueFileIdentifierFrame(kMusicBrainzOwner, Bytes(id.toUtf8())));
}

void SetApic(TagLib::ID3v2::Tag& tag, const TFrontCover& cover)
{
    if (cover.IsEmpty())
        return;
    const TagLib::ID3v2::FrameList apics = tag.frameList("APIC");
    for (TagLib::ID3v2::Frame* frame : apics) {
        auto* apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (apic != nullptr && apic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
            tag.removeFrame(apic, true);
    }
    auto apic = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    apic->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    apic->setMimeType(ToTag(cover.Mime));
    apic->setPicture(Bytes(cover.Data));
    tag.addFrame(apic.release());
}

void SetId3v2(TagLib::ID3v2::Tag& tag, const TTagFields& f)
{
    const auto set = [&](const char* id, const QString& value) {
        tag.removeFrames(id);
        if (value.isEmpty())
            return;
        auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(
            TagLib::ByteVector(id), TagLib::String::UTF8);
        frame->setText(ToTag(value));
        tag.addFrame(frame.release());
    };
    set("TIT2", f.Title);
    set("TPE1", f.Artist);
    set("TALB", f.Album);
    set("TRCK", f.Track > 0 ? TrackText(f) : QString());
    set("TDRC", f.Year);
    set("TCON", f.Genre);
    tag.removeFrames("COMM");
    if (!f.Comment.isEmpty()) {
        auto comment = std::make_unique<TagLib::ID3v2::CommentsFrame>(TagLib::String::UTF8);
        comment->setLanguage("eng");
        comment->setText(ToTag(f.Comment));
        tag.addFrame(comment.release());
    }
    set("TPE2", f.AlbumArtist);
    SetUserText(tag, "MusicBrainz Album Id", f.MbAlbumId);
    SetUserText(tag, "MusicBrainz Disc Id", f.MbDiscId);
    SetRecordingId(tag, f.MbTrackId);
    SetApic(tag, f.Cover);
}

enum class TContainer { Unknown, Flac, Vorbis, Opus };

/// Which file carrying Vorbis comments this is, by its first bytes: a file being written has a
/// temporary name, and a name says nothing certain about what a file holds.
TContainer ContainerOf(TagLib::FileStream& stream)
{
    stream.seek(0);
    const TagLib::ByteVector head = stream.readBlock(64);
    stream.seek(0);
    // Of these formats only FLAC is found behind an ID3v2 tag some tools put first.
    if (head.startsWith("fLaC") || head.startsWith("ID3"))
        return TContainer::Flac;
    if (!head.startsWith("OggS"))
        return TContainer::Unknown;
    // The first Ogg page holds the identification header, right after its segment table.
    if (head.find("OpusHead") >= 0)
        return TContainer::Opus;
    if (head.find(TagLib::ByteVector("\x01vorbis", 7)) >= 0)
        return TContainer::Vorbis;
    return TContainer::Unknown;
}

} // namespace

TFrontCover FrontCoverOf(const QByteArray& image)
{
    if (image.startsWith("\xff\xd8\xff"))
        return {image, QStringLiteral("image/jpeg")};
    if (image.startsWith("\x89PNG\r\n\x1a\n"))
        return {image, QStringLiteral("image/png")};
    return {};
}

QString WriteTags(const QString& path, TTagKind kind, const TTagFields& fields)
{
    if (kind == TTagKind::None)
        return {};
    const int fd = OpenRegularFile(path, O_RDWR | O_NOFOLLOW);
    if (fd < 0)
        return QStringLiteral("Cannot write the tags of \"%1\". %2")
            .arg(path, SystemErrorText(errno));
    TagLib::FileStream stream(fd, false); // owns fd from here
    const QString unreadable =
        QStringLiteral("Cannot write the tags of \"%1\": it is not a file of its format.")
            .arg(path);
    bool saved = false;
    const TContainer container = ContainerOf(stream);
    if (kind == TTagKind::Id3v2) {
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        if (!file.isValid())
            return unreadable;
        SetId3v2(*file.ID3v2Tag(true), fields);
        // Only the ID3v2 tag: an ID3v1 tag at the end is left exactly as it is.
        saved = file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                          TagLib::File::DoNotDuplicate);
    } else if (container == TContainer::Flac) {
        TagLib::FLAC::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        if (!file.isValid())
            return unreadable;
        // The cover goes into a PICTURE block of its own, not into the comments.
        TTagFields comments = fields;
        comments.Cover = {};
        SetXiph(*file.xiphComment(true), comments);
        SetFlacCover(file, fields.Cover);
        saved = file.save();
    } else if (container == TContainer::Opus) {
        TagLib::Ogg::Opus::File file(&stream, false);
        if (!file.isValid())
            return unreadable;
        SetXiph(*file.tag(), fields);
        saved = file.save();
    } else if (container == TContainer::Vorbis) {
        TagLib::Ogg::Vorbis::File file(&stream, false);
        if (!file.isValid())
            return unreadable;
        SetXiph(*file.tag(), fields);
        saved = file.save();
    } else {
        return unreadable;
    }
    if (!saved)
        return QStringLiteral("Cannot write the tags of \"%1\".").arg(path);
    return {};
}
