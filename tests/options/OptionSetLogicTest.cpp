#include <QDir>

#include <gtest/gtest.h>

#include "app/SettingsStore.h"
#include "cd/OpenDrive.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "makedisc/DiscImageWriter.h"
#include "options/OptionSetLogic.h"
#include "platform/cdaccess/CdAccess.h"
#include "support/TestSupport.h"

namespace {

class OptionSetLogic : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        settings = DefaultOptions();
        settings.CommonOptions.OutputFolder = dir.Path() + QStringLiteral("Output");
        QDir().mkpath(settings.CommonOptions.OutputFolder);
    }
    void TearDown() override { ResetOptionsSetting(); }

    void MakeDisc(const char* name)
    {
        QDir().mkpath(dir.File(QStringLiteral("discs")));
        std::string error;
        ASSERT_TRUE(makedisc::WriteDiscImage(dir.File(QStringLiteral("discs")).toStdString(), name,
                                             {75, 75}, {}, &error))
            << error;
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TOptionsSetting settings;
};

/// Records what the dialog hands to the main window.
struct RecordingHost : IDriveHost {
    void UseDrive(const OpenDriveResult& opened) override { calls.push_back(opened); }
    int OpenDriveIndex() const override { return 0; }
    std::vector<OpenDriveResult> calls;
};

} // namespace

TEST_F(OptionSetLogic, ListsHoldTheDesignsEntries)
{
    const QStringList mp3 = TOptionSetLogic::Mp3BitRateItems();
    ASSERT_EQ(mp3.size(), 14);
    EXPECT_EQ(mp3.first(), QStringLiteral(" 32 kbit/s"));
    EXPECT_EQ(mp3.last(), QStringLiteral("320 kbit/s"));
    const QStringList ogg = TOptionSetLogic::OggBitRateItems();
    ASSERT_EQ(ogg.size(), 15);
    EXPECT_EQ(ogg[0], QStringLiteral(" Default"));
    EXPECT_EQ(ogg[1], QStringLiteral(" 45 kbit/s"));
    EXPECT_EQ(ogg[9], QStringLiteral("144 kbit/s"));
    const QStringList wma = TOptionSetLogic::WmaBitRateItems();
    ASSERT_EQ(wma.size(), 33);
    EXPECT_EQ(wma[0], QStringLiteral("48.000 kHz, 192 kbit/s, Stereo"));
    EXPECT_EQ(wma[8], QStringLiteral("44.100 kHz,  64 kbit/s, Stereo"));
    EXPECT_EQ(wma[32], QStringLiteral(" 8.000 kHz,   5 kbit/s, Mono"));
    EXPECT_EQ(TOptionSetLogic::OutputFormatItems()[1], QStringLiteral("WAV file(*.WAV)"));
    EXPECT_EQ(TOptionSetLogic::StereoModeItems().size(), 5);
    EXPECT_EQ(TOptionSetLogic::VBRQualityItems().size(), 10);
}

TEST_F(OptionSetLogic, BitRateTextsStoreTheirLeadingNumber)
{
    int32_t kbps = 0;
    // List entries: the 96 entry begins with a blank.
    ASSERT_TRUE(TOptionSetLogic::ParseBitRate(TOptionSetLogic::Mp3BitRateItems()[6], kbps));
    EXPECT_EQ(kbps, 96);
    ASSERT_TRUE(TOptionSetLogic::ParseBitRate(TOptionSetLogic::Mp3BitRateItems()[13], kbps));
    EXPECT_EQ(kbps, 320);
    // The stored form shown at opening, and typed text.
    ASSERT_TRUE(TOptionSetLogic::ParseBitRate(TOptionSetLogic::BitRateText(96), kbps));
    EXPECT_EQ(kbps, 96);
    ASSERT_TRUE(TOptionSetLogic::ParseBitRate(QStringLiteral("2561"), kbps));
    EXPECT_EQ(kbps, 256);
    EXPECT_FALSE(TOptionSetLogic::ParseBitRate(QStringLiteral("fast"), kbps));
    EXPECT_FALSE(TOptionSetLogic::ParseBitRate(QStringLiteral("8 kbit/s"), kbps));
    EXPECT_FALSE(TOptionSetLogic::ParseBitRate(QString(), kbps));
}

TEST_F(OptionSetLogic, OpenThenStoreKeepsEverySetting)
{
    settings.CommonOptions.OutputFormat = 2;
    settings.CommonOptions.IsKeepWav = true;
    settings.CommonOptions.RipTime = 42;
    settings.Mp3Options.BitRate = 96;
    settings.Mp3Options.StereoMode = 4;
    settings.OggOptions.CompressPosition = 77;
    settings.OggOptions.MinBitRate = 14;
    settings.WMAOptions.BitRate = 32;
    settings.CDInfo.Artist =
        QStringLiteral("An artist whose name is longer than thirty characters");
    settings.CDInfo.Genre = 148;
    settings.CDOptions.Index = 3;
    settings.ID3.Use = true;
    settings.CDOptions.Paranoia = 1;
    settings.CDOptions.ReadOffset = -1164;
    settings.AccurateRip.Enabled = false;
    const TOptionsSetting before = settings;

    TOptionSetLogic logic(DefaultOptions());
    const TOptionFormValues v = logic.Open(settings);
    EXPECT_FALSE(v.DeleteWav);
    EXPECT_EQ(v.BitRate, QStringLiteral("96 kbit/s"));
    EXPECT_EQ(v.CDIndex, 3);
    ASSERT_TRUE(TOptionSetLogic::Store(v, settings));

    EXPECT_EQ(settings.CommonOptions.OutputFolder, before.CommonOptions.OutputFolder);
    EXPECT_EQ(settings.CommonOptions.OutputFormat, 2);
    EXPECT_TRUE(settings.CommonOptions.IsKeepWav);
    EXPECT_EQ(settings.CommonOptions.RipTime, 42);
    EXPECT_EQ(settings.Mp3Options.BitRate, 96);
    EXPECT_EQ(settings.Mp3Options.MaxBitRate, 320);
    EXPECT_EQ(settings.Mp3Options.StereoMode, 4);
    EXPECT_EQ(settings.OggOptions.CompressPosition, 77);
    EXPECT_EQ(settings.OggOptions.MinBitRate, 14);
    EXPECT_EQ(settings.WMAOptions.BitRate, 32);
    EXPECT_EQ(settings.CDInfo.Artist, before.CDInfo.Artist);
    EXPECT_EQ(settings.CDInfo.Genre, 148);
    // The drive list was never shown: the stored choice stays.
    EXPECT_EQ(settings.CDOptions.Index, 3);
    EXPECT_TRUE(settings.ID3.Use);
    EXPECT_EQ(settings.CDOptions.Paranoia, 1);
    EXPECT_EQ(settings.CDOptions.ReadOffset, -1164);
    EXPECT_FALSE(settings.AccurateRip.Enabled);
}

TEST_F(OptionSetLogic, StoreTurnsControlsIntoSettings)
{
    TOptionSetLogic logic(DefaultOptions());
    TOptionFormValues v = logic.Open(settings);
    v.OutputFormat = 1; // "WAV file(*.WAV)"
    v.DeleteWav = true; // "Delete WAV file after processing"
    v.BitRate = TOptionSetLogic::Mp3BitRateItems()[6];
    v.MaxBitRate = TOptionSetLogic::Mp3BitRateItems()[13];
    v.Genre = -1;
    v.NormalizePercent = 250; // the spin edit never gets there; the store holds 0..100 anyway
    ASSERT_TRUE(TOptionSetLogic::Store(v, settings));
    EXPECT_EQ(settings.CommonOptions.OutputFormat, 1);
    EXPECT_FALSE(settings.CommonOptions.IsKeepWav);
    EXPECT_EQ(settings.Mp3Options.BitRate, 96);
    EXPECT_EQ(settings.Mp3Options.MaxBitRate, 320);
    EXPECT_EQ(settings.CDInfo.Genre, -1);
    EXPECT_EQ(settings.CommonOptions.NormalizePercent, 100);

    // Out-of-range stored values: nothing selected at opening, and then left alone.
    settings.CommonOptions.OutputFormat = 9;
    settings.CommonOptions.NormalizePercent = -5;
    settings.WMAOptions.BitRate = 40;
    v = logic.Open(settings);
    EXPECT_EQ(v.OutputFormat, -1);
    EXPECT_EQ(v.WMABitrate, -1);
    EXPECT_EQ(v.NormalizePercent, 0);
    ASSERT_TRUE(TOptionSetLogic::Store(v, settings));
    EXPECT_EQ(settings.CommonOptions.OutputFormat, 9);
    EXPECT_EQ(settings.WMAOptions.BitRate, 40);
    EXPECT_EQ(settings.CommonOptions.NormalizePercent, 0);
}

TEST_F(OptionSetLogic, EncodersAtOnceShowWhatAJobWouldRun)
{
    const int most = TOptionSetLogic::MaxEncoders();
    TOptionSetLogic logic(DefaultOptions());
    // Stored -> shown: 0 stays "one per core"; a value no job would run shows what it runs.
    for (const auto& [stored, shown] : {std::pair{0, 0}, {1, 1}, {-4, 1}, {1000, most}}) {
        settings.CommonOptions.ParallelEncoders = stored;
        TOptionFormValues v = logic.Open(settings);
        EXPECT_EQ(v.ParallelEncoders, shown) << stored;
        v.ParallelEncoders = 2;
        ASSERT_TRUE(TOptionSetLogic::Store(v, settings));
        EXPECT_EQ(settings.CommonOptions.ParallelEncoders, 2);
    }
}

TEST_F(OptionSetLogic, ChecksComeInOrderAndStoreNothing)
{
    TOptionSetLogic logic(DefaultOptions());
    TOptionFormValues v = logic.Open(settings);
    const QString missing = dir.Path() + QStringLiteral("Nowhere");
    v.OutputDir = missing;
    v.RipTime = QStringLiteral("abc");
    v.BitRate = QStringLiteral("abc");
    v.OutputFormat = 3;

    TOptionProblem p = TOptionSetLogic::Check(v);
    EXPECT_EQ(p.Control, TOptionProblem::OutputDir);
    EXPECT_EQ(p.Text, missing + QStringLiteral(",The output directory does not exist."));
    EXPECT_FALSE(TOptionSetLogic::Store(v, settings));
    EXPECT_EQ(settings.CommonOptions.OutputFormat, 0);

    v.OutputDir = settings.CommonOptions.OutputFolder;
    p = TOptionSetLogic::Check(v);
    EXPECT_EQ(p.Control, TOptionProblem::RipTime);
    EXPECT_EQ(p.Text, QStringLiteral("Please check the song length to extract."));
    v.RipTime = QStringLiteral("-100");
    EXPECT_EQ(TOptionSetLogic::Check(v).Control, TOptionProblem::RipTime);
    v.RipTime = QStringLiteral(" -99 ");
    p = TOptionSetLogic::Check(v);
    EXPECT_EQ(p.Control, TOptionProblem::BitRate);
    EXPECT_EQ(p.Tab, tabLame);
    EXPECT_EQ(p.Text, QStringLiteral("Please check the minimum bitrate."));

    v.BitRate = QStringLiteral("128");
    v.MaxBitRate = QStringLiteral("x20 kbit/s");
    p = TOptionSetLogic::Check(v);
    EXPECT_EQ(p.Control, TOptionProblem::MaxBitRate);
    EXPECT_EQ(p.Text, QStringLiteral("Please check the maximum bitrate."));
    // A failing bit rate leaves the settings exactly as they were.
    EXPECT_FALSE(TOptionSetLogic::Store(v, settings));
    EXPECT_EQ(settings.CommonOptions.OutputFormat, 0);
    EXPECT_EQ(settings.CommonOptions.RipTime, 0);

    v.MaxBitRate = QStringLiteral("320 kbit/s");
    EXPECT_FALSE(TOptionSetLogic::Check(v));
    ASSERT_TRUE(TOptionSetLogic::Store(v, settings));
    EXPECT_EQ(settings.CommonOptions.RipTime, -99);
    EXPECT_EQ(settings.CommonOptions.OutputFormat, 3);
}

TEST_F(OptionSetLogic, DefaultButtonsTakeTheSettingsDefaults)
{
    settings.Mp3Options = {true, true, 32, 64, 2, 9, 4};
    settings.WMAOptions.BitRate = 0;
    TOptionSetLogic logic(DefaultOptions());
    TOptionFormValues v = logic.Open(settings);
    const TOptionFormValues opened = v;
    logic.LameDefaults(v);
    EXPECT_FALSE(v.SelectVBR);
    EXPECT_FALSE(v.VBRHead);
    EXPECT_EQ(v.BitRate, QStringLiteral("128 kbit/s"));
    EXPECT_EQ(v.MaxBitRate, QStringLiteral("320 kbit/s"));
    EXPECT_EQ(v.VBRQuality, 4);
    EXPECT_EQ(v.MpegQuality, 0);
    EXPECT_EQ(v.StereoMode, 1);
    EXPECT_EQ(v.WMABitrate, 0); // the LAME button leaves WMA alone
    logic.WmaDefaults(v);
    EXPECT_EQ(v.WMABitrate, 8);
    EXPECT_EQ(TOptionSetLogic::WmaBitRateItems()[v.WMABitrate],
              QStringLiteral("44.100 kHz,  64 kbit/s, Stereo"));
    EXPECT_EQ(v.OutputDir, opened.OutputDir);
}

TEST_F(OptionSetLogic, EnablingFollowsTheTicks)
{
    TOptionFormValues v;
    TOptionEnabling e = TOptionSetLogic::Enabling(v);
    EXPECT_FALSE(e.NormalizePercent || e.RipTime || e.VBRHead || e.MaxBitRate || e.VBRQuality);
    v.Normalize = true;
    v.SelectVBR = true;
    e = TOptionSetLogic::Enabling(v);
    EXPECT_TRUE(e.NormalizePercent);
    EXPECT_FALSE(e.RipTime);
    EXPECT_TRUE(e.VBRHead && e.MaxBitRate && e.VBRQuality);
}

TEST_F(OptionSetLogic, DriveSwitchOnlyForANewChoice)
{
    settings.CDOptions.Index = -1; // none chosen yet counts as the first drive
    TOptionSetLogic logic(DefaultOptions());
    TOptionFormValues v = logic.Open(settings);
    EXPECT_EQ(v.CDIndex, 0);
    EXPECT_FALSE(logic.DriveSwitchNeeded(v)); // list never filled

    TOptionSetLogic::DrivesListed(v, 2);
    EXPECT_EQ(v.CDIndex, 0);
    EXPECT_FALSE(logic.DriveSwitchNeeded(v));
    v.CDIndex = 1;
    EXPECT_TRUE(logic.DriveSwitchNeeded(v));
    v.CDIndex = 0;
    v.CDDb = true;
    EXPECT_TRUE(logic.DriveSwitchNeeded(v));

    // A stored choice beyond the list selects nothing, and nothing selected switches nothing.
    settings.CDOptions.Index = 5;
    v = logic.Open(settings);
    TOptionSetLogic::DrivesListed(v, 2);
    EXPECT_EQ(v.CDIndex, -1);
    v.CDDb = true;
    EXPECT_FALSE(logic.DriveSwitchNeeded(v));
    ASSERT_TRUE(TOptionSetLogic::Store(v, settings));
    EXPECT_EQ(settings.CDOptions.Index, 5);
}

TEST_F(OptionSetLogic, AcceptOpensTheChosenDriveForTheHost)
{
    MakeDisc("Alpha");
    MakeDisc("Beta");
    EXPECT_EQ(TOptionSetLogic::DriveNames(),
              (QStringList{QStringLiteral("Image Alpha"), QStringLiteral("Image Beta")}));

    RecordingHost host;
    TOptionSetLogic logic(DefaultOptions());
    TOptionFormValues v = logic.Open(settings);
    TOptionSetLogic::DrivesListed(v, 2);

    // Same drive: stored, no switch.
    EXPECT_FALSE(logic.Accept(v, settings, &host));
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(settings.CDOptions.Index, 0);

    // A problem is shown, nothing is stored, no drive is opened.
    v.CDIndex = 1;
    v.OutputDir = dir.Path() + QStringLiteral("Gone");
    const TOptionProblem p = logic.Accept(v, settings, &host);
    EXPECT_EQ(p.Control, TOptionProblem::OutputDir);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].Icon, MbIcon::Error);
    EXPECT_EQ(boxes.Shown()[0].Caption, QStringLiteral("Platterly"));
    EXPECT_EQ(boxes.Shown()[0].Text, p.Text);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(settings.CDOptions.Index, 0);

    v.OutputDir = settings.CommonOptions.OutputFolder;
    EXPECT_FALSE(logic.Accept(v, settings, &host));
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_NE(host.calls[0].Handle, 0);
    EXPECT_EQ(host.calls[0].Status, QStringLiteral("Image Beta"));
    EXPECT_EQ(settings.CDOptions.Index, 1);
    CloseCDHandle(host.calls[0].Handle);
}
