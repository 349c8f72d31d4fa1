#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "core/Settings.h"
#include "pipeline/JobQuestions.h"
#include "pipeline/RipFiles.h"
#include "support/TestSupport.h"

namespace {

TRipNaming Naming(const QString& folder, int format, const QString& pattern = {})
{
    TRipNaming n;
    n.OutputFolder = folder;
    n.OutputFormat = format;
    n.NamePattern = pattern;
    return n;
}

TRipEntryFiles One(const QString& entry, const TRipNaming& naming)
{
    return RipJobFiles({entry}, naming).front();
}

/// Answers every question with one answer and keeps what it was asked.
class Answerer : public IJobQuestions {
public:
    explicit Answerer(TOverwriteAnswer answer) : answer_(answer) {}
    TOverwriteAnswer AskOverwrite(const QStringList& existing) override
    {
        asked.push_back(existing);
        return answer_;
    }
    std::vector<QStringList> asked;

private:
    TOverwriteAnswer answer_;
};

} // namespace

TEST(RipFiles, NamesFollowTheTitleTheFolderAndTheFormat)
{
    const struct {
        int format;
        const char* encoded;
    } formats[] = {{ofMP3, "/music/07 Intro.mp3"},   {ofWAV, ""},
                   {ofOGG, "/music/07 Intro.ogg"},   {ofWMA, "/music/07 Intro.wma"},
                   {ofFLAC, "/music/07 Intro.flac"}, {ofOpus, "/music/07 Intro.opus"}};
    for (const auto& f : formats) {
        for (const char* folder : {"/music", "/music/"}) {
            const TRipEntryFiles files =
                One(QStringLiteral("0707 Intro"), Naming(QString::fromLatin1(folder), f.format));
            EXPECT_EQ(files.Track, 7);
            EXPECT_EQ(files.Title, QStringLiteral("07 Intro"));
            EXPECT_TRUE(files.NameValid);
            EXPECT_EQ(files.Wav, QStringLiteral("/music/07 Intro.wav")) << folder;
            EXPECT_EQ(files.Encoded, QString::fromLatin1(f.encoded)) << f.format;
        }
    }
    // A title is a file name as it stands; one that cannot be names no file. A name that fits
    // with ".wav" may not with the longer ".flac".
    const struct {
        QString title;
        int format;
        bool valid;
    } titles[] = {{QString(), ofMP3, false},
                  {QStringLiteral("."), ofMP3, false},
                  {QStringLiteral(".."), ofMP3, false},
                  {QStringLiteral("a/b"), ofMP3, false},
                  {QStringLiteral("../up"), ofMP3, false},
                  {QStringLiteral("/abs"), ofMP3, false},
                  {QString(252, QLatin1Char('n')), ofMP3, false},
                  {QString(251, QLatin1Char('n')), ofMP3, true},
                  {QString(251, QLatin1Char('n')), ofFLAC, false},
                  {QString(250, QLatin1Char('n')), ofOpus, true},
                  {QStringLiteral("..."), ofMP3, true},
                  {QStringLiteral("AC\\DC: \"Live\" *?"), ofMP3, true}};
    for (const auto& t : titles)
        EXPECT_EQ(One(QStringLiteral("01") + t.title, Naming(QStringLiteral("/music"), t.format))
                      .NameValid,
                  t.valid)
            << t.title.toStdString() << " " << t.format;
    EXPECT_FALSE(One(QStringLiteral("01Fine"), Naming(QString(), ofMP3)).NameValid)
        << "no output folder";
}

TEST(RipFiles, ExistingOutputsAreAskedAboutOnceAndSkipLeavesTheirTracksOut)
{
    ProgramDirScope dir;
    const QString out = dir.File(QStringLiteral("Output"));
    ASSERT_TRUE(QDir().mkpath(out));
    const TRipNaming options = Naming(out, ofMP3);
    const QStringList entries{QStringLiteral("01One"),   QStringLiteral("02Two"),
                              QStringLiteral("03Three"), QStringLiteral("04Four"),
                              QStringLiteral("05A/B"),   QStringLiteral("06One")};
    // Nothing there yet: no question.
    Answerer none(TOverwriteAnswer::Cancel);
    EXPECT_EQ(ConfirmRipOutputs(entries, options, none), entries);
    EXPECT_TRUE(none.asked.empty());

    // Another disc's WAV of "One" and MP3 of "Three"; a FIFO at "Two" and a link at "Four" are
    // refused at their tracks, never offered for replacing; "A/B" names no file at all.
    WriteWholeFile(out + QStringLiteral("/One.wav"), "disc 1");
    WriteWholeFile(out + QStringLiteral("/Three.mp3"), "disc 1");
    ASSERT_EQ(::mkfifo(QFile::encodeName(out + QStringLiteral("/Two.mp3")).constData(), 0644), 0);
    ASSERT_TRUE(
        QFile::link(dir.File(QStringLiteral("elsewhere")), out + QStringLiteral("/Four.wav")));
    ASSERT_TRUE(QDir().mkpath(out + QStringLiteral("/A")));
    WriteWholeFile(out + QStringLiteral("/A/B.wav"), "not ours");

    // Each file once, in the job's order; Skip leaves out every track that would write one.
    Answerer skip(TOverwriteAnswer::Skip);
    EXPECT_EQ(
        ConfirmRipOutputs(entries, options, skip),
        (QStringList{QStringLiteral("02Two"), QStringLiteral("04Four"), QStringLiteral("05A/B")}));
    ASSERT_EQ(skip.asked.size(), 1u);
    EXPECT_EQ(skip.asked[0],
              (QStringList{out + QStringLiteral("/One.wav"), out + QStringLiteral("/Three.mp3")}));
}

TEST(RipFiles, SkipNeverLetsARenumberedTrackTakeAnExistingName)
{
    ProgramDirScope dir;
    const QString out = dir.File(QStringLiteral("Output"));
    ASSERT_TRUE(QDir().mkpath(out));
    // "Intro.wav" is another disc's. The second Intro would be "Intro (2)" beside the first,
    // but once the first is left out it would be "Intro" and replace that file unasked.
    WriteWholeFile(out + QStringLiteral("/Intro.wav"), "disc 1");
    Answerer skip(TOverwriteAnswer::Skip);
    EXPECT_EQ(ConfirmRipOutputs(
                  {QStringLiteral("01Intro"), QStringLiteral("02Intro"), QStringLiteral("03Outro")},
                  Naming(out, ofWAV), skip),
              QStringList{QStringLiteral("03Outro")});
    ASSERT_EQ(skip.asked.size(), 1u);
    EXPECT_EQ(skip.asked[0], QStringList{out + QStringLiteral("/Intro.wav")});
}

TEST(RipFiles, MusicBrainzIdsOnlyForItsOwnNamesAndTheCoverOnlyWhenEmbedded)
{
    const QByteArray jpeg("\xff\xd8\xff\xe0 a jpeg", 11);
    const struct {
        TNamesSource source;
        bool embed;
        bool ids;
        bool cover;
    } cases[] = {{TNamesSource::MusicBrainz, true, true, true},
                 {TNamesSource::MusicBrainz, false, true, false},
                 // A name typed since may be another release's: the ids would mislabel it.
                 {TNamesSource::Typed, true, false, true},
                 {TNamesSource::Cddb, true, false, true}};
    for (const auto& c : cases) {
        TOptionsSetting settings;
        settings.CommonOptions.OutputFolder = QStringLiteral("/music");
        settings.CDInfo.Source = c.source;
        settings.CDInfo.AlbumArtist = QStringLiteral("Various");
        settings.CDInfo.MbReleaseId = QStringLiteral("release");
        settings.CDInfo.MbDiscId = QStringLiteral("disc");
        settings.CDInfo.MbRecordingId[3] = QStringLiteral("recording 3");
        settings.CDInfo.MbRecordingId[4] = QStringLiteral("recording 4");
        settings.Tags.EmbedCover = c.embed;
        const std::vector<TRipEntryFiles> files = RipJobFiles(
            {QStringLiteral("03Three"), QStringLiteral("05Five")}, RipNamingOf(settings, jpeg));
        ASSERT_EQ(files.size(), 2u);
        const TTagFields& three = files[0].Tags;
        const int source = static_cast<int>(c.source);
        EXPECT_EQ(three.AlbumArtist, c.ids ? QStringLiteral("Various") : QString()) << source;
        EXPECT_EQ(three.MbAlbumId, c.ids ? QStringLiteral("release") : QString()) << source;
        EXPECT_EQ(three.MbDiscId, c.ids ? QStringLiteral("disc") : QString()) << source;
        // Each track its own recording, by its number on the disc.
        EXPECT_EQ(three.MbTrackId, c.ids ? QStringLiteral("recording 3") : QString()) << source;
        EXPECT_EQ(files[1].Tags.MbTrackId, QString()) << source;
        EXPECT_EQ(three.Cover.Data, c.cover ? jpeg : QByteArray()) << source;
        EXPECT_EQ(three.Cover.Mime, c.cover ? QStringLiteral("image/jpeg") : QString());
    }
}
