#include <chrono>

#include <QFile>

#include <gtest/gtest.h>

#include "app/DiscInfoStore.h"
#include "app/SettingsStore.h"
#include "core/AppException.h"
#include "core/Settings.h"
#include "platform/profile/ProfileFile.h"
#include "support/TestSupport.h"

namespace {

class Stores : public ::testing::Test {
protected:
    void SetUp() override { ResetOptionsSetting(); }
    void TearDown() override { ResetOptionsSetting(); }
    ProgramDirScope dir;
};

QStringList KeyLines(const QByteArray& file)
{
    QStringList keys;
    for (const QByteArray& line : file.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('['))
            keys << QString::fromUtf8(t);
        else if (t.contains('='))
            keys << QString::fromUtf8(t.left(t.indexOf('=')));
    }
    return keys;
}

} // namespace

TEST_F(Stores, FirstRunUsesDefaultsAndWritesEveryKeyInOrder)
{
    SetAutoLookupDefaultForTests(true); // the program's own default
    LoadOptions();
    SetAutoLookupDefaultForTests(false);
    const TOptionsSetting& o = OptionsSetting();
    EXPECT_EQ(o.CommonOptions.OutputFolder, dir.Path() + QStringLiteral("Output"));
    EXPECT_EQ(o.CommonOptions.NormalizePercent, 95);
    EXPECT_EQ(o.Mp3Options.BitRate, 128);
    EXPECT_EQ(o.Mp3Options.MaxBitRate, 320);
    EXPECT_EQ(o.Mp3Options.VBRQuality, 4);
    EXPECT_EQ(o.Mp3Options.StereoMode, 1);
    EXPECT_TRUE(o.OggOptions.IsUseCompress);
    EXPECT_EQ(o.OggOptions.CompressPosition, 30);
    EXPECT_EQ(o.WMAOptions.BitRate, 8);
    EXPECT_EQ(o.CDOptions.Index, -1);
    EXPECT_EQ(o.QueryCDDB.Server, QStringLiteral("gnudb.gnudb.org"));
    EXPECT_EQ(o.QueryCDDB.Script, QStringLiteral("/~cddb/cddb.cgi"));
    EXPECT_EQ(o.QueryCDDB.Port, QStringLiteral("80"));
    EXPECT_FALSE(o.ID3.Use);
    EXPECT_EQ(o.CommonOptions.ParallelEncoders, 0); // one encoder per core
    EXPECT_TRUE(o.Tags.EmbedCover);
    EXPECT_EQ(o.MusicBrainz.Server, QStringLiteral("https://musicbrainz.org"));
    EXPECT_EQ(o.MusicBrainz.CoverArtServer, QStringLiteral("https://coverartarchive.org"));
    EXPECT_TRUE(o.MusicBrainz.AutoLookup);
    EXPECT_TRUE(o.AccurateRip.Enabled);
    EXPECT_EQ(o.AccurateRip.Server, QStringLiteral("http://www.accuraterip.com"));

    SaveOptions();
    const QStringList expected = {QStringLiteral("[CommonOptions]"),
                                  QStringLiteral("OutputFolder"),
                                  QStringLiteral("OutputFormat"),
                                  QStringLiteral("IsKeepWav"),
                                  QStringLiteral("IsNormalize"),
                                  QStringLiteral("NormalizePercent"),
                                  QStringLiteral("EnableRipTime"),
                                  QStringLiteral("RipTime"),
                                  QStringLiteral("NamePattern"),
                                  QStringLiteral("ParallelEncoders"),
                                  QStringLiteral("[Mp3Options]"),
                                  QStringLiteral("IsSelectVBR"),
                                  QStringLiteral("IsVBRHead"),
                                  QStringLiteral("BitRate"),
                                  QStringLiteral("MaxBitRate"),
                                  QStringLiteral("MpegQuality"),
                                  QStringLiteral("VBRQuality"),
                                  QStringLiteral("StereoMode"),
                                  QStringLiteral("[OggOptions]"),
                                  QStringLiteral("IsUseCompress"),
                                  QStringLiteral("CompressPosition"),
                                  QStringLiteral("MaxBitRate"),
                                  QStringLiteral("NomalBitRate"),
                                  QStringLiteral("MinBitRate"),
                                  QStringLiteral("[WMAOptions]"),
                                  QStringLiteral("BitRate"),
                                  QStringLiteral("[CDOptions]"),
                                  QStringLiteral("Index"),
                                  QStringLiteral("CDDb"),
                                  QStringLiteral("Paranoia"),
                                  QStringLiteral("ReadOffset"),
                                  QStringLiteral("[RecordOptions]"),
                                  QStringLiteral("SaveMp3"),
                                  QStringLiteral("[QueryCDDB]"),
                                  QStringLiteral("Server"),
                                  QStringLiteral("Script"),
                                  QStringLiteral("UseProxy"),
                                  QStringLiteral("ProxyAddress"),
                                  QStringLiteral("Port"),
                                  QStringLiteral("[ID3]"),
                                  QStringLiteral("Use"),
                                  QStringLiteral("[FlacOptions]"),
                                  QStringLiteral("CompressionLevel"),
                                  QStringLiteral("Verify"),
                                  QStringLiteral("[OpusOptions]"),
                                  QStringLiteral("Bitrate"),
                                  QStringLiteral("[Tags]"),
                                  QStringLiteral("Write"),
                                  QStringLiteral("EmbedCover"),
                                  QStringLiteral("[MusicBrainz]"),
                                  QStringLiteral("Server"),
                                  QStringLiteral("CoverArtServer"),
                                  QStringLiteral("AutoLookup"),
                                  QStringLiteral("[AccurateRip]"),
                                  QStringLiteral("Enabled"),
                                  QStringLiteral("Server")};
    EXPECT_EQ(KeyLines(ReadWholeFile(OptionsFilePath())), expected);
}

TEST_F(Stores, ValueRulesAndClamp)
{
    WriteWholeFile(OptionsFilePath(),
                   "[CommonOptions]\r\nOutputFolder=\r\nIsKeepWav=2\r\nOutputFormat=7\r\n"
                   "[Mp3Options]\r\nBitRate=0x80\r\nMaxBitRate=fast\r\n"
                   "[OggOptions]\r\nCompressPosition=5\r\n[QueryCDDB]\r\nServer=" +
                       QByteArray(3000, 's') + "\r\n");
    LoadOptions();
    TOptionsSetting& o = OptionsSetting();
    EXPECT_EQ(o.CommonOptions.OutputFolder, QString()); // present but empty: not the default
    EXPECT_TRUE(o.CommonOptions.IsKeepWav);
    EXPECT_EQ(o.CommonOptions.OutputFormat, 7); // kept as stored
    EXPECT_EQ(o.Mp3Options.BitRate, 128);
    EXPECT_EQ(o.Mp3Options.MaxBitRate, 320);
    EXPECT_EQ(o.OggOptions.CompressPosition, 30);
    EXPECT_EQ(o.QueryCDDB.Server.size(), 2047);
    SaveOptions();
    const TProfileFile f(OptionsFilePath());
    EXPECT_EQ(f.ReadString(QStringLiteral("CommonOptions"), QStringLiteral("IsKeepWav"), {}),
              QStringLiteral("1"));
    EXPECT_EQ(f.ReadString(QStringLiteral("Mp3Options"), QStringLiteral("BitRate"), {}),
              QStringLiteral("128"));
    EXPECT_EQ(f.ReadString(QStringLiteral("OggOptions"), QStringLiteral("CompressPosition"), {}),
              QStringLiteral("30"));

    WriteWholeFile(OptionsFilePath(), "[OggOptions]\r\nCompressPosition=250\r\n");
    LoadOptions();
    EXPECT_EQ(OptionsSetting().OggOptions.CompressPosition, 100);
    EXPECT_EQ(OptionsSetting().CDOptions.Paranoia, 2);
    EXPECT_EQ(OptionsSetting().CDOptions.ReadOffset, 0);

    // Out of range secure-reading values come back inside it.
    for (const auto& [stored, paranoia, offset] :
         {std::tuple{"Paranoia=-1\r\nReadOffset=99999", 0, kMaxReadOffset},
          std::tuple{"Paranoia=9\r\nReadOffset=-99999", 2, -kMaxReadOffset}}) {
        WriteWholeFile(OptionsFilePath(), QByteArray("[CDOptions]\r\n") + stored);
        LoadOptions();
        EXPECT_EQ(OptionsSetting().CDOptions.Paranoia, paranoia) << stored;
        EXPECT_EQ(OptionsSetting().CDOptions.ReadOffset, offset) << stored;
    }

    // The encoders' own ranges: a hand-edited file cannot ask for more or less.
    const struct {
        const char* text;
        int32_t bitrate, level;
    } clamps[] = {
        {"[OpusOptions]\r\nBitrate=0\r\n[FlacOptions]\r\nCompressionLevel=-3\r\n", 6, 0},
        {"[OpusOptions]\r\nBitrate=1000\r\n[FlacOptions]\r\nCompressionLevel=9\r\n", 512, 8}};
    for (const auto& c : clamps) {
        WriteWholeFile(OptionsFilePath(), c.text);
        LoadOptions();
        EXPECT_EQ(OptionsSetting().OpusOptions.Bitrate, c.bitrate) << c.text;
        EXPECT_EQ(OptionsSetting().FlacOptions.CompressionLevel, c.level) << c.text;
    }
}

TEST_F(Stores, UnwritableOptionsRaiseTheDocumentedError)
{
    LoadOptions();
    WriteWholeFile(OptionsFilePath(), "[CommonOptions]\r\n");
    QFile::setPermissions(OptionsFilePath(), QFile::ReadOwner);
    try {
        SaveOptions();
        FAIL() << "no error";
    } catch (const EAppException& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Unable to write to ") + OptionsFilePath());
    }
}

TEST_F(Stores, UnknownDiscLoadsDefaults)
{
    OptionsSetting().CDInfo.Track[100] = QStringLiteral("kept");
    LoadDiscInfo(QStringLiteral("12345"));
    const TCDInfo& i = OptionsSetting().CDInfo;
    EXPECT_EQ(i.Artist, QString());
    EXPECT_EQ(i.Genre, -1);
    EXPECT_EQ(i.TrackNumber, 100);
    EXPECT_EQ(i.Track[1], QStringLiteral("Track01"));
    EXPECT_EQ(i.Track[100], QStringLiteral("Track100"));
}

TEST_F(Stores, StoredDiscRulesAndTitlesBeyondTheCount)
{
    WriteWholeFile(CdInfoFilePath(),
                   "[-5]\r\nArtist=A\r\nGenre=0x11\r\nTrackNumber=12\r\n1=One\r\n5=\r\n"
                   "[77]\r\nTrackNumber=150\r\n100=Last\r\n101=Beyond\r\n");
    OptionsSetting().CDInfo.Track[13] = QStringLiteral("previous");
    LoadDiscInfo(QStringLiteral("-5"));
    TCDInfo& i = OptionsSetting().CDInfo;
    EXPECT_EQ(i.Artist, QStringLiteral("A"));
    EXPECT_EQ(i.Genre, 17);
    EXPECT_EQ(i.Track[1], QStringLiteral("One"));
    EXPECT_EQ(i.Track[5], QStringLiteral("Track05"));
    EXPECT_EQ(i.Track[13], QStringLiteral("previous"));

    LoadDiscInfo(QStringLiteral("77"));
    EXPECT_EQ(i.TrackNumber, 150);
    EXPECT_EQ(i.Track[100], QStringLiteral("Last"));
    SaveDiscInfo(QStringLiteral("77")); // a count above 100 must not run past the titles
    EXPECT_EQ(
        TProfileFile(CdInfoFilePath()).ReadString(QStringLiteral("77"), QStringLiteral("101"), {}),
        QStringLiteral("Beyond"));
}

TEST_F(Stores, SaveWritesOneSectionAndLeavesOthers)
{
    WriteWholeFile(CdInfoFilePath(), "[1]\r\nArtist=Other\r\n");
    TCDInfo& i = OptionsSetting().CDInfo;
    i.Artist = QStringLiteral("Me");
    i.Genre = -1;
    i.TrackNumber = 2;
    i.Track[1] = QStringLiteral("First");
    i.Track[2] = QStringLiteral("Second");
    SaveDiscInfo(QString()); // no disc: nothing written
    EXPECT_EQ(ReadWholeFile(CdInfoFilePath()), QByteArray("[1]\r\nArtist=Other\r\n"));
    SaveDiscInfo(QStringLiteral("-123"));
    EXPECT_EQ(
        ReadWholeFile(CdInfoFilePath()),
        QByteArray("[1]\r\nArtist=Other\r\n[-123]\r\nArtist=Me\r\nAlbum=\r\nYear=\r\nGenre=-1\r\n"
                   "Comment=\r\nTrackNumber=2\r\n1=First\r\n2=Second\r\n"));
}

TEST_F(Stores, WhereTheNamesCameFromAndTheirIdsAreKeptWithTheDisc)
{
    // Sections of older versions say nothing of it: names in them were someone's.
    WriteWholeFile(CdInfoFilePath(), "[1]\r\nTrackNumber=2\r\n2=Named\r\n"
                                     "[2]\r\nTrackNumber=2\r\n1=Track01\r\n");
    TCDInfo& i = OptionsSetting().CDInfo;
    LoadDiscInfo(QStringLiteral("1"));
    EXPECT_EQ(i.Source, TNamesSource::Typed);
    LoadDiscInfo(QStringLiteral("2"));
    EXPECT_EQ(i.Source, TNamesSource::None);
    i.Source = TNamesSource::MusicBrainz;
    i.AlbumArtist = QStringLiteral("Band");
    i.MbReleaseId = QStringLiteral("rel");
    i.MbRecordingId[2] = QStringLiteral("rec");
    SaveDiscInfo(QStringLiteral("2"));
    LoadDiscInfo(QStringLiteral("1"));
    LoadDiscInfo(QStringLiteral("2"));
    EXPECT_EQ(i.Source, TNamesSource::MusicBrainz);
    EXPECT_EQ(i.AlbumArtist, QStringLiteral("Band"));
    EXPECT_EQ(i.MbReleaseId, QStringLiteral("rel"));
    EXPECT_EQ(i.MbRecordingId[2], QStringLiteral("rec"));
    // Names from elsewhere have no ids: none of the old ones stays behind.
    i.Source = TNamesSource::Cddb;
    i.MbReleaseId.clear();
    i.MbRecordingId[2].clear();
    SaveDiscInfo(QStringLiteral("2"));
    LoadDiscInfo(QStringLiteral("2"));
    EXPECT_EQ(i.Source, TNamesSource::Cddb);
    EXPECT_TRUE(i.MbReleaseId.isEmpty());
    EXPECT_TRUE(i.MbRecordingId[2].isEmpty());
}
