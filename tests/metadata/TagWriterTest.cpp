// Tags of every format, read back by an independent reader (mutagen), never by our own.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include "AudioTestUtil.h"
#include "metadata/TagWriter.h"
#include "metadata/id3tag.h"
#include "support/TestSupport.h"

namespace {

class TagWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"sox", "flac", "oggenc", "opusenc", "lame", "mutagen-inspect"})
            if (!HaveProgram(QString::fromUtf8(tool)))
                GTEST_SKIP() << tool << " not installed";
        ASSERT_EQ(
            RunProgram(QStringLiteral("sox"),
                       {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                        QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                        QStringLiteral("16"), Path("in.wav"), QStringLiteral("synth"),
                        QStringLiteral("0.5"), QStringLiteral("sine"), QStringLiteral("440")}),
            0);
    }
    QString Path(const char* name) const
    {
        return dir.path() + QStringLiteral("/") + QString::fromUtf8(name);
    }
    /// mutagen's view of the file's tags, one "KEY=value" per line.
    QString Inspect(const char* name)
    {
        QByteArray out;
        EXPECT_EQ(RunProgram(QStringLiteral("mutagen-inspect"), {Path(name)}, out), 0);
        return QString::fromUtf8(out);
    }
    QTemporaryDir dir;
};

TTagFields Fields()
{
    TTagFields f;
    f.Title = QString::fromUtf8("Caf\xc3\xa9 / Nuit \xf0\x9f\x8e\xb5");
    f.Artist = QStringLiteral("AC/DC");
    f.Album = QStringLiteral("Back <b>in</b> Black");
    f.Year = QStringLiteral("1980");
    f.Genre = QStringLiteral("Hard Rock");
    f.Track = 3;
    f.TrackTotal = 10;
    return f;
}

TEST_F(TagWriterTest, VorbisCommentsInFlacOggAndOpus)
{
    struct Case {
        const char* file;
        QString tool;
        QStringList args;
    };
    const Case cases[] = {
        {"t.flac",
         QStringLiteral("flac"),
         {QStringLiteral("-s"), QStringLiteral("-o"), Path("t.flac"), Path("in.wav")}},
        {"t.ogg",
         QStringLiteral("oggenc"),
         {QStringLiteral("-Q"), QStringLiteral("-o"), Path("t.ogg"), Path("in.wav")}},
        {"t.opus",
         QStringLiteral("opusenc"),
         {QStringLiteral("--quiet"), Path("in.wav"), Path("t.opus")}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(RunProgram(c.tool, c.args), 0) << c.file;
        ASSERT_EQ(WriteTags(Path(c.file), TTagKind::VorbisComment, Fields()), QString()) << c.file;
        const QString tags = Inspect(c.file);
        for (const QString& line :
             {QString::fromUtf8("title=Caf\xc3\xa9 / Nuit \xf0\x9f\x8e\xb5"),
              QStringLiteral("artist=AC/DC"), QStringLiteral("album=Back <b>in</b> Black"),
              QStringLiteral("tracknumber=3"), QStringLiteral("tracktotal=10"),
              QStringLiteral("date=1980"), QStringLiteral("genre=Hard Rock")})
            EXPECT_TRUE(tags.contains(line, Qt::CaseInsensitive))
                << c.file << " lacks " << line.toStdString() << " in\n"
                << tags.toStdString();
        EXPECT_FALSE(tags.contains(QStringLiteral("comment="), Qt::CaseInsensitive)) << c.file;
    }
}

TEST_F(TagWriterTest, Id3v24AtTheStartKeepsTheId3v1AtTheEnd)
{
    ASSERT_EQ(RunProgram(QStringLiteral("lame"),
                         {QStringLiteral("--quiet"), Path("in.wav"), Path("t.mp3")}),
              0);
    Tid3tag v1;
    v1.SetTitle(QStringLiteral("Old title"));
    ASSERT_LT(v1.WriteTag(Path("t.mp3")), 256);
    const QByteArray before = ReadWholeFile(Path("t.mp3")).right(128);

    TTagFields f = Fields();
    f.Comment = QStringLiteral("ripped");
    ASSERT_EQ(WriteTags(Path("t.mp3"), TTagKind::Id3v2, f), QString());
    const QByteArray after = ReadWholeFile(Path("t.mp3"));
    EXPECT_TRUE(after.startsWith("ID3\x04"));
    EXPECT_EQ(after.right(128), before);
    const QString tags = Inspect("t.mp3");
    for (const QString& line :
         {QString::fromUtf8("TIT2=Caf\xc3\xa9 / Nuit \xf0\x9f\x8e\xb5"),
          QStringLiteral("TPE1=AC/DC"), QStringLiteral("TALB=Back <b>in</b> Black"),
          QStringLiteral("TRCK=3/10"), QStringLiteral("TDRC=1980"),
          QStringLiteral("TCON=Hard Rock"), QStringLiteral("=ripped")})
        EXPECT_TRUE(tags.contains(line)) << line.toStdString() << " in\n" << tags.toStdString();
}

TEST_F(TagWriterTest, RefusesLinksAndFilesOfAnotherFormat)
{
    WriteWholeFile(Path("x.flac"), QByteArray(4096, 'x'));
    EXPECT_FALSE(WriteTags(Path("x.flac"), TTagKind::VorbisComment, Fields()).isEmpty());
    ASSERT_EQ(RunProgram(QStringLiteral("flac"), {QStringLiteral("-s"), QStringLiteral("-o"),
                                                  Path("real.flac"), Path("in.wav")}),
              0);
    ASSERT_EQ(::symlink(QFile::encodeName(Path("real.flac")).constData(),
                        QFile::encodeName(Path("link.flac")).constData()),
              0);
    const QByteArray before = ReadWholeFile(Path("real.flac"));
    EXPECT_FALSE(WriteTags(Path("link.flac"), TTagKind::VorbisComment, Fields()).isEmpty());
    EXPECT_EQ(ReadWholeFile(Path("real.flac")), before);
}

} // namespace

namespace {

TEST_F(TagWriterTest, MusicBrainzIdsAndTheFrontCoverInEveryFormat)
{
    for (const char* tool : {"ffmpeg", "metaflac"})
        if (!HaveProgram(QString::fromUtf8(tool)))
            GTEST_SKIP() << tool << " not installed";
    ASSERT_EQ(RunProgram(QStringLiteral("ffmpeg"),
                         {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                          QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("color=c=red:s=8x8"), QStringLiteral("-frames:v"),
                          QStringLiteral("1"), Path("cover.png")}),
              0);
    const QByteArray png = ReadWholeFile(Path("cover.png"));
    TTagFields f = Fields();
    f.AlbumArtist = QStringLiteral("Various Artists");
    f.MbAlbumId = QStringLiteral("11111111-2222-3333-4444-555555555555");
    f.MbTrackId = QStringLiteral("66666666-7777-8888-9999-000000000000");
    f.MbDiscId = QStringLiteral("arIS30RPWowvwNEqsqdDnZzDGhk-");
    f.Cover = FrontCoverOf(png);
    ASSERT_EQ(f.Cover.Mime, QStringLiteral("image/png"));
    const QStringList vorbis{QStringLiteral("ALBUMARTIST=Various Artists"),
                             QStringLiteral("MUSICBRAINZ_ALBUMID=") + f.MbAlbumId,
                             QStringLiteral("MUSICBRAINZ_TRACKID=") + f.MbTrackId,
                             QStringLiteral("MUSICBRAINZ_DISCID=") + f.MbDiscId};
    // ID3v2 as MusicBrainz's own tagger writes it: the recording id in a UFID frame.
    const QStringList id3{QStringLiteral("TPE2=Various Artists"),
                          QStringLiteral("TXXX=MusicBrainz Album Id=") + f.MbAlbumId,
                          QStringLiteral("TXXX=MusicBrainz Disc Id=") + f.MbDiscId,
                          QStringLiteral("UFID=http://musicbrainz.org=b'") + f.MbTrackId};
    const struct {
        const char* file;
        QString tool;
        QStringList args;
        TTagKind kind;
        QStringList lines;
    } cases[] = {
        {"t.flac",
         QStringLiteral("flac"),
         {QStringLiteral("-s"), QStringLiteral("-o"), Path("t.flac"), Path("in.wav")},
         TTagKind::VorbisComment,
         vorbis},
        {"t.ogg",
         QStringLiteral("oggenc"),
         {QStringLiteral("-Q"), QStringLiteral("-o"), Path("t.ogg"), Path("in.wav")},
         TTagKind::VorbisComment,
         vorbis},
        {"t.opus",
         QStringLiteral("opusenc"),
         {QStringLiteral("--quiet"), Path("in.wav"), Path("t.opus")},
         TTagKind::VorbisComment,
         vorbis},
        {"t.mp3",
         QStringLiteral("lame"),
         {QStringLiteral("--quiet"), Path("in.wav"), Path("t.mp3")},
         TTagKind::Id3v2,
         id3},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(RunProgram(c.tool, c.args), 0) << c.file;
        // Written twice: the second write replaces the cover and the ids, never adds to them.
        ASSERT_EQ(WriteTags(Path(c.file), c.kind, f), QString()) << c.file;
        ASSERT_EQ(WriteTags(Path(c.file), c.kind, f), QString()) << c.file;
        const QString tags = Inspect(c.file);
        for (const QString& line : c.lines)
            EXPECT_EQ(tags.count(line), 1) << c.file << " " << line.toStdString() << " in\n"
                                           << tags.toStdString();
        // The picture as ffmpeg finds it: one attached front cover, the very bytes given.
        QByteArray probe;
        EXPECT_EQ(RunProgram(QStringLiteral("ffprobe"),
                             {QStringLiteral("-v"), QStringLiteral("error"),
                              QStringLiteral("-show_entries"),
                              QStringLiteral("stream=codec_name:stream_disposition=attached_pic"),
                              QStringLiteral("-of"), QStringLiteral("csv=p=0"), Path(c.file)},
                             probe),
                  0);
        EXPECT_EQ(probe.count("png,1"), 1) << c.file << "\n" << probe.toStdString();
        const QString out = Path("out.png");
        QFile::remove(out);
        ASSERT_EQ(RunProgram(QStringLiteral("ffmpeg"),
                             {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                              Path(c.file), QStringLiteral("-map"), QStringLiteral("0:v"),
                              QStringLiteral("-c"), QStringLiteral("copy"), QStringLiteral("-f"),
                              QStringLiteral("image2"), out}),
                  0)
            << c.file;
        EXPECT_TRUE(ReadWholeFile(out) == png) << c.file;
    }
    // FLAC keeps it in a PICTURE block of its own, typed as the front cover.
    const QString exported = Path("exported.png");
    ASSERT_EQ(RunProgram(QStringLiteral("metaflac"),
                         {QStringLiteral("--export-picture-to=") + exported, Path("t.flac")}),
              0);
    EXPECT_TRUE(ReadWholeFile(exported) == png);
    QByteArray blocks;
    ASSERT_EQ(RunProgram(QStringLiteral("metaflac"),
                         {QStringLiteral("--list"), QStringLiteral("--block-type=PICTURE"),
                          Path("t.flac")},
                         blocks),
              0);
    EXPECT_EQ(blocks.count("type: 3 (Cover (front))"), 1) << blocks.toStdString();
    EXPECT_EQ(blocks.count("MIME type: image/png"), 1);
}

TEST_F(TagWriterTest, OnlyJpegAndPngAreCovers)
{
    EXPECT_EQ(FrontCoverOf("\xff\xd8\xff\xe0 jfif").Mime, QStringLiteral("image/jpeg"));
    EXPECT_EQ(FrontCoverOf("\x89PNG\r\n\x1a\n....").Mime, QStringLiteral("image/png"));
    for (const QByteArray& other :
         {QByteArray(), QByteArray("GIF89a"), QByteArray("<html>"), QByteArray("\x89PNG")})
        EXPECT_TRUE(FrontCoverOf(other).IsEmpty()) << other.toStdString();
}

} // namespace
