#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "core/Settings.h"
#include "pipeline/JobQuestions.h"
#include "pipeline/RipFiles.h"
#include "support/TestSupport.h"

namespace {

TCommonOptions Options(const QString& folder, int format)
{
    TCommonOptions o;
    o.OutputFolder = folder;
    o.OutputFormat = format;
    return o;
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
    } formats[] = {{ofMP3, "/music/07 Intro.mp3"},
                   {ofWAV, ""},
                   {ofOGG, "/music/07 Intro.ogg"},
                   {ofWMA, "/music/07 Intro.wma"}};
    for (const auto& f : formats) {
        for (const char* folder : {"/music", "/music/"}) {
            const TRipEntryFiles files = RipEntryFiles(
                QStringLiteral("0707 Intro"), Options(QString::fromLatin1(folder), f.format));
            EXPECT_EQ(files.Track, 7);
            EXPECT_EQ(files.Title, QStringLiteral("07 Intro"));
            EXPECT_TRUE(files.NameValid);
            EXPECT_EQ(files.Wav, QStringLiteral("/music/07 Intro.wav")) << folder;
            EXPECT_EQ(files.Encoded, QString::fromLatin1(f.encoded)) << f.format;
        }
    }
    // A title is a file name as it stands; one that cannot be names no file.
    const TCommonOptions mp3 = Options(QStringLiteral("/music"), ofMP3);
    for (const QString& bad :
         {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"),
          QStringLiteral("../up"), QStringLiteral("/abs"), QString(252, QLatin1Char('n'))})
        EXPECT_FALSE(RipEntryFiles(QStringLiteral("01") + bad, mp3).NameValid) << bad.toStdString();
    for (const QString& odd : {QString(251, QLatin1Char('n')), QStringLiteral("..."),
                               QStringLiteral("AC\\DC: \"Live\" *?")})
        EXPECT_TRUE(RipEntryFiles(QStringLiteral("01") + odd, mp3).NameValid) << odd.toStdString();
    EXPECT_FALSE(RipEntryFiles(QStringLiteral("01Fine"), Options(QString(), ofMP3)).NameValid)
        << "no output folder";
}

TEST(RipFiles, ExistingOutputsAreAskedAboutOnceAndSkipLeavesTheirTracksOut)
{
    ProgramDirScope dir;
    const QString out = dir.File(QStringLiteral("Output"));
    ASSERT_TRUE(QDir().mkpath(out));
    const TCommonOptions options = Options(out, ofMP3);
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
