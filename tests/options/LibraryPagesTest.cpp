// The options dialog's pages beyond the design: FLAC/Opus, and file names and tags.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "app/SettingsStore.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "metadata/Genres.h"
#include "options/LimitedLineEdit.h"
#include "options/OptionPageFlacOpus.h"
#include "options/OptionPageNames.h"
#include "options/OptionSetForm.h"
#include "pipeline/NamePattern.h"
#include "support/TestSupport.h"

namespace {

class LibraryPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        OptionsSetting() = DefaultOptions();
        QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);
    }
    void TearDown() override { ResetOptionsSetting(); }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
};

/// The main window's side: the disc's third track is the example.
struct ExampleHost : IDriveHost {
    void UseDrive(const OpenDriveResult&) override {}
    int OpenDriveIndex() const override { return -1; }
    TExampleTrack ExampleTrack() const override { return {3, QStringLiteral("Hells Bells"), 10}; }
};

} // namespace

TEST_F(LibraryPages, TheExampleFollowsEveryPageAndIsWhereTheRipPutsTheTrack)
{
    ExampleHost host;
    TOptionSetForm f(nullptr, &host, DefaultOptions());
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QString out = OptionsSetting().CommonOptions.OutputFolder + QLatin1Char('/');
    f.ID3artist->setText(QStringLiteral("AC/DC"));
    f.ID3album->setText(QStringLiteral("Back in Black"));
    f.ID3genre->setCurrentIndex(GenrePositionOf(QStringLiteral("Hard Rock")));
    f.cbOutputFormat->setCurrentIndex(ofFLAC);
    // The other pages are edited first; the example is made when its page is shown.
    f.PageControl1->setCurrentWidget(f.pageNames);
    EXPECT_EQ(f.pageNames->lNameExample->text(), out + QStringLiteral("Hells Bells.flac"));
    const struct {
        const char* pattern;
        QString example;
    } cases[] = {
        {"%A/%d/%n - %t", out + QStringLiteral("AC-DC/Back in Black/03 - Hells Bells.flac")},
        {"%g/%n of %N %t", out + QStringLiteral("Hard Rock/03 of 10 Hells Bells.flac")},
        {"../x", NamePatternProblem(QStringLiteral("../x"))},
        {"", out + QStringLiteral("Hells Bells.flac")},
    };
    for (const auto& c : cases) {
        f.pageNames->cbNamePattern->setEditText(QString::fromLatin1(c.pattern));
        EXPECT_EQ(f.pageNames->lNameExample->text(), c.example) << c.pattern;
    }
    f.pageNames->cbNamePattern->setEditText(QStringLiteral("%n - %t"));
    f.PageControl1->setCurrentIndex(tabOutput);
    f.cbOutputFormat->setCurrentIndex(ofOpus);
    f.PageControl1->setCurrentWidget(f.pageNames);
    EXPECT_EQ(f.pageNames->lNameExample->text(), out + QStringLiteral("03 - Hells Bells.opus"));
    EXPECT_EQ(f.pageNames->cbNamePattern->count(), 3);
}

TEST_F(LibraryPages, ARefusedPatternKeepsTheDialogOpenAndStoresNothing)
{
    TOptionSetForm f(nullptr, nullptr, DefaultOptions());
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.activateWindow();
    f.cbOutputFormat->setCurrentIndex(ofFLAC);
    f.pageFlacOpus->sbFlacLevel->setValue(8);
    f.pageFlacOpus->ckFlacVerify->setChecked(false);
    f.pageFlacOpus->sbOpusBitrate->setValue(96);
    f.pageNames->ckWriteTags->setChecked(false);
    f.PageControl1->setCurrentWidget(f.pageNames);
    for (const char* bad : {"/", "%", "%x/%t", "../x", "%A/./%t", "%A/"}) {
        const QString pattern = QString::fromLatin1(bad);
        f.pageNames->cbNamePattern->setEditText(pattern);
        boxes.Clear();
        f.btOK->click();
        EXPECT_TRUE(f.isVisible()) << bad;
        ASSERT_EQ(boxes.Shown().size(), 1u) << bad;
        EXPECT_EQ(boxes.Shown()[0].Text, NamePatternProblem(pattern)) << bad;
        EXPECT_EQ(QApplication::focusWidget(), f.pageNames->cbNamePattern) << bad;
        EXPECT_EQ(OptionsSetting().CommonOptions.OutputFormat, ofMP3) << "stored despite " << bad;
        EXPECT_EQ(OptionsSetting().CommonOptions.NamePattern, QString());
    }
    f.pageNames->cbNamePattern->setEditText(QStringLiteral("%A/%d/%n - %t"));
    f.btOK->click();
    EXPECT_FALSE(f.isVisible());
    const TOptionsSetting& s = OptionsSetting();
    EXPECT_EQ(s.CommonOptions.OutputFormat, ofFLAC);
    EXPECT_EQ(s.CommonOptions.NamePattern, QStringLiteral("%A/%d/%n - %t"));
    EXPECT_EQ(s.FlacOptions.CompressionLevel, 8);
    EXPECT_FALSE(s.FlacOptions.Verify);
    EXPECT_EQ(s.OpusOptions.Bitrate, 96);
    EXPECT_FALSE(s.Tags.Write);
}
