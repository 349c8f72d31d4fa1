#include "metadata/TagWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>

#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tfilestream.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include "core/FileUtil.h"

namespace {

TagLib::String ToTag(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return TagLib::String(utf8.constData(), TagLib::String::UTF8);
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
}

} // namespace

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
    const QString lower = path.toLower();
    if (kind == TTagKind::Id3v2) {
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        if (!file.isValid())
            return unreadable;
        SetId3v2(*file.ID3v2Tag(true), fields);
        // Only the ID3v2 tag: an ID3v1 tag at the end is left exactly as it is.
        saved = file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                          TagLib::File::DoNotDuplicate);
    } else if (lower.endsWith(QLatin1String(".flac"))) {
        TagLib::FLAC::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        if (!file.isValid())
            return unreadable;
        SetXiph(*file.xiphComment(true), fields);
        saved = file.save();
    } else if (lower.endsWith(QLatin1String(".opus"))) {
        TagLib::Ogg::Opus::File file(&stream, false);
        if (!file.isValid())
            return unreadable;
        SetXiph(*file.tag(), fields);
        saved = file.save();
    } else {
        TagLib::Ogg::Vorbis::File file(&stream, false);
        if (!file.isValid())
            return unreadable;
        SetXiph(*file.tag(), fields);
        saved = file.save();
    }
    if (!saved)
        return QStringLiteral("Cannot write the tags of \"%1\".").arg(path);
    return {};
}
