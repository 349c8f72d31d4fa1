// The rip log's track lines and summary, and a cue sheet read back line by line.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "support/TestSupport.h"
#include "verify/RipLog.h"

namespace {

TRipLogTrack Track(int n, TVerifyStatus status, int confidence = 0, bool ripped = true,
                   int64_t uncorrected = 0)
{
    TRipLogTrack t;
    t.UncorrectedSectors = uncorrected;
    t.Number = n;
    t.Ripped = ripped;
    t.CopyCrc = 0x1a2b3c4d;
    t.HasAccurateRip = true;
    t.V1 = 0x0f0e0d0c;
    t.V2 = 0xaabbccdd;
    t.Result = {status, confidence};
    return t;
}

TEST(RipLogTest, TrackLinesAndSummary)
{
    TRipLog log;
    log.Tracks = {Track(3, TVerifyStatus::Accurate, 12), Track(4, TVerifyStatus::Accurate, 2)};
    QString text = RipLogText(log);
    EXPECT_TRUE(text.contains(QStringLiteral("Track 03  copy CRC 1A2B3C4D  AccurateRip v1 0F0E0D0C"
                                             "  v2 AABBCCDD  accurately ripped (confidence 12)\n")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("All 2 tracks accurately ripped\n")));

    struct Case {
        std::vector<TRipLogTrack> tracks;
        QString ending;
        QStringList expected; // lines the text must hold
    };
    const Case cases[] = {
        {{Track(1, TVerifyStatus::Accurate, 5), Track(2, TVerifyStatus::Mismatch),
          Track(3, TVerifyStatus::NotInDatabase)},
         {},
         {QStringLiteral("Track 02  copy CRC 1A2B3C4D  AccurateRip v1 0F0E0D0C  v2 AABBCCDD  "
                         "mismatch"),
          QStringLiteral("Track 03  copy CRC 1A2B3C4D  AccurateRip v1 0F0E0D0C  v2 AABBCCDD  "
                         "not in database"),
          QStringLiteral("1 of 3 tracks accurately ripped; mismatch: tracks 02; not verified: "
                         "tracks 03")}},
        {{Track(1, TVerifyStatus::CouldNotVerify), Track(2, TVerifyStatus::Accurate, 1, false)},
         QStringLiteral("was stopped"),
         {QStringLiteral("Track 01  copy CRC 1A2B3C4D  AccurateRip v1 0F0E0D0C  v2 AABBCCDD  "
                         "could not be verified"),
          QStringLiteral("Track 02  not ripped"), QStringLiteral("The rip was stopped."),
          QStringLiteral("0 of 2 tracks accurately ripped; not verified: tracks 01; not ripped: "
                         "tracks 02")}},
        // A drive paranoia could not read cleanly: counted per track and in the summary.
        {{Track(1, TVerifyStatus::Mismatch, 0, true, 12), Track(2, TVerifyStatus::Accurate, 3)},
         {},
         {QStringLiteral("Track 01  copy CRC 1A2B3C4D  AccurateRip v1 0F0E0D0C  v2 AABBCCDD  "
                         "mismatch  (12 sectors could not be corrected)"),
          QStringLiteral("1 of 2 tracks accurately ripped; mismatch: tracks 01; 12 sectors could "
                         "not be corrected")}},
    };
    for (const Case& c : cases) {
        log.Tracks = c.tracks;
        log.Ending = c.ending;
        const QStringList lines = RipLogText(log).split(QLatin1Char('\n'));
        for (const QString& want : c.expected)
            EXPECT_TRUE(lines.contains(want)) << want.toStdString();
    }
}

TEST(RipLogTest, CueSheetNamesEachFileAndItsTrack)
{
    const QString cue = CueSheetText(
        QStringLiteral("A \"B\""), QStringLiteral("Album"),
        {{1, QStringLiteral("One"), QStringLiteral("A"), QStringLiteral("01 - One.flac"), 32},
         {2, QStringLiteral("Two\nlines"), QStringLiteral("A"), QStringLiteral("02 - Two.mp3"),
          0}});
    const QStringList lines = cue.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const QStringList expected{
        QStringLiteral("PERFORMER \"A 'B'\""),         QStringLiteral("TITLE \"Album\""),
        QStringLiteral("FILE \"01 - One.flac\" WAVE"), QStringLiteral("  TRACK 01 AUDIO"),
        QStringLiteral("    TITLE \"One\""),           QStringLiteral("    PERFORMER \"A\""),
        QStringLiteral("    PREGAP 00:00:32"),         QStringLiteral("    INDEX 01 00:00:00"),
        QStringLiteral("FILE \"02 - Two.mp3\" MP3"),   QStringLiteral("  TRACK 02 AUDIO"),
        QStringLiteral("    TITLE \"Two lines\""),     QStringLiteral("    PERFORMER \"A\""),
        QStringLiteral("    INDEX 01 00:00:00")};
    EXPECT_EQ(lines, expected);
}

} // namespace
