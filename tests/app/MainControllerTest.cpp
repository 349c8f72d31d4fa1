#include <QDir>

#include <gtest/gtest.h>

#include "app/DiscInfoStore.h"
#include "app/MainController.h"
#include "app/SettingsStore.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "makedisc/DiscImageWriter.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/drives/DriveQueries.h"
#include "platform/profile/ProfileFile.h"
#include "support/TestSupport.h"

namespace {

class Controller : public ::testing::Test {
protected:
    void SetUp() override { ResetOptionsSetting(); }
    void TearDown() override { ResetOptionsSetting(); }

    void MakeDisc(const char* name, const std::vector<int64_t>& sectors) { MakeProgramDisc(dir, name, sectors); }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
};

} // namespace

TEST(TrackRowTexts, LengthAndSizeArithmetic)
{
    EXPECT_EQ(TrackRowTexts(4, 5).Length, QStringLiteral("04:05"));
    EXPECT_EQ(TrackRowTexts(4, 5).Size, QStringLiteral("41.22"));
    EXPECT_EQ(TrackRowTexts(0, 1).Size, QStringLiteral("00.17"));
    EXPECT_EQ(TrackRowTexts(74, 0).Length, QStringLiteral("74:00"));
    EXPECT_EQ(TrackRowTexts(74, 0).Size, QStringLiteral("746.93"));
    EXPECT_EQ(TrackRowTexts(0, 0).Size, QStringLiteral("00.00"));
}

TEST_F(Controller, NoDriveShowsTheHintOnceAndReportsInTheStatus)
{
    int hints = 0;
    TMainController c;
    c.ShowNoDeviceHint = [&] { ++hints; };
    c.Create();
    c.Show();
    EXPECT_EQ(c.CDHandle(), 0);
    EXPECT_EQ(c.StatusText(), QStringLiteral("No CD devices found!"));
    EXPECT_EQ(c.SavedStatusText(), c.StatusText());
    c.Activate();
    c.Activate(); // returning from a modal window is no new activation
    EXPECT_EQ(hints, 1);
    EXPECT_TRUE(boxes.Shown().empty());
    // Commands that need a drive say so.
    EXPECT_TRUE(c.PrepareRip().isEmpty());
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Please access CD devices rightly above all!")});
    c.Close();
    EXPECT_TRUE(QFile::exists(OptionsFilePath()));
}

TEST_F(Controller, ImageFillsTheListWithStoredTitles)
{
    // 4:05 and 0:01 of audio after a 2-second lead-in, then a 74-second track.
    MakeDisc("Three", {245 * 75 + 20, 75, 74 * 75});
    QDir().mkpath(dir.File(QStringLiteral("Output")));
    TMainController c;
    c.Create();
    c.Show();
    ASSERT_NE(c.CDHandle(), 0);
    EXPECT_EQ(c.StatusText(), QStringLiteral("Image Three"));
    const QString key = DiscKey();
    ASSERT_FALSE(key.isEmpty());
    ASSERT_EQ(c.Tracks().Count(), 3);
    EXPECT_EQ(c.Tracks().Row(0).Number, 1);
    EXPECT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Track01"));
    EXPECT_EQ(c.Tracks().Row(0).LengthText, QStringLiteral("04:05"));
    EXPECT_EQ(c.Tracks().Row(0).SizeText, QStringLiteral("41.22"));
    EXPECT_EQ(c.Tracks().Row(2).LengthText, QStringLiteral("01:14"));
    c.Activate();
    EXPECT_TRUE(boxes.Shown().empty());

    // Rename, untick, close: titles reach cdinfo.dat under the disc's key.
    c.RenameRow(1, QStringLiteral("Interlude"));
    c.Close();
    const TProfileFile info(CdInfoFilePath());
    EXPECT_EQ(info.ReadInteger(key, QStringLiteral("TrackNumber"), 0), 3);
    EXPECT_EQ(info.ReadString(key, QStringLiteral("2"), {}), QStringLiteral("Interlude"));

    // The next run finds the name again.
    ResetOptionsSetting();
    TMainController again;
    again.Create();
    again.Show();
    ASSERT_EQ(again.Tracks().Count(), 3);
    EXPECT_EQ(again.Tracks().Row(1).Title, QStringLiteral("Interlude"));
    again.Close();
}

TEST_F(Controller, RipJobListAndOutputFolderQuestions)
{
    MakeDisc("Five", {75, 75, 75, 75, 75});
    TMainController c;
    c.Create();
    c.Show();
    ASSERT_EQ(c.Tracks().Count(), 5);
    c.SelectNone();
    EXPECT_TRUE(c.PrepareRip().isEmpty());
    EXPECT_EQ(boxes.Texts().last(), QStringLiteral("Please select a track at least!"));
    c.ToggleTick(1);
    c.ToggleTick(4);
    c.RenameRow(4, QStringLiteral("Finale"));

    // The output folder is missing: No stops, Yes creates it.
    const QString out = OptionsSetting().CommonOptions.OutputFolder;
    boxes.PlanAnswer(MbAnswer::No);
    EXPECT_TRUE(c.PrepareRip().isEmpty());
    EXPECT_EQ(boxes.Shown().back().Text,
              out + QStringLiteral(",The output directory does not exist.\r\ncreates a new directory?"));
    EXPECT_EQ(boxes.Shown().back().Buttons, MbButtons::YesNo);
    EXPECT_FALSE(QDir(out).exists());
    boxes.PlanAnswer(MbAnswer::Yes);
    EXPECT_EQ(c.PrepareRip(), (QStringList{QStringLiteral("02Track02"), QStringLiteral("05Finale")}));
    EXPECT_TRUE(QDir(out).exists());

    // Only one level is created; a deeper missing folder is an error.
    OptionsSetting().CommonOptions.OutputFolder = dir.File(QStringLiteral("a/b/c"));
    boxes.PlanAnswer(MbAnswer::Yes);
    EXPECT_TRUE(c.PrepareRip().isEmpty());
    EXPECT_EQ(boxes.Shown().back().Text, QStringLiteral("Cannot create ") + dir.File(QStringLiteral("a/b/c")));
    EXPECT_EQ(boxes.Shown().back().Icon, MbIcon::Error);
    c.Close();
}

TEST_F(Controller, RefreshAndDiscsArrivingAndLeaving)
{
    MakeDisc("One", {150});
    TMainController c;
    c.Create();
    c.Show();
    ASSERT_EQ(c.Tracks().Count(), 1);
    c.VolumeRemoved();
    EXPECT_EQ(c.Tracks().Count(), 0);
    c.VolumeArrived();
    EXPECT_EQ(c.Tracks().Count(), 1);
    c.Refresh();
    EXPECT_EQ(c.Tracks().Count(), 1);

    // The image goes away while open: Refresh reports the missing CD, nothing crashes.
    QFile::remove(dir.File(QStringLiteral("discs/One.cue")));
    QFile::remove(dir.File(QStringLiteral("discs/One.bin")));
    c.Refresh();
    EXPECT_EQ(boxes.Texts().last(), QStringLiteral("Please check if have Audio CD in your CD device."));
    c.VolumeArrived();
    EXPECT_EQ(c.StatusText(), QStringLiteral("Not get CD device information!"));
    c.Close();
}
