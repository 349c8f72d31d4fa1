// Rips and conversions to the library-ready formats, checked with independent tools (flac,
// opusdec, mutagen-inspect), never with the program's own readers.
#include <map>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "AudioTestUtil.h"
#include "app/DiscInfoStore.h"
#include "cd/OpenDrive.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "encoders/EncoderTestSupport.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "metadata/Genres.h"
#include "pipeline/RipJob.h"
#include "platform/cdaccess/DiscFixture.h"
#include "support/TestSupport.h"

namespace {

class LibraryRip : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"flac", "opusdec", "mutagen-inspect", "sox", "lame"})
            if (!HaveProgram(QString::fromLatin1(tool)))
                GTEST_SKIP() << tool << " not installed";
        ResetOptionsSetting();
        TCommonOptions& c = OptionsSetting().CommonOptions;
        c.OutputFolder = dir.File(QStringLiteral("Output"));
        c.NormalizePercent = 95;
        OptionsSetting().Mp3Options = {false, false, 128, 320, 0, 4, 1};
        OptionsSetting().OggOptions = {true, 30, 0, 0, 0};
        QDir().mkpath(c.OutputFolder);
        QDir().mkpath(dir.File(QStringLiteral("discs")));
    }
    void TearDown() override
    {
        CloseCDHandle(handle);
        ResetOptionsSetting();
    }
    void OpenImage(const std::vector<int64_t>& sectors,
                   const QString& name = QStringLiteral("Disc"))
    {
        CloseCDHandle(handle);
        QDir(dir.File(QStringLiteral("discs"))).removeRecursively();
        QDir().mkpath(dir.File(QStringLiteral("discs")));
        MakeImage(dir.File(QStringLiteral("discs")), name, sectors);
        bin = dir.File(QStringLiteral("discs/")) + name + QStringLiteral(".bin");
        lengths = sectors;
        handle = OpenDrive(0).Handle;
        ASSERT_NE(handle, 0);
        OptionsSetting().CDInfo.LastTrack = static_cast<int32_t>(sectors.size());
    }
    /// The PCM of track k (1-based) as the image holds it.
    QByteArray TrackPcm(int k) const
    {
        int64_t first = 0;
        for (int i = 1; i < k; ++i)
            first += lengths[static_cast<size_t>(i - 1)];
        return BinSectors(bin, first, lengths[static_cast<size_t>(k - 1)]);
    }
    /// Runs a job to its end; false when it did not close by itself.
    bool Run(int kind, const QStringList& entries, int seconds = 90, const QByteArray& cover = {})
    {
        TRipJob job(kind, kind == jkRipTracks ? handle : 0, entries, {&mp3, &wma}, cover);
        bool closed = false;
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        if (!job.Running())
            return true;
        return WaitUntil([&] { return closed; }, std::chrono::seconds(seconds));
    }
    QString Out(const QString& name) const { return dir.File(QStringLiteral("Output/")) + name; }
    /// Every file below the output folder, relative to it, hidden ones included, but a rip's
    /// log and cue sheet.
    QStringList OutputFiles() const
    {
        QStringList files;
        const QString root = Out(QString());
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next().mid(root.size());
            if (!file.endsWith(QLatin1String(".log")) && !file.endsWith(QLatin1String(".cue")))
                files << file;
        }
        files.sort();
        return files;
    }
    QString BoxTexts() const { return boxes.Texts().join(QLatin1Char('|')); }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TMp3EncodeProcess mp3;
    TWMAEncodeProcess wma;
    int handle = 0;
    QString bin;
    std::vector<int64_t> lengths;
};

QByteArray Tool(const char* program, const QStringList& args)
{
    int code = -1;
    const QByteArray out = RunAndCapture(QString::fromLatin1(program), args, &code);
    EXPECT_EQ(code, 0) << program << " " << args.join(QLatin1Char(' ')).toStdString() << "\n"
                       << out.toStdString();
    return out;
}

/// The PCM of a WAV file's data chunk.
QByteArray WavData(const QString& path)
{
    const QByteArray wav = ReadWholeFile(path);
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const uint32_t size = uint32_t(uint8_t(wav[at + 4])) | uint32_t(uint8_t(wav[at + 5])) << 8 |
                              uint32_t(uint8_t(wav[at + 6])) << 16 |
                              uint32_t(uint8_t(wav[at + 7])) << 24;
        if (wav.mid(at, 4) == "data")
            return wav.mid(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

/// mutagen's tag lines of a file ("TITLE=...", "TRCK=2/3"), without its stream line.
QStringList Tags(const QString& path)
{
    QStringList lines = QString::fromUtf8(Tool("mutagen-inspect", {path}))
                            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.removeIf([](const QString& l) { return l.startsWith(QLatin1Char('-')); });
    // What the encoders add of their own.
    lines.removeIf([](const QString& l) {
        return l.startsWith(QLatin1String("ENCODER=")) || l.startsWith(QLatin1String("TLEN=")) ||
               l.startsWith(QLatin1String("TSSE="));
    });
    lines.sort();
    return lines;
}

} // namespace

TEST_F(LibraryRip, FlacIsBitExactAndOpusKeepsEachTracksLength)
{
    // Odd lengths, so neither codec's block size divides them.
    OpenImage({75 * 3 + 17, 75 * 2 + 1});
    for (const int format : {ofFLAC, ofOpus}) {
        OptionsSetting().CommonOptions.OutputFormat = format;
        ASSERT_TRUE(Run(jkRipTracks, {QStringLiteral("01One"), QStringLiteral("02Two")}));
        EXPECT_EQ(BoxTexts(), QString());
        const QString ext = format == ofFLAC ? QStringLiteral(".flac") : QStringLiteral(".opus");
        // The WAV files went once encoded; no temporary file is left.
        EXPECT_EQ(OutputFiles(),
                  (QStringList{QStringLiteral("One") + ext, QStringLiteral("Two") + ext}));
        for (int k = 1; k <= 2; ++k) {
            const QString encoded =
                Out((k == 1 ? QStringLiteral("One") : QStringLiteral("Two")) + ext);
            const QString decoded = dir.File(QStringLiteral("decoded.wav"));
            if (format == ofFLAC) {
                Tool("flac", {QStringLiteral("-d"), QStringLiteral("-s"), QStringLiteral("-f"),
                              QStringLiteral("-o"), decoded, encoded});
                EXPECT_TRUE(WavData(decoded) == TrackPcm(k)) << "track " << k;
            } else {
                // 588 samples a sector at 44100 Hz are 640 at Opus's 48000 Hz.
                Tool("opusdec",
                     {QStringLiteral("--quiet"), QStringLiteral("--rate"), QStringLiteral("48000"),
                      QStringLiteral("--force-wav"), encoded, decoded});
                EXPECT_EQ(WavData(decoded).size(), lengths[size_t(k - 1)] * 640 * 4) << k;
            }
        }
        for (const QString& f : OutputFiles())
            QFile::remove(Out(f));
    }
}

TEST_F(LibraryRip, EveryFormatCarriesTheDiscsTagsExactlyAsTyped)
{
    // Long enough that a tagger keeps all the padding a FLAC file leaves (1 % of the file).
    OpenImage({75, 75 * 30, 75});
    TCDInfo& info = OptionsSetting().CDInfo;
    info.Artist = QStringLiteral("AC/DC");
    info.Album = QStringLiteral("Back in Black");
    info.Year = QStringLiteral("1980");
    info.Genre = GenrePositionOf(QStringLiteral("Hard Rock"));
    info.Comment = QStringLiteral("ripped here");
    const QString title = QString::fromUtf8("Caf\xc3\xa9 \xf0\x9f\x8e\xb5");
    const QStringList vorbis{
        QStringLiteral("ALBUM=Back in Black"), QStringLiteral("ARTIST=AC/DC"),
        QStringLiteral("COMMENT=ripped here"), QStringLiteral("DATE=1980"),
        QStringLiteral("GENRE=Hard Rock"),     QStringLiteral("TITLE=") + title,
        QStringLiteral("TRACKNUMBER=2"),       QStringLiteral("TRACKTOTAL=3")};
    const QStringList id3{QStringLiteral("COMM==eng=ripped here"),
                          QStringLiteral("TALB=Back in Black"),
                          QStringLiteral("TCON=Hard Rock"),
                          QStringLiteral("TDRC=1980"),
                          QStringLiteral("TIT2=") + title,
                          QStringLiteral("TPE1=AC/DC"),
                          QStringLiteral("TRCK=2/3")};
    const struct {
        int format;
        const char* ext;
        bool write;
        QStringList expected;
    } cases[] = {{ofMP3, ".mp3", true, id3},      {ofOGG, ".ogg", true, vorbis},
                 {ofFLAC, ".flac", true, vorbis}, {ofOpus, ".opus", true, vorbis},
                 {ofFLAC, ".flac", false, {}},    {ofMP3, ".mp3", false, {}}};
    std::map<std::pair<int, bool>, qint64> sizes;
    for (const auto& c : cases) {
        OptionsSetting().CommonOptions.OutputFormat = c.format;
        OptionsSetting().Tags.Write = c.write;
        ASSERT_TRUE(Run(jkRipTracks, {QStringLiteral("02") + title}));
        EXPECT_EQ(BoxTexts(), QString());
        const QString path = Out(title + QString::fromLatin1(c.ext));
        EXPECT_EQ(Tags(path), c.expected) << c.ext << " write " << c.write;
        if (c.format == ofMP3) {
            const QByteArray mp3Bytes = ReadWholeFile(path);
            // ID3v2.4 at the start when tags are written; no ID3v1 at the end without ID3.Use.
            EXPECT_EQ(mp3Bytes.startsWith(QByteArray("ID3\x04", 4)), c.write);
            EXPECT_FALSE(mp3Bytes.right(128).startsWith("TAG"));
        }
        sizes[std::pair(c.format, c.write)] = QFileInfo(path).size();
        QFile::remove(path);
    }
    // The tags of a FLAC file take the room its writer left for them: no rewrite of the audio.
    EXPECT_EQ(sizes[std::pair(ofFLAC, true)], sizes[std::pair(ofFLAC, false)]);
}

TEST_F(LibraryRip, TwoDiscsWithTheSameTitlesFileApartUnderAPattern)
{
    OptionsSetting().CommonOptions.OutputFormat = ofFLAC;
    const QStringList titles{QStringLiteral("01Track01"), QStringLiteral("02Track02")};
    const QStringList same{QStringLiteral("01Intro"), QStringLiteral("02Intro")};
    const struct {
        const char* pattern;
        const char* album;
        QStringList entries;
        QStringList files; ///< what the rip adds
    } rips[] = {
        {"%A/%d/%n - %t",
         "First",
         titles,
         {QStringLiteral("Band/First/01 - Track01.flac"),
          QStringLiteral("Band/First/02 - Track02.flac")}},
        {"%A/%d/%n - %t",
         "Second",
         titles,
         {QStringLiteral("Band/Second/01 - Track01.flac"),
          QStringLiteral("Band/Second/02 - Track02.flac")}},
        // Two tracks of one job with one name: neither writes over the other.
        {"%A/%t",
         "Third",
         same,
         {QStringLiteral("Band/Intro (2).flac"), QStringLiteral("Band/Intro.flac")}},
        {"", "Fourth", same, {QStringLiteral("Intro (2).flac"), QStringLiteral("Intro.flac")}}};
    QStringList expected;
    for (const auto& rip : rips) {
        OpenImage({40, 50}, QString::fromLatin1(rip.album));
        OptionsSetting().CommonOptions.NamePattern = QString::fromLatin1(rip.pattern);
        OptionsSetting().CDInfo.Artist = QStringLiteral("Band");
        OptionsSetting().CDInfo.Album = QString::fromLatin1(rip.album);
        ASSERT_TRUE(Run(jkRipTracks, rip.entries));
        EXPECT_EQ(BoxTexts(), QString());
        expected << rip.files;
        expected.sort();
        EXPECT_EQ(OutputFiles(), expected) << rip.album;
    }
    // The second of two same-named tracks is its own track, not the first one again.
    const QString decoded = dir.File(QStringLiteral("decoded.wav"));
    Tool("flac", {QStringLiteral("-d"), QStringLiteral("-s"), QStringLiteral("-f"),
                  QStringLiteral("-o"), decoded, Out(QStringLiteral("Intro (2).flac"))});
    EXPECT_TRUE(WavData(decoded) == TrackPcm(2));
}

TEST_F(LibraryRip, HostileNamesStayInsideTheOutputFolder)
{
    OpenImage({10, 10, 10, 10, 10, 10, 10, 10});
    // An old cdinfo.dat in Windows-1252 bytes, which are no UTF-8.
    const QString key = QStringLiteral("12345");
    WriteWholeFile(dir.File(QStringLiteral("cdinfo.dat")),
                   "[12345]\r\nArtist=Bj\xf6rk/..\r\nAlbum=.\r\nTrackNumber=8\r\n1=Caf\xe9\r\n");
    LoadDiscInfo(key);
    const QStringList entries{
        QStringLiteral("01") + OptionsSetting().CDInfo.Track[1],
        QStringLiteral("02../../escape"),
        QStringLiteral("03.hidden\\x"),
        QStringLiteral("04a") + QChar(0) + QStringLiteral("b\x01\x1b[31m"),
        QStringLiteral("05") + QString(1000, QLatin1Char('x')),
        QStringLiteral("06") +
            QString::fromUtf8("\xf0\x9f\x8e\xb5 \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d"),
        QStringLiteral("07") + QChar(0x202e) + QStringLiteral("3pm.exe"),
        QStringLiteral("08/")};
    OptionsSetting().CommonOptions.OutputFormat = ofWAV;
    OptionsSetting().CommonOptions.NamePattern = QStringLiteral("%A/%d/%n %t");
    // A folder of the pattern planted as a link elsewhere is refused for its tracks only.
    const QString elsewhere = dir.File(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString folder = QString::fromUtf8("Bj\xc3\xb6rk-/Unknown Album/");
    ASSERT_TRUE(QDir().mkpath(Out(QString::fromUtf8("Bj\xc3\xb6rk-"))));
    ASSERT_TRUE(QFile::link(elsewhere, Out(folder.chopped(1))));
    ASSERT_TRUE(Run(jkRipTracks, entries));
    EXPECT_EQ(boxes.Shown().size(), size_t(entries.size())) << BoxTexts().toStdString();
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    QFile::remove(Out(folder.chopped(1)));
    boxes.Clear();

    ASSERT_TRUE(Run(jkRipTracks, entries));
    EXPECT_EQ(BoxTexts(), QString());
    const QStringList files = OutputFiles();
    ASSERT_EQ(files.size(), entries.size()) << files.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(files.contains(folder + QString::fromUtf8("01 Caf\xc3\xa9.wav")));
    EXPECT_TRUE(files.contains(folder + QStringLiteral("02 -..-escape.wav")));
    EXPECT_TRUE(files.contains(folder + QStringLiteral("03 hidden-x.wav")));
    EXPECT_TRUE(files.contains(folder + QStringLiteral("04 ab[31m.wav")));
    EXPECT_TRUE(files.contains(folder + QStringLiteral("07 3pm.exe.wav")));
    for (const QString& f : files) {
        EXPECT_TRUE(f.startsWith(folder)) << f.toStdString();
        for (const QString& part : f.split(QLatin1Char('/')))
            EXPECT_LE(part.toUtf8().size(), 255) << f.toStdString();
    }
}

TEST_F(LibraryRip, AStopOrAFullDiskLeavesNoPartOfTheFileAndKeepsTheWav)
{
    OpenImage({75 * 180}); // long enough to be stopped while it is encoded
    for (const int format : {ofFLAC, ofOpus}) {
        for (const bool stop : {true, false}) {
            OptionsSetting().CommonOptions.OutputFormat = format;
            std::unique_ptr<TFileSizeLimit> full;
            {
                TRipJob job(jkRipTracks, handle, {QStringLiteral("01Long")}, {&mp3, &wma});
                bool closed = false;
                QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
                // The disk fills once the WAV is whole and the encoder begins.
                QObject::connect(&job, &TRipJob::ViewChanged, [&] {
                    if (!stop && !full && job.View().GroupCaption == QLatin1String("Encoding"))
                        full = std::make_unique<TFileSizeLimit>(16 * 1024);
                });
                if (stop) {
                    ASSERT_TRUE(WaitUntil([&] {
                        return job.View().GroupCaption == QLatin1String("Encoding") &&
                               job.View().Bar >= 2;
                    }));
                    job.Stop();
                }
                ASSERT_TRUE(WaitUntil([&] { return closed; }, std::chrono::seconds(60)));
            }
            full.reset();
            EXPECT_EQ(OutputFiles(), QStringList{QStringLiteral("Long.wav")})
                << format << " stop " << stop;
            EXPECT_EQ(boxes.Shown().size(), stop ? 0u : 1u) << BoxTexts().toStdString();
            EXPECT_EQ(ReadWholeFile(Out(QStringLiteral("Long.wav"))).mid(44), TrackPcm(1));
            boxes.Clear();
            QFile::remove(Out(QStringLiteral("Long.wav")));
        }
    }
}

TEST_F(LibraryRip, WavToFlacAndOpusConvertPickedFiles)
{
    const QString in = dir.File(QStringLiteral("in/"));
    QDir().mkpath(in);
    // FLAC keeps any rate as it is; Opus takes any rate; a file that is no WAV is refused.
    const QString low = in + QStringLiteral("low.wav");
    const QString high = in + QStringLiteral("high.wav");
    const QString bad = in + QStringLiteral("bad.wav");
    Tool("sox", {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("22050"),
                 QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-b"),
                 QStringLiteral("16"), low, QStringLiteral("synth"), QStringLiteral("1"),
                 QStringLiteral("sine"), QStringLiteral("440")});
    Tool("sox", {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("48000"),
                 QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                 QStringLiteral("16"), high, QStringLiteral("synth"), QStringLiteral("1.5"),
                 QStringLiteral("sine"), QStringLiteral("440")});
    WriteWholeFile(bad, "not a wav");
    for (const int kind : {jkWavToFlac, jkWavToOpus}) {
        ASSERT_TRUE(Run(kind, {low, bad, high}));
        EXPECT_EQ(BoxTexts(),
                  bad + QStringLiteral(" is not a WAV file that can be converted (no RIFF "
                                       "WAVE format chunk)."));
        boxes.Clear();
    }
    EXPECT_EQ(OutputFiles(), (QStringList{QStringLiteral("high.flac"), QStringLiteral("high.opus"),
                                          QStringLiteral("low.flac"), QStringLiteral("low.opus")}));
    const QString decoded = dir.File(QStringLiteral("decoded.wav"));
    Tool("flac", {QStringLiteral("-d"), QStringLiteral("-s"), QStringLiteral("-f"),
                  QStringLiteral("-o"), decoded, Out(QStringLiteral("low.flac"))});
    EXPECT_TRUE(WavData(decoded) == WavData(low));
    Tool("opusdec", {QStringLiteral("--quiet"), QStringLiteral("--rate"), QStringLiteral("48000"),
                     QStringLiteral("--force-wav"), Out(QStringLiteral("high.opus")), decoded});
    EXPECT_EQ(WavData(decoded).size(), WavData(high).size());
    // Picked files are named after themselves and get no tags: there is no disc to take them from.
    EXPECT_EQ(Tags(Out(QStringLiteral("low.flac"))), QStringList());
}

TEST_F(LibraryRip, TheCoverGoesBesideAndInsideTheFilesWithTheMusicBrainzIds)
{
    if (!HaveProgram(QStringLiteral("ffmpeg")))
        GTEST_SKIP() << "ffmpeg not installed";
    const QString made = dir.File(QStringLiteral("made.jpg"));
    Tool("ffmpeg",
         {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
          QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("color=c=red:s=8x8"),
          QStringLiteral("-frames:v"), QStringLiteral("1"), made});
    const QByteArray jpeg = ReadWholeFile(made);
    OpenImage({40, 50});
    TCDInfo& info = OptionsSetting().CDInfo;
    info.Artist = QStringLiteral("Band");
    info.Source = TNamesSource::MusicBrainz;
    info.AlbumArtist = QStringLiteral("The Band");
    info.MbReleaseId = QStringLiteral("release-id");
    info.MbDiscId = QStringLiteral("disc-id");
    info.MbRecordingId[2] = QStringLiteral("recording-2");
    OptionsSetting().CommonOptions.NamePattern = QStringLiteral("%A/%d/%n - %t");
    const QStringList vorbis{QStringLiteral("ALBUMARTIST=The Band"),
                             QStringLiteral("MUSICBRAINZ_ALBUMID=release-id"),
                             QStringLiteral("MUSICBRAINZ_DISCID=disc-id"),
                             QStringLiteral("MUSICBRAINZ_TRACKID=recording-2")};
    const QStringList id3{QStringLiteral("TPE2=The Band"),
                          QStringLiteral("TXXX=MusicBrainz Album Id=release-id"),
                          QStringLiteral("TXXX=MusicBrainz Disc Id=disc-id"),
                          QStringLiteral("UFID=http://musicbrainz.org=b'recording-2'")};
    const struct {
        int format;
        const char* album;
        QStringList ids;
    } rips[] = {{ofFLAC, "F", vorbis},
                {ofMP3, "M", id3},
                {ofOGG, "O", vorbis},
                {ofOpus, "P", vorbis},
                {ofWAV, "W", {}}};
    for (const auto& rip : rips) {
        OptionsSetting().CommonOptions.OutputFormat = rip.format;
        info.Album = QString::fromLatin1(rip.album);
        ASSERT_TRUE(Run(jkRipTracks, {QStringLiteral("01One"), QStringLiteral("02Two")}, 90, jpeg));
        EXPECT_EQ(BoxTexts(), QString());
        const QString folder = QStringLiteral("Band/") + info.Album + QLatin1Char('/');
        EXPECT_EQ(ReadWholeFile(Out(folder + QStringLiteral("cover.jpg"))), jpeg) << rip.album;
        if (rip.format == ofWAV)
            continue;
        const QString two = Out(folder + QStringLiteral("02 - Two") +
                                OutputExtensionOf(JobPlanOf(jkRipTracks, rip.format)));
        const QStringList tags = Tags(two);
        for (const QString& line : rip.ids)
            EXPECT_TRUE(tags.contains(line)) << line.toStdString() << " in " << rip.album;
        const QString picture = dir.File(QStringLiteral("picture.jpg"));
        QFile::remove(picture);
        Tool("ffmpeg",
             {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), two,
              QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-c"),
              QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("image2"), picture});
        EXPECT_TRUE(ReadWholeFile(picture) == jpeg) << rip.album;
    }

    // Names typed since the lookup carry no ids; a cover kept through a link is never written
    // through; without a cover nothing is written at all.
    OptionsSetting().CommonOptions.OutputFormat = ofFLAC;
    info.Source = TNamesSource::Typed;
    info.Album = QStringLiteral("Typed");
    const QString outside = dir.File(QStringLiteral("mine.jpg"));
    WriteWholeFile(outside, "the user's");
    ASSERT_TRUE(QDir().mkpath(Out(QStringLiteral("Band/Typed"))));
    ASSERT_TRUE(QFile::link(outside, Out(QStringLiteral("Band/Typed/cover.jpg"))));
    ASSERT_TRUE(Run(jkRipTracks, {QStringLiteral("02Two")}, 90, jpeg));
    EXPECT_EQ(ReadWholeFile(outside), QByteArray("the user's"));
    const QStringList typed = Tags(Out(QStringLiteral("Band/Typed/02 - Two.flac")));
    EXPECT_FALSE(typed.join(QLatin1Char('|')).contains(QLatin1String("MUSICBRAINZ")));
    EXPECT_FALSE(typed.join(QLatin1Char('|')).contains(QLatin1String("ALBUMARTIST")));
    info.Album = QStringLiteral("Bare");
    ASSERT_TRUE(Run(jkRipTracks, {QStringLiteral("02Two")}));
    EXPECT_EQ(BoxTexts(), QString());
    QStringList bare = OutputFiles();
    bare.removeIf([](const QString& f) { return !f.startsWith(QLatin1String("Band/Bare/")); });
    EXPECT_EQ(bare, QStringList{QStringLiteral("Band/Bare/02 - Two.flac")});
}
