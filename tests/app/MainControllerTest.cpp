#include <QDir>
#include <QUrl>

#include <gtest/gtest.h>

#include "app/DiscInfoStore.h"
#include "app/MainController.h"
#include "app/SettingsStore.h"
#include "cd/OpenDrive.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "makedisc/DiscImageWriter.h"
#include "metadata/CddbRecord.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cdaccess/DiscFixture.h"
#include "platform/drives/DriveQueries.h"
#include "platform/profile/ProfileFile.h"
#include "support/TestSupport.h"

namespace {

class Controller : public ::testing::Test {
protected:
    void SetUp() override { ResetOptionsSetting(); }
    void TearDown() override { ResetOptionsSetting(); }

    void MakeDisc(const char* name, const std::vector<int64_t>& sectors)
    {
        MakeProgramDisc(dir, name, sectors);
    }

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
    EXPECT_EQ(boxes.Texts(),
              QStringList{QStringLiteral("Please access CD devices rightly above all!")});
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

TEST_F(Controller, ARipAsksOnceBeforeReplacingFilesItDidNotMake)
{
    // Another disc with a "Track01" and a "Track02" was ripped into this folder before.
    MakeDisc("Three", {75, 75, 75});
    TMainController c;
    c.Create();
    c.Show();
    ASSERT_EQ(c.Tracks().Count(), 3);
    const QString out = dir.File(QStringLiteral("Rips"));
    QDir().mkpath(out);
    OptionsSetting().CommonOptions.OutputFolder = out;
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    WriteWholeFile(out + QStringLiteral("/Track01.mp3"), "other disc");
    WriteWholeFile(out + QStringLiteral("/Track02.wav"), "other disc");
    const QStringList all{QStringLiteral("01Track01"), QStringLiteral("02Track02"),
                          QStringLiteral("03Track03")};
    const struct {
        MbAnswer answer;
        QStringList jobs;
    } cases[] = {{MbAnswer::Yes, all},
                 {MbAnswer::No, QStringList{QStringLiteral("03Track03")}},
                 {MbAnswer::Cancel, QStringList()}};
    for (const auto& k : cases) {
        boxes.Clear();
        boxes.PlanAnswer(k.answer);
        EXPECT_EQ(c.PrepareRip(), k.jobs) << static_cast<int>(k.answer);
        ASSERT_EQ(boxes.Shown().size(), 1u);
        const MessageBoxRequest& box = boxes.Shown()[0];
        EXPECT_EQ(box.Text, QStringLiteral("These files exist already; the rip would replace "
                                           "them:\n\nTrack01.mp3\nTrack02.wav\n\nReplace them, "
                                           "skip those tracks, or cancel the rip?"));
        EXPECT_EQ(box.Detail,
                  out + QStringLiteral("/Track01.mp3\n") + out + QStringLiteral("/Track02.wav"));
        EXPECT_EQ(box.Caption, QStringLiteral("Platterly"));
        EXPECT_EQ(box.Buttons, MbButtons::YesNoCancel);
        EXPECT_EQ(box.DefaultButton, MbAnswer::No);
        EXPECT_EQ(box.ButtonTexts, (std::vector<std::pair<MbAnswer, QString>>{
                                       {MbAnswer::Yes, QStringLiteral("&Replace")},
                                       {MbAnswer::No, QStringLiteral("&Skip")},
                                       {MbAnswer::Cancel, QStringLiteral("Cancel")}}));
    }
    c.Close();
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

    // The folder the user chose is missing: No stops, Yes creates it.
    const QString out = dir.File(QStringLiteral("Rips"));
    OptionsSetting().CommonOptions.OutputFolder = out;
    boxes.PlanAnswer(MbAnswer::No);
    EXPECT_TRUE(c.PrepareRip().isEmpty());
    EXPECT_EQ(
        boxes.Shown().back().Text,
        out + QStringLiteral(",The output directory does not exist.\r\ncreates a new directory?"));
    EXPECT_EQ(boxes.Shown().back().Buttons, MbButtons::YesNo);
    EXPECT_FALSE(QDir(out).exists());
    boxes.PlanAnswer(MbAnswer::Yes);
    EXPECT_EQ(c.PrepareRip(),
              (QStringList{QStringLiteral("02Track02"), QStringLiteral("05Finale")}));
    EXPECT_TRUE(QDir(out).exists());

    // Only one level is created; a deeper missing folder is an error.
    OptionsSetting().CommonOptions.OutputFolder = dir.File(QStringLiteral("a/b/c"));
    boxes.PlanAnswer(MbAnswer::Yes);
    EXPECT_TRUE(c.PrepareRip().isEmpty());
    EXPECT_EQ(boxes.Shown().back().Text,
              QStringLiteral("Cannot create ") + dir.File(QStringLiteral("a/b/c")));
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
    // Another disc came or went: the open one is still there, and so is its list.
    c.RenameRow(0, QStringLiteral("Kept"));
    c.VolumeRemoved();
    c.VolumeArrived();
    ASSERT_EQ(c.Tracks().Count(), 1);
    EXPECT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Kept"));
    c.Refresh();
    EXPECT_EQ(c.Tracks().Count(), 1);

    // The image goes away while open: the list goes, Refresh reports the missing CD.
    QFile::remove(dir.File(QStringLiteral("discs/One.cue")));
    QFile::remove(dir.File(QStringLiteral("discs/One.bin")));
    c.VolumeRemoved();
    EXPECT_EQ(c.Tracks().Count(), 0);
    EXPECT_TRUE(c.LoadedDiscKey().isEmpty());
    c.Refresh();
    EXPECT_EQ(boxes.Texts().last(),
              QStringLiteral("Please check if have Audio CD in your CD device."));
    c.VolumeArrived();
    EXPECT_EQ(c.StatusText(), QStringLiteral("Not get CD device information!"));
    c.Close();
}

/// Writes a data-only disc image (one Mode 1 track) into the program's discs folder.
void MakeDataDisc(const ProgramDirScope& dir, const QString& name)
{
    ASSERT_TRUE(QDir().mkpath(dir.File(QStringLiteral("discs"))));
    WriteWholeFile(dir.File(QStringLiteral("discs/")) + name + QStringLiteral(".bin"),
                   QByteArray(300 * 2352, '\x5a'));
    WriteWholeFile(dir.File(QStringLiteral("discs/")) + name + QStringLiteral(".cue"),
                   "FILE \"" + name.toUtf8() +
                       ".bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
}

QString StoredTitle(const QString& key, int track)
{
    return TProfileFile(CdInfoFilePath())
        .ReadString(key, QString::number(track), QStringLiteral("<none>"));
}

TEST_F(Controller, NamesAreSavedOnlyUnderTheDiscTheyWereLoadedFor)
{
    MakeDisc("A", {75, 75});
    MakeDisc("B", {150, 75, 75});
    QString keyA;
    QString keyB;
    {
        TMainController c;
        c.Create();
        c.Show();
        ASSERT_EQ(c.Tracks().Count(), 2);
        keyA = c.LoadedDiscKey();
        ASSERT_FALSE(keyA.isEmpty());
        c.RenameRow(0, QStringLiteral("Alpha"));
        // Another image leaving or coming changes nothing for the open disc.
        QFile::remove(dir.File(QStringLiteral("discs/B.cue")));
        c.VolumeRemoved();
        MakeDisc("C", {75});
        c.VolumeArrived();
        ASSERT_EQ(c.Tracks().Count(), 2);
        EXPECT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Alpha"));
        c.Close();
    }
    EXPECT_EQ(StoredTitle(keyA, 1), QStringLiteral("Alpha"));
    EXPECT_EQ(TProfileFile(CdInfoFilePath()).ReadInteger(keyA, QStringLiteral("TrackNumber"), -1),
              2);

    // The drive switch of the options dialog: the second disc shows and keeps its own names.
    MakeDisc("B", {150, 75, 75});
    ResetOptionsSetting();
    {
        TMainController c;
        c.Create();
        c.Show();
        ASSERT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Alpha"));
        const OpenDriveResult b = OpenDrive(1);
        ASSERT_NE(b.Handle, 0);
        CloseCDHandle(c.CDHandle());
        c.SetCDHandle(b.Handle);
        c.LoadTrackList();
        ASSERT_EQ(c.Tracks().Count(), 3);
        keyB = c.LoadedDiscKey();
        EXPECT_NE(keyB, keyA);
        EXPECT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Track01"))
            << "not the first disc's title";
        c.RenameRow(2, QStringLiteral("Beta"));
        c.Close();
    }
    EXPECT_EQ(StoredTitle(keyB, 3), QStringLiteral("Beta"));
    EXPECT_EQ(StoredTitle(keyB, 1), QStringLiteral("Track01"));
    EXPECT_EQ(StoredTitle(keyA, 1), QStringLiteral("Alpha"))
        << "the first disc's names are untouched";
    EXPECT_EQ(StoredTitle(keyA, 3), QStringLiteral("<none>"));

    // The open image leaving: its list goes, and the close writes nothing over its names.
    ResetOptionsSetting();
    {
        TMainController c;
        c.Create();
        OptionsSetting().CDOptions.Index = 0; // the close above kept the second drive's choice
        c.Show();
        ASSERT_EQ(c.LoadedDiscKey(), keyA);
        QFile::remove(dir.File(QStringLiteral("discs/A.cue")));
        QFile::remove(dir.File(QStringLiteral("discs/A.bin")));
        c.VolumeRemoved();
        EXPECT_EQ(c.Tracks().Count(), 0);
        c.Close();
    }
    EXPECT_EQ(StoredTitle(keyA, 1), QStringLiteral("Alpha"));
    EXPECT_EQ(TProfileFile(CdInfoFilePath()).ReadInteger(keyA, QStringLiteral("TrackNumber"), -1),
              2);
}

TEST_F(Controller, ADataDiscInTheFirstDriveLeavesTheAudioDiscsNamesAlone)
{
    MakeDataDisc(dir, QStringLiteral("0data"));
    MakeDisc("Music", {75, 75, 75});
    const QString key = DiscKey(); // the first audio CD: the second drive's
    ASSERT_FALSE(key.isEmpty());
    {
        TProfileFile info(CdInfoFilePath());
        info.WriteString(key, QStringLiteral("TrackNumber"), QStringLiteral("3"));
        info.WriteString(key, QStringLiteral("1"), QStringLiteral("Stored one"));
        info.FlushOrRaise();
    }
    const QByteArray before = ReadWholeFile(CdInfoFilePath());
    TMainController c;
    c.Create();
    c.Show();
    EXPECT_TRUE(c.NoAudioCD());
    EXPECT_EQ(c.Tracks().Count(), 0);
    c.Close();
    EXPECT_EQ(ReadWholeFile(CdInfoFilePath()), before);
}

TEST_F(Controller, DiscsStartingAfterTrackOneKeepTheirTrackNumbers)
{
    FakeCdAccess fake;
    fake.drives = {FakeDrive("Image ", "late", 1)};
    fake.firstTrack = 3;
    fake.trackSectors = {75 * 10, 75 * 20, 75 * 30};
    QString key;
    {
        TMainController c;
        c.Create();
        c.Show();
        ASSERT_EQ(c.Tracks().Count(), 3);
        EXPECT_EQ(c.Tracks().Row(0).Number, 3);
        EXPECT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Track03"));
        EXPECT_EQ(c.Tracks().Row(2).Title, QStringLiteral("Track05"));
        key = c.LoadedDiscKey();
        c.RenameRow(0, QStringLiteral("Three"));
        c.RenameRow(2, QStringLiteral("Five"));
        c.ToggleTick(1);
        QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);
        EXPECT_EQ(c.PrepareRip(),
                  (QStringList{QStringLiteral("03Three"), QStringLiteral("05Five")}));
        c.Close();
    }
    EXPECT_EQ(TProfileFile(CdInfoFilePath()).ReadInteger(key, QStringLiteral("TrackNumber"), -1),
              5);
    EXPECT_EQ(StoredTitle(key, 3), QStringLiteral("Three"));
    EXPECT_EQ(StoredTitle(key, 5), QStringLiteral("Five"));

    // The next start shows every title on its own row, however many starts there are.
    for (int run = 0; run < 2; ++run) {
        ResetOptionsSetting();
        TMainController c;
        c.Create();
        c.Show();
        ASSERT_EQ(c.Tracks().Count(), 3);
        EXPECT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Three"));
        EXPECT_EQ(c.Tracks().Row(1).Title, QStringLiteral("Track04"));
        EXPECT_EQ(c.Tracks().Row(2).Title, QStringLiteral("Five"));
        c.Close();
    }
}

TEST_F(Controller, ADriveThatAppearsAfterAStartWithoutOneIsOpened)
{
    for (const bool byRefresh : {false, true}) {
        ProgramDirScope fresh;
        ResetOptionsSetting();
        TMainController c;
        int opened = 0;
        QObject::connect(&c, &TMainController::DriveOpened, [&](int h) { opened = h; });
        c.Create();
        c.Show();
        ASSERT_EQ(c.CDHandle(), 0);
        MakeProgramDisc(fresh, "Late", {75, 75});
        if (byRefresh)
            c.Refresh();
        else
            c.VolumeArrived();
        EXPECT_NE(c.CDHandle(), 0);
        EXPECT_EQ(opened, c.CDHandle());
        EXPECT_EQ(c.Tracks().Count(), 2);
        EXPECT_EQ(c.StatusText(), QStringLiteral("Image Late"));
        EXPECT_EQ(c.SavedStatusText(), QStringLiteral("Image Late"));
        EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
        c.Close();
    }
}

TEST_F(Controller, AFreshInstallMakesItsDefaultOutputFolderOnly)
{
    {
        TMainController c;
        c.Create();
        EXPECT_TRUE(QDir(dir.File(QStringLiteral("Output"))).exists());
        c.Close();
    }
    // A folder the user chose is never made behind their back.
    ResetOptionsSetting();
    ASSERT_TRUE(QDir(dir.File(QStringLiteral("Output"))).removeRecursively());
    {
        TProfileFile options(OptionsFilePath());
        options.WriteString(QStringLiteral("CommonOptions"), QStringLiteral("OutputFolder"),
                            dir.File(QStringLiteral("Mine")));
        options.FlushOrRaise();
    }
    TMainController c;
    c.Create();
    EXPECT_FALSE(QDir(dir.File(QStringLiteral("Mine"))).exists());
    EXPECT_FALSE(QDir(dir.File(QStringLiteral("Output"))).exists());
    c.Close();
}

TEST_F(Controller, ALookupsNamesGoOnlyToTheDiscItWasFor)
{
    MakeDisc("A", {75, 75});
    MakeDisc("B", {150, 75, 75});
    TMainController c;
    c.Create();
    c.Show();
    const QString keyA = c.LoadedDiscKey();
    ASSERT_FALSE(keyA.isEmpty());
    TDiscNames names;
    names.Artist = QStringLiteral("Band");
    names.Titles[1] = QStringLiteral("Song");
    names.HasTitles = true;
    // The open disc changed while the lookup for A ran.
    const OpenDriveResult b = OpenDrive(1);
    ASSERT_NE(b.Handle, 0);
    CloseCDHandle(c.CDHandle());
    c.SetCDHandle(b.Handle);
    c.LoadTrackList();
    c.ApplyNames(names, keyA);
    EXPECT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Track01"));
    EXPECT_TRUE(OptionsSetting().CDInfo.Artist.isEmpty());
    c.ApplyNames(names, c.LoadedDiscKey());
    EXPECT_EQ(c.Tracks().Row(0).Title, QStringLiteral("Song"));
    EXPECT_EQ(OptionsSetting().CDInfo.Artist, QStringLiteral("Band"));
    c.Close();
}

TEST_F(Controller, ADiscsNamesOutliveItsLeaving)
{
    // Each way the list gives up its disc; the names typed for it must come back with it.
    struct Way {
        const char* name;
        std::function<void(TMainController&, const ProgramDirScope&)> leaveAndReturn;
    };
    const Way ways[] = {
        {"image removed and put back",
         [](TMainController& c, const ProgramDirScope& d) {
             QFile::remove(d.File(QStringLiteral("discs/A.cue")));
             QFile::remove(d.File(QStringLiteral("discs/A.bin")));
             c.VolumeRemoved();
             ASSERT_EQ(c.Tracks().Count(), 0);
             MakeProgramDisc(d, "A", {75, 75});
             c.VolumeArrived();
         }},
        {"drive switched and back",
         [](TMainController& c, const ProgramDirScope&) {
             c.UseDrive(OpenDrive(1));
             ASSERT_EQ(c.Tracks().Count(), 3);
             c.UseDrive(OpenDrive(0));
         }},
        {"refresh", [](TMainController& c, const ProgramDirScope&) { c.Refresh(); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ProgramDirScope fresh;
        ResetOptionsSetting();
        MakeProgramDisc(fresh, "A", {75, 75});
        MakeProgramDisc(fresh, "B", {150, 75, 75});
        TMainController c;
        c.Create();
        c.Show();
        ASSERT_EQ(c.Tracks().Count(), 2);
        const QString key = c.LoadedDiscKey();
        c.RenameRow(1, QStringLiteral("Kept"));
        OptionsSetting().CDInfo.Artist = QStringLiteral("Band");
        way.leaveAndReturn(c, fresh);
        ASSERT_EQ(c.LoadedDiscKey(), key);
        EXPECT_EQ(c.Tracks().Row(1).Title, QStringLiteral("Kept"));
        EXPECT_EQ(OptionsSetting().CDInfo.Artist, QStringLiteral("Band"));
        EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
        c.Close();
    }
}

TEST_F(Controller, TheDriveSettingNamesTheDriveShown)
{
    MakeDataDisc(dir, QStringLiteral("0data"));
    MakeDisc("A", {75, 75});
    MakeDisc("B", {150, 75, 75});
    // Start-up opens the chosen drive (a data disc in the first one does not matter); a choice
    // whose drive has gone opens the first, as no choice does.
    struct Start {
        int32_t stored;
        const char* status;
        int rows;
    };
    for (const Start& s : {Start{2, "Image B", 3}, Start{1, "Image A", 2},
                           Start{7, "Image 0data", 0}, Start{-1, "Image 0data", 0}}) {
        SCOPED_TRACE(s.stored);
        ResetOptionsSetting();
        OptionsSetting().CDOptions.Index = s.stored;
        TMainController c;
        c.Show();
        EXPECT_EQ(c.StatusText(), QString::fromLatin1(s.status));
        EXPECT_EQ(c.Tracks().Count(), s.rows);
        EXPECT_EQ(c.NoAudioCD(), s.rows == 0);
        c.Refresh();
        EXPECT_EQ(c.Tracks().Count(), s.rows) << "Refresh looks at the open drive";
        CloseCDHandle(c.CDHandle());
    }

    // An image coming before the open one moves it down the list; the setting follows it.
    ResetOptionsSetting();
    OptionsSetting().CDOptions.Index = 2;
    TMainController c;
    c.Show();
    ASSERT_EQ(c.OpenDrivePosition(), 2);
    MakeDisc("1new", {75});
    EXPECT_EQ(c.OpenDrivePosition(), 3);
    c.Close();
    EXPECT_EQ(OptionsSetting().CDOptions.Index, 3);
    EXPECT_TRUE(boxes.Texts().filter(QStringLiteral("Audio CD")).size() == 2)
        << "the data disc's two starts (and their Refresh) report it; nothing else does";
}

TEST_F(Controller, TheDeviceTheDesktopNamesIsOpenedAtStart)
{
    MakeDisc("A", {75, 75});
    MakeDisc("B", {150, 75, 75});
    const QString b = dir.File(QStringLiteral("discs/B.cue"));
    struct Start {
        QString device;
        const char* status;
    };
    for (const Start& s : {Start{b, "Image B"}, Start{QUrl::fromLocalFile(b).toString(), "Image B"},
                           Start{dir.File(QStringLiteral("discs/../discs/B.cue")), "Image B"},
                           Start{QStringLiteral("/nowhere/C.cue"), "Image A"},
                           Start{dir.File(QStringLiteral("discs/B.bin")), "Image A"}}) {
        SCOPED_TRACE(s.device.toStdString());
        ResetOptionsSetting();
        TMainController c;
        c.SetStartDevice(s.device);
        c.Show();
        EXPECT_EQ(c.StatusText(), QString::fromLatin1(s.status));
        CloseCDHandle(c.CDHandle());
    }
}
