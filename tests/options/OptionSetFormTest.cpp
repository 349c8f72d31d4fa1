#include <algorithm>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "app/SettingsStore.h"
#include "cd/OpenDrive.h"
#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "makedisc/DiscImageWriter.h"
#include "options/LimitedLineEdit.h"
#include "options/OptionSetForm.h"
#include "platform/cdaccess/CdAccess.h"
#include "support/TestSupport.h"

namespace {

class OptionSetForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        OptionsSetting() = DefaultOptions();
        QDir().mkpath(Settings().CommonOptions.OutputFolder);
    }
    void TearDown() override { ResetOptionsSetting(); }

    static TOptionsSetting& Settings() { return OptionsSetting(); }

    void MakeDisc(const char* name)
    {
        QDir().mkpath(dir.File(QStringLiteral("discs")));
        std::string error;
        ASSERT_TRUE(makedisc::WriteDiscImage(dir.File(QStringLiteral("discs")).toStdString(), name,
                                             {75}, {}, &error))
            << error;
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ScriptedFileDialogService pickers;
};

struct CountingHost : IDriveHost {
    void UseDrive(const OpenDriveResult& opened) override
    {
        ++calls;
        last = opened;
    }
    int OpenDriveIndex() const override { return open; }
    int calls = 0;
    int open = 0;
    OpenDriveResult last;
};

} // namespace

TEST_F(OptionSetForm, OpensOnTheOutputTabWithTheSettings)
{
    Settings().CommonOptions.IsNormalize = true;
    Settings().CommonOptions.NormalizePercent = 80;
    Settings().Mp3Options.BitRate = 96;
    Settings().OggOptions.CompressPosition = 64;
    Settings().CDInfo.Album = QStringLiteral("A very long album name from the CDDB server, kept");
    Settings().CDInfo.Genre = 12;
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Options"));
    ASSERT_EQ(f.PageControl1->count(), 8);
    QStringList tabs;
    for (int i = 0; i < f.PageControl1->count(); ++i)
        tabs << f.PageControl1->tabText(i);
    EXPECT_EQ(tabs, (QStringList{QStringLiteral("Output"), QStringLiteral("LAME"),
                                 QStringLiteral("OGG"), QStringLiteral("WMA"),
                                 QStringLiteral("ID3 Tag"), QStringLiteral("CD-ROM"),
                                 QStringLiteral("FLAC/Opus"), QStringLiteral("File names")}));
    EXPECT_EQ(f.PageControl1->currentIndex(), 0);
    EXPECT_EQ(f.editOutputDir->text(), Settings().CommonOptions.OutputFolder);
    EXPECT_TRUE(f.ckbKeepWav->isChecked()); // IsKeepWav false by default
    EXPECT_EQ(f.SpinEdit1->value(), 80);
    EXPECT_TRUE(f.SpinEdit1->isEnabled());
    EXPECT_EQ(f.cbBitRate->currentText(), QStringLiteral("96 kbit/s"));
    EXPECT_EQ(f.tbCompression->value(), 64);
    EXPECT_EQ(f.cbWMABitrate->count(), 33);
    EXPECT_EQ(f.ID3genre->count(), 149);
    EXPECT_EQ(f.ID3genre->currentText(), QStringLiteral("Bass"));
    EXPECT_EQ(f.ID3album->text(), Settings().CDInfo.Album);
    EXPECT_TRUE(f.gbRipTime->isHidden());
    EXPECT_TRUE(f.ckbCDDb->isHidden());
    // VBR is off by default: its three dependants are disabled until it is ticked.
    EXPECT_FALSE(f.cbMaxBitRate->isEnabled());
    f.ckbSelectVBR->click();
    EXPECT_TRUE(f.ckbVBRHead->isEnabled());
    EXPECT_TRUE(f.cbMaxBitRate->isEnabled());
    EXPECT_TRUE(f.cbVBRQuality->isEnabled());
    f.ckNormalize->click();
    EXPECT_FALSE(f.SpinEdit1->isEnabled());
    EXPECT_FALSE(f.eRipTime->isEnabled());
    f.cbRipTime->click();
    EXPECT_TRUE(f.eRipTime->isEnabled());
}

TEST_F(OptionSetForm, OkStoresWhatTheControlsShow)
{
    Settings().CDInfo.Artist = QStringLiteral("Somebody with a name well over thirty characters");
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    f.cbOutputFormat->setCurrentIndex(
        f.cbOutputFormat->findText(QStringLiteral("WAV file(*.WAV)")));
    f.ckbKeepWav->setChecked(true);
    f.cbBitRate->setCurrentIndex(f.cbBitRate->findText(QStringLiteral(" 96 kbit/s")));
    f.cbMaxBitRate->setCurrentIndex(f.cbMaxBitRate->findText(QStringLiteral("320 kbit/s")));
    f.cbOggNomBit->setCurrentIndex(3);
    f.cbUseID3->setChecked(true);
    f.ID3year->setText(QStringLiteral("1999"));
    f.ID3genre->setCurrentIndex(0);
    f.SpinEdit1->setValue(150);
    f.cbParanoia->setCurrentIndex(0);
    f.seReadOffset->setValue(99999); // the spin edit holds the largest offset accepted
    f.ckbAccurateRip->setChecked(false);
    f.btOK->click();
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_TRUE(boxes.Shown().empty());
    const TOptionsSetting& s = Settings();
    EXPECT_EQ(s.CommonOptions.OutputFormat, 1);
    EXPECT_FALSE(s.CommonOptions.IsKeepWav);
    EXPECT_EQ(s.Mp3Options.BitRate, 96);
    EXPECT_EQ(s.Mp3Options.MaxBitRate, 320);
    EXPECT_EQ(s.OggOptions.NomalBitRate, 3);
    EXPECT_TRUE(s.ID3.Use);
    EXPECT_EQ(s.CDInfo.Year, QStringLiteral("1999"));
    EXPECT_EQ(s.CDInfo.Genre, 0);
    EXPECT_EQ(s.CommonOptions.NormalizePercent, 100);
    EXPECT_EQ(s.CDOptions.Paranoia, 0);
    EXPECT_EQ(s.CDOptions.ReadOffset, kMaxReadOffset);
    EXPECT_FALSE(s.AccurateRip.Enabled);
    // Untouched long text survives the round trip.
    EXPECT_EQ(s.CDInfo.Artist, QStringLiteral("Somebody with a name well over thirty characters"));
}

TEST_F(OptionSetForm, CancelStoresNothing)
{
    const TOptionsSetting before = Settings();
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    f.cbOutputFormat->setCurrentIndex(3);
    f.editOutputDir->setText(QStringLiteral("/elsewhere"));
    f.btCancel->click();
    EXPECT_EQ(f.result(), QDialog::Rejected);
    EXPECT_EQ(Settings().CommonOptions.OutputFormat, before.CommonOptions.OutputFormat);
    EXPECT_EQ(Settings().CommonOptions.OutputFolder, before.CommonOptions.OutputFolder);
}

TEST_F(OptionSetForm, RefusalsNameTheFieldAndKeepTheDialogOpen)
{
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.activateWindow();
    const QString missing = dir.Path() + QStringLiteral("NoSuchFolder");
    f.editOutputDir->setText(missing);
    f.cbOutputFormat->setCurrentIndex(2);
    f.btOK->setFocus();
    f.btOK->click();
    EXPECT_TRUE(f.isVisible());
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].Text,
              missing + QStringLiteral(",The output directory does not exist."));
    EXPECT_EQ(boxes.Shown()[0].Icon, MbIcon::Error);
    EXPECT_EQ(QApplication::focusWidget(), f.editOutputDir);
    EXPECT_EQ(Settings().CommonOptions.OutputFormat, 0);

    // A bit rate that is no number: named, nothing stored, the LAME field focused there.
    f.editOutputDir->setText(Settings().CommonOptions.OutputFolder);
    f.PageControl1->setCurrentIndex(tabLame);
    f.cbBitRate->setEditText(QStringLiteral("abc kbit/s"));
    f.btOK->setFocus();
    f.btOK->click();
    EXPECT_TRUE(f.isVisible());
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[1].Text, QStringLiteral("Please check the minimum bitrate."));
    EXPECT_EQ(QApplication::focusWidget(), f.cbBitRate);
    EXPECT_EQ(Settings().CommonOptions.OutputFormat, 0);
    EXPECT_EQ(Settings().Mp3Options.BitRate, 128);

    // The song length: focused only when "Output" is the current tab.
    f.cbBitRate->setEditText(QStringLiteral("128 kbit/s"));
    f.eRipTime->setText(QStringLiteral("ten"));
    f.btOK->setFocus();
    f.btOK->click();
    EXPECT_EQ(boxes.Texts().last(), QStringLiteral("Please check the song length to extract."));
    EXPECT_EQ(QApplication::focusWidget(), f.btOK);
    f.eRipTime->setText(QStringLiteral("10"));
    f.btOK->click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(Settings().CommonOptions.OutputFormat, 2);
    EXPECT_EQ(Settings().CommonOptions.RipTime, 10);
}

TEST_F(OptionSetForm, DefaultButtonsResetTheirTabOnly)
{
    Settings().Mp3Options = {true, true, 32, 64, 2, 9, 4};
    Settings().WMAOptions.BitRate = 0;
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    f.cbOutputFormat->setCurrentIndex(3);
    f.bDefault->click();
    EXPECT_FALSE(f.ckbSelectVBR->isChecked());
    EXPECT_FALSE(f.ckbVBRHead->isChecked());
    EXPECT_FALSE(f.cbMaxBitRate->isEnabled());
    EXPECT_EQ(f.cbBitRate->currentText(), QStringLiteral("128 kbit/s"));
    EXPECT_EQ(f.cbMaxBitRate->currentText(), QStringLiteral("320 kbit/s"));
    EXPECT_EQ(f.cbVBRQuality->currentIndex(), 4);
    EXPECT_EQ(f.cbMpegQuality->currentText(), QStringLiteral("Default"));
    EXPECT_EQ(f.cbStereoMode->currentText(), QStringLiteral("Joint Stereo"));
    EXPECT_EQ(f.cbWMABitrate->currentIndex(), 0);
    EXPECT_EQ(f.cbOutputFormat->currentIndex(), 3);
    f.bWMADefault->click();
    EXPECT_EQ(f.cbWMABitrate->currentText(), QStringLiteral("44.100 kHz,  64 kbit/s, Stereo"));
    // Not stored until OK.
    EXPECT_EQ(Settings().Mp3Options.BitRate, 32);
    f.btOK->click();
    EXPECT_EQ(Settings().Mp3Options.BitRate, 128);
    EXPECT_EQ(Settings().Mp3Options.StereoMode, 1);
    EXPECT_EQ(Settings().WMAOptions.BitRate, 8);
}

TEST_F(OptionSetForm, FolderPickerStartsAtTheProgramFolder)
{
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    const QString before = f.editOutputDir->text();
    pickers.PlanAnswer({});
    f.btBrowser->click();
    EXPECT_EQ(f.editOutputDir->text(), before); // cancelled
    pickers.PlanAnswer({dir.Path() + QStringLiteral("Rips")});
    f.btBrowser->click();
    ASSERT_EQ(pickers.Requests().size(), 2u);
    const FileDialogRequest& r = pickers.Requests()[1];
    EXPECT_EQ(r.Kind, FileDialogKind::Folder);
    EXPECT_EQ(r.Title, QStringLiteral("Please select the directory to save mp3 and wav file"));
    EXPECT_EQ(r.Directory, dir.Path());
    EXPECT_EQ(f.editOutputDir->text(), dir.Path() + QStringLiteral("Rips"));
}

TEST_F(OptionSetForm, CdRomTabListsDrivesAndSwitchesOnANewChoice)
{
    MakeDisc("First");
    MakeDisc("Second");
    Settings().CDOptions.Index = -1;
    CountingHost host;
    {
        TOptionSetForm f(nullptr, &host, DefaultOptions());
        EXPECT_EQ(f.cbCDList->count(), 0);
        f.PageControl1->setCurrentIndex(tabCdRom);
        ASSERT_EQ(f.cbCDList->count(), 2);
        EXPECT_EQ(f.cbCDList->itemText(1), QStringLiteral("Image Second"));
        EXPECT_EQ(f.cbCDList->currentIndex(), 0);
        // Same drive: OK opens nothing.
        f.btOK->click();
        EXPECT_EQ(host.calls, 0);
        EXPECT_EQ(Settings().CDOptions.Index, 0);
    }
    {
        TOptionSetForm f(nullptr, &host, DefaultOptions());
        f.PageControl1->setCurrentIndex(tabCdRom);
        f.cbCDList->setCurrentIndex(1);
        // Leaving and coming back keeps the pick.
        f.PageControl1->setCurrentIndex(tabOutput);
        f.PageControl1->setCurrentIndex(tabCdRom);
        EXPECT_EQ(f.cbCDList->currentIndex(), 1);
        f.btOK->click();
        ASSERT_EQ(host.calls, 1);
        EXPECT_EQ(host.last.Status, QStringLiteral("Image Second"));
        EXPECT_NE(host.last.Handle, 0);
        EXPECT_EQ(Settings().CDOptions.Index, 1);
        CloseCDHandle(host.last.Handle);
        host.open = 1;
    }
    {
        // Reopened with the drive chosen last time: nothing to switch.
        TOptionSetForm f(nullptr, &host, DefaultOptions());
        f.PageControl1->setCurrentIndex(tabCdRom);
        EXPECT_EQ(f.cbCDList->currentIndex(), 1);
        f.btOK->click();
        EXPECT_EQ(host.calls, 1);
    }
}

TEST(LimitedLineEdit, LimitsTypingButKeepsLongTextPutIn)
{
    TLimitedLineEdit edit(4);
    edit.show();
    QTest::keyClicks(&edit, QStringLiteral("199999"));
    EXPECT_EQ(edit.text(), QStringLiteral("1999"));

    edit.SetFullText(QStringLiteral("abcdefgh"));
    EXPECT_EQ(edit.text(), QStringLiteral("abcdefgh"));
    edit.end(false);
    QTest::keyClicks(&edit, QStringLiteral("i"));
    EXPECT_EQ(edit.text(), QStringLiteral("abcdefgh")); // no longer than it already was
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClicks(&edit, QStringLiteral("xy"));
    EXPECT_EQ(edit.text(), QStringLiteral("abcdefg")); // shortening does not make room
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("pq"));
    EXPECT_EQ(edit.text(), QStringLiteral("pq"));
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("123456"));
    EXPECT_EQ(edit.text(), QStringLiteral("1234")); // back to the limit
}

TEST_F(OptionSetForm, KeyboardTurnsPagesAndWalksTheTagFieldsInOrder)
{
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    // Ctrl+Tab turns the page from a drop-down list too, which would take it as typing.
    f.cbOutputFormat->setFocus();
    QTest::keyClick(f.cbOutputFormat, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(f.PageControl1->currentIndex(), int(tabLame));
    f.cbStereoMode->setFocus();
    QTest::keyClick(f.cbStereoMode, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(f.PageControl1->currentIndex(), int(tabOutput));
    QTest::keyClick(f.cbOutputFormat, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(f.PageControl1->currentIndex(), f.PageControl1->count() - 1);

    // Tab visits the ID3 page's fields from top to bottom.
    const std::vector<QWidget*> shown{f.cbUseID3, f.ID3artist, f.ID3album,
                                      f.ID3year,  f.ID3genre,  f.ID3comment};
    std::vector<QWidget*> visited;
    for (QWidget* w = f.cbUseID3; visited.size() < shown.size(); w = w->nextInFocusChain()) {
        if (std::find(shown.begin(), shown.end(), w) != shown.end() &&
            std::find(visited.begin(), visited.end(), w) == visited.end())
            visited.push_back(w);
    }
    EXPECT_EQ(visited, shown);
}

TEST_F(OptionSetForm, EveryTabStaysInViewWhateverTheStyleMakesOfThem)
{
    // Desktop themes draw tabs wider than this build's own style; one that pads them as much
    // as some do must still show the whole row.
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    f.setStyleSheet(QStringLiteral("QTabBar::tab { padding: 6px 24px; }"));
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QTabBar* bar = f.PageControl1->tabBar();
    for (int i = 0; i < bar->count(); ++i)
        EXPECT_LE(bar->tabRect(i).right(), bar->width()) << bar->tabText(i).toStdString();
}

TEST_F(OptionSetForm, TheDriveShownIsTheOneOpen)
{
    MakeDisc("First");
    MakeDisc("Second");
    Settings().CDOptions.Index = 0;
    CountingHost host;
    host.open = 1; // a later image change, or a start on another drive, moved it
    {
        TOptionSetForm f(nullptr, &host, DefaultOptions());
        f.PageControl1->setCurrentIndex(tabCdRom);
        EXPECT_EQ(f.cbCDList->currentIndex(), 1);
        f.btOK->click();
        EXPECT_EQ(host.calls, 0);
        EXPECT_EQ(Settings().CDOptions.Index, 1) << "the setting names the drive shown";
    }
    // No drive open: OK on the chosen one opens it.
    host.open = -1;
    TOptionSetForm f(nullptr, &host, DefaultOptions());
    f.PageControl1->setCurrentIndex(tabCdRom);
    EXPECT_EQ(f.cbCDList->currentIndex(), 1);
    f.btOK->click();
    ASSERT_EQ(host.calls, 1);
    EXPECT_EQ(host.last.Status, QStringLiteral("Image Second"));
    CloseCDHandle(host.last.Handle);
}
