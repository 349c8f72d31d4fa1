// Reading, writing and removing ID3v1 tags on real files.
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/FileUtil.h"
#include "metadata/Genres.h"
#include "metadata/id3tag.h"
#include "support/TestSupport.h"

namespace {

QString L(const char* s)
{
    return QString::fromUtf8(s);
}

// Stand-in MP3 audio: bytes a tag must never touch.
QByteArray Audio(int size)
{
    QByteArray a(size, '\0');
    for (int i = 0; i < size; ++i)
        a[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return a;
}

QByteArray TagBlock(const QByteArray& body)
{
    QByteArray b = "TAG" + body;
    b.resize(Tid3tag::TagSize, '\0');
    return b;
}

class Id3 : public ::testing::Test {
protected:
    QString File(const char* name) { return dir.File(L(name)); }
    ProgramDirScope dir;
};

} // namespace

TEST_F(Id3, WriteAppendsOnceThenReplacesAndReadsBack)
{
    const QString mp3 = File("a.mp3");
    const QByteArray audio = Audio(5000);
    WriteWholeFile(mp3, audio);

    Tid3tag tag;
    tag.SetTitle(L("Title"));
    tag.SetArtist(L("Artist"));
    tag.SetAlbum(L("Album"));
    tag.SetYear(L("1999"));
    tag.SetComment(L("Comment"));
    tag.SetTrack(7);
    tag.Genre = GenreToByte(GenrePositionOf(L("Rock")));
    ASSERT_EQ(tag.WriteTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(tag.TagFile(), mp3);
    QByteArray data = ReadWholeFile(mp3);
    ASSERT_EQ(data.size(), audio.size() + 128);
    EXPECT_EQ(data.left(audio.size()), audio);
    const QByteArray block = data.mid(audio.size());
    EXPECT_EQ(block.left(8), QByteArray("TAGTitle"));
    EXPECT_EQ(block.at(125), '\0');
    EXPECT_EQ(block.at(126), 7);
    EXPECT_EQ(static_cast<uint8_t>(block.at(127)), 17); // Rock

    tag.SetTitle(L("Other"));
    ASSERT_EQ(tag.WriteTag(L("=")), Tid3tag::Ok);
    data = ReadWholeFile(mp3);
    ASSERT_EQ(data.size(), audio.size() + 128); // grew only once
    EXPECT_EQ(data.left(audio.size()), audio);

    Tid3tag read;
    ASSERT_EQ(read.ReadTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(read.Title(), L("Other"));
    EXPECT_EQ(read.Artist(), L("Artist"));
    EXPECT_EQ(read.Album(), L("Album"));
    EXPECT_EQ(read.Year(), L("1999"));
    EXPECT_EQ(read.Comment(), L("Comment"));
    EXPECT_TRUE(read.HasTrack());
    EXPECT_EQ(read.Track(), 7);
    EXPECT_EQ(GenreNameAt(ByteToGenre(read.Genre)), L("Rock"));
    EXPECT_EQ(read.TagFile(), mp3);

    read.RemoveTag();
    EXPECT_EQ(ReadWholeFile(mp3), audio);
    EXPECT_EQ(read.RemoveTag(), false); // nothing left to cut: audio stays whole
    EXPECT_EQ(ReadWholeFile(mp3), audio);
}

TEST_F(Id3, FieldWidthsCommentsAndTrackForms)
{
    const QString mp3 = File("w.mp3");
    WriteWholeFile(mp3, Audio(300));
    Tid3tag tag;
    tag.SetTitle(L("123456789012345678901234567890EXTRA"));
    EXPECT_EQ(tag.Title().size(), 30);
    tag.SetYear(L("19999"));
    EXPECT_EQ(tag.Year(), L("1999"));
    // 30 characters of comment, no track: written whole.
    tag.SetComment(L("abcdefghijklmnopqrstuvwxyz1234"));
    ASSERT_EQ(tag.WriteTag(mp3), Tid3tag::Ok);
    Tid3tag read;
    EXPECT_EQ(read.ReadTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(read.Comment(), L("abcdefghijklmnopqrstuvwxyz1234"));
    EXPECT_FALSE(read.HasTrack());
    // With a track number the comment is cut to 28.
    tag.SetTrack(12);
    ASSERT_EQ(tag.WriteTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(read.ReadTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(read.Comment(), L("abcdefghijklmnopqrstuvwxyz12"));
    EXPECT_EQ(read.Track(), 12);
    // Track 0 goes back to the plain form.
    tag.SetTrack(0);
    EXPECT_FALSE(tag.HasTrack());
    ASSERT_EQ(tag.WriteTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(read.ReadTag(mp3), Tid3tag::Ok);
    EXPECT_FALSE(read.HasTrack());
    EXPECT_EQ(read.Comment().size(), 30);
}

TEST_F(Id3, ReadsByte125And126AsTheTrackRuleSays)
{
    const QString mp3 = File("r.mp3");
    QByteArray body(125, ' ');
    body.replace(94, 28, QByteArray(28, 'c'));
    QByteArray block = TagBlock(body);
    block[125] = 'X'; // not 0: a 30-character comment, no track, whatever 126 holds
    block[126] = 5;
    block[127] = 12;
    WriteWholeFile(mp3, Audio(10) + block);
    Tid3tag t;
    EXPECT_EQ(t.ReadTag(mp3), Tid3tag::Ok);
    EXPECT_FALSE(t.HasTrack());
    EXPECT_EQ(t.Track(), 0);
    EXPECT_EQ(t.Comment().size(), 30);
    EXPECT_TRUE(t.Comment().endsWith(QString(QChar(5))));
    EXPECT_EQ(GenreNameAt(ByteToGenre(t.Genre)), L("Other"));
    // Trailing blanks, zeros and 0xFF are not part of the text.
    EXPECT_TRUE(t.Title().isEmpty());
    block[3] = 'T';
    block[4] = '\xff';
    block[5] = ' ';
    block[125] = '\0';
    block[126] = '\0';
    WriteWholeFile(mp3, Audio(10) + block);
    EXPECT_EQ(t.ReadTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(t.Title(), L("T"));
    EXPECT_FALSE(t.HasTrack());
    EXPECT_EQ(t.Comment(), QString(28, QLatin1Char('c')));
    // Only trailing 0, blank and 255 bytes go: text after an inner zero byte stays.
    block.replace(3, 30, QByteArray("Name\0more text \xff\0\0 \0", 21) + QByteArray(9, '\0'));
    WriteWholeFile(mp3, Audio(10) + block);
    EXPECT_EQ(t.ReadTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(t.Title(), QString(QStringLiteral("Name")) + QChar(0) + QStringLiteral("more text"));
}

TEST_F(Id3, GenreOutsideTheListIsFlagged)
{
    const QString mp3 = File("g.mp3");
    QByteArray block = TagBlock({});
    for (const auto& [genre, code] : {std::pair{200, 128}, {147, 0}, {148, 128}, {255, 0}}) {
        block[127] = static_cast<char>(genre);
        WriteWholeFile(mp3, block);
        Tid3tag t;
        EXPECT_EQ(t.ReadTag(mp3), code) << genre;
        EXPECT_EQ(t.Genre, genre);
    }
    Tid3tag t;
    t.ReadTag(mp3);
    EXPECT_EQ(ByteToGenre(t.Genre), 0);
}

TEST_F(Id3, FilesWithoutATagAndMissingOrProtectedFiles)
{
    Tid3tag t;
    EXPECT_EQ(t.ReadTag(File("none.mp3")), Tid3tag::ErrOpen);
    EXPECT_EQ(t.WriteTag(File("none.mp3")), Tid3tag::ErrOpen);
    EXPECT_TRUE(t.TagFile().isEmpty());

    // 100 bytes: no tag to read, and tagging appends.
    const QString small = File("small.mp3");
    WriteWholeFile(small, Audio(100));
    EXPECT_EQ(t.ReadTag(small), Tid3tag::ErrNoTag);
    EXPECT_EQ(t.TagFile(), small);
    EXPECT_EQ(t.WriteTag(small), Tid3tag::Ok);
    EXPECT_EQ(ReadWholeFile(small).size(), 228);

    // Damaged last 128 bytes: no tag, and the tag goes after them, not over them.
    const QString damaged = File("damaged.mp3");
    QByteArray bad = Audio(1000) + TagBlock("x");
    bad[bad.size() - 128] = 't';
    WriteWholeFile(damaged, bad);
    EXPECT_EQ(t.ReadTag(damaged), Tid3tag::ErrNoTag);
    EXPECT_EQ(t.WriteTag(damaged), Tid3tag::Ok);
    const QByteArray after = ReadWholeFile(damaged);
    EXPECT_EQ(after.size(), bad.size() + 128);
    EXPECT_EQ(after.left(bad.size()), bad);

    // Marked read-only (even for root): refused and untouched.
    const QString ro = File("ro.mp3");
    WriteWholeFile(ro, Audio(500));
    ASSERT_EQ(::chmod(QFile::encodeName(ro).constData(), 0444), 0);
    EXPECT_EQ(t.WriteTag(ro), Tid3tag::ErrReadOnly);
    EXPECT_EQ(ReadWholeFile(ro), Audio(500));

    // Held by another writer.
    const QString busy = File("busy.mp3");
    WriteWholeFile(busy, Audio(500));
    const int fd = ::open(QFile::encodeName(busy).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_TRUE(LockExclusive(fd));
    EXPECT_EQ(t.WriteTag(busy), Tid3tag::ErrOpen);
    ::close(fd);
    EXPECT_EQ(ReadWholeFile(busy), Audio(500));
    // A folder is no file.
    EXPECT_EQ(t.ReadTag(dir.Path()), Tid3tag::ErrOpen);
}

TEST_F(Id3, TextIsLatin1WithQuestionMarksForTheRest)
{
    const QString mp3 = File("l.mp3");
    WriteWholeFile(mp3, Audio(200));
    Tid3tag tag;
    tag.SetTitle(L("Café Ünïcode ✓ 😀 end"));
    tag.SetArtist(QString(40, QChar(0x263A)));
    tag.SetAlbum(L("😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀"));
    ASSERT_EQ(tag.WriteTag(mp3), Tid3tag::Ok);
    const QByteArray block = ReadWholeFile(mp3).right(128);
    EXPECT_EQ(block.mid(3, 20), QByteArray("Caf\xe9 \xdcn\xef"
                                           "code ? ? end"));
    EXPECT_EQ(block.mid(33, 30), QByteArray(30, '?'));
    EXPECT_EQ(block.mid(63, 30), QByteArray(30, '?')); // one "?" per character, not per half
    Tid3tag read;
    ASSERT_EQ(read.ReadTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(read.Title(), L("Café Ünïcode ? ? end"));
}

TEST_F(Id3, EmptyGenreEntryIsWrittenAs255)
{
    const QString mp3 = File("e.mp3");
    WriteWholeFile(mp3, Audio(200));
    Tid3tag tag;
    EXPECT_EQ(tag.Genre, 255);
    tag.Genre = GenreToByte(0);
    ASSERT_EQ(tag.WriteTag(mp3), Tid3tag::Ok);
    EXPECT_EQ(static_cast<uint8_t>(ReadWholeFile(mp3).at(327)), 255);
    // A fresh tag writes only zeros into its text fields.
    EXPECT_EQ(ReadWholeFile(mp3).mid(203, 124), QByteArray(124, '\0'));
}
