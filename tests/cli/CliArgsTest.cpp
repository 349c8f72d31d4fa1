// The command line's parsing: track lists, job counts, and options in both spellings.
#include <gtest/gtest.h>

#include "cli/CliArgs.h"

namespace {

QStringList Args(std::initializer_list<const char*> args)
{
    QStringList out;
    for (const char* a : args)
        out << QString::fromUtf8(a);
    return out;
}

TEST(CliArgsTest, TrackListsAreCheckedAgainstTheDisc)
{
    const struct {
        const char* text;
        int first, last;
        std::vector<int> tracks; ///< empty: refused
        const char* error;
    } cases[] = {
        {"3-5,1,4", 1, 6, {1, 3, 4, 5}, ""},
        {"2", 2, 4, {2}, ""},
        {"1", 2, 4, {}, "--tracks: no track 1 (the disc has tracks 2-4)"},
        {"0", 1, 3, {}, "--tracks: no track 0 (the disc has tracks 1-3)"},
        {"2-99", 1, 3, {}, "--tracks: no track 99 (the disc has tracks 1-3)"},
        {"5-2", 1, 9, {}, "--tracks: 5-2 ends before it starts"},
        {"1,,2", 1, 3, {}, "--tracks:  is not a track number or range"},
        {"2-", 1, 3, {}, "--tracks: 2- is not a track number or range"},
        {" 1", 1, 3, {}, "--tracks:  1 is not a track number or range"},
        {"-1", 1, 3, {}, "--tracks: -1 is not a track number or range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QString error;
        const auto tracks = ParseTrackList(QString::fromLatin1(c.text), c.first, c.last, error);
        EXPECT_EQ(tracks.value_or(std::vector<int>{}), c.tracks);
        EXPECT_EQ(error.toStdString(), c.error);
    }
}

TEST(CliArgsTest, OptionsTakeTheirValueEitherWayAndFlagsNone)
{
    const struct {
        QStringList args;
        const char* error;
    } cases[] = {
        {Args({"rip", "--device=/dev/sr0", "--jobs", "2", "--overwrite"}), ""},
        {Args({"rip", "--device", "/dev/sr0", "--overwrite=yes"}), "--overwrite takes no value"},
        {Args({"info", "--device", "d.cue", "--format", "wav"}), "unknown option --format"},
        {Args({"convert", "--format", "flac", "--", "--odd name.wav"}), ""},
        {Args({"convert", "a.wav"}), "--format is missing"},
        {Args({"drives", "extra"}), "unexpected argument extra"},
        {Args({"--device", "x", "rip"}), "unknown option --device"},
        {Args({"eject"}), "unknown command eject"},
        {Args({}), "no command given"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const TCliArgs args = ParseCliArgs(c.args);
        EXPECT_EQ(args.Error.toStdString(), c.error);
    }
    const TCliArgs rip = ParseCliArgs(Args({"rip", "--device=/dev/sr0", "--jobs", "2"}));
    EXPECT_EQ(rip.Value(QStringLiteral("device")), QStringLiteral("/dev/sr0"));
    EXPECT_EQ(ParseJobCount(rip.Value(QStringLiteral("jobs"))), 2);
    EXPECT_EQ(
        ParseCliArgs(Args({"convert", "--format", "flac", "--", "--odd name.wav"})).Positional,
        QStringList{QStringLiteral("--odd name.wav")});
    for (const char* bad : {"0", "-1", "17", "two", ""})
        EXPECT_FALSE(ParseJobCount(QString::fromLatin1(bad))) << bad;
}

} // namespace
