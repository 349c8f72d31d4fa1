#include <tuple>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "app/SettingsStore.h"
#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "makedisc/DiscImageWriter.h"
#include "platform/profile/ProfileFile.h"
#include "platform/shell/Shell.h"
#include "support/TestSupport.h"

namespace {

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        SetShellHookForTests([this](const QString& what) {
            opened << what;
            return true;
        });
    }
    void TearDown() override
    {
        SetShellHookForTests(nullptr);
        ResetOptionsSetting();
    }
    void MakeDisc(const char* name, const std::vector<int64_t>& sectors)
    {
        MakeProgramDisc(dir, name, sectors);
    }
    QString Status(TMainForm& f)
    {
        return f.findChild<QLabel*>(QStringLiteral("StatusPanel"))->text();
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ScriptedFileDialogService pickers;
    QStringList opened;
};

} // namespace

TEST_F(MainFormTest, CommandsCaptionsAndShortcuts)
{
    TMainForm f;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Platterly 2.0"));
    EXPECT_EQ(f.ActionExtract->text(), QStringLiteral("E&xtract"));
    EXPECT_EQ(f.ActionExtract->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
    EXPECT_EQ(f.ActionWavToMp3->shortcut(), QKeySequence(QStringLiteral("Ctrl+W")));
    EXPECT_EQ(f.aEditTrackName->shortcut(), QKeySequence(QStringLiteral("F2")));
    EXPECT_EQ(f.mnuHelp->shortcut(), QKeySequence(QStringLiteral("F1")));
    EXPECT_EQ(f.CloseCdRomMenu->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
    QStringList toolbar;
    for (QAction* a : f.ToolBar1->actions())
        toolbar << a->iconText();
    EXPECT_EQ(toolbar, (QStringList{QStringLiteral("Extract"), QStringLiteral("Encode"),
                                    QStringLiteral("Record"), QStringLiteral("Options"),
                                    QStringLiteral("Exit")}));
    const auto* model = f.ListView1->model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("No."));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Length(min)"));
    EXPECT_EQ(f.ListView1->columnWidth(1), 230);
}

TEST_F(MainFormTest, StartsWithTheImageAndEnablesCommandsByTheirRules)
{
    MakeDisc("Demo", {30 * 75, 20 * 75, 25 * 75});
    TMainForm f;
    int hints = 0;
    f.Controller().ShowNoDeviceHint = [&] { ++hints; };
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    EXPECT_EQ(Status(f), QStringLiteral("Image Demo"));
    ASSERT_EQ(f.ListView1->model()->rowCount(), 3);
    EXPECT_EQ(f.ListView1->model()->index(1, 0).data().toString(), QStringLiteral("2"));
    EXPECT_EQ(f.ListView1->model()->index(1, 2).data().toString(), QStringLiteral("00:20"));
    f.FormActivate();
    EXPECT_EQ(hints, 0);

    EXPECT_TRUE(f.ActionExtract->isEnabled());
    EXPECT_TRUE(f.aQueryCDDB->isEnabled());
    EXPECT_FALSE(f.aEditTrackName->isEnabled());
    EXPECT_FALSE(f.aPlay->isEnabled());
    EXPECT_FALSE(f.aPause->isEnabled());
    EXPECT_FALSE(f.aStop->isEnabled());
    f.ActionNoSelect->trigger();
    EXPECT_FALSE(f.ActionExtract->isEnabled());

    // Ctrl-click ticks the clicked row; a plain click only selects.
    const QRect r = f.ListView1->visualRect(f.ListView1->model()->index(2, 1));
    QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    EXPECT_EQ(f.SelectedRow(), 2);
    EXPECT_TRUE(f.Controller().Tracks().Row(2).Ticked);
    EXPECT_TRUE(f.ActionExtract->isEnabled());
    EXPECT_TRUE(f.aEditTrackName->isEnabled());
    EXPECT_TRUE(f.aPlay->isEnabled());
    QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    EXPECT_FALSE(f.Controller().Tracks().Row(2).Ticked);
    f.ActionSelectAll->trigger();
    EXPECT_TRUE(f.Controller().Tracks().AnyTicked());

    // Double-click renames through the dialog hook.
    f.EditTrackName = [](QString& title) {
        title = QStringLiteral("Coda");
        return true;
    };
    f.ListDoubleClicked();
    EXPECT_EQ(f.Controller().Tracks().Row(2).Title, QStringLiteral("Coda"));

    f.close();
    const TProfileFile options(OptionsFilePath());
    EXPECT_EQ(options.ReadString(QStringLiteral("QueryCDDB"), QStringLiteral("Server"), {}),
              QStringLiteral("gnudb.gnudb.org"));
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(MainFormTest, NoDriveAndSmallCommands)
{
    TMainForm f;
    int hints = 0;
    f.Controller().ShowNoDeviceHint = [&] { ++hints; };
    f.show();
    f.FormActivate();
    f.FormActivate();
    EXPECT_EQ(hints, 1);
    EXPECT_EQ(Status(f), QStringLiteral("No CD devices found!"));
    EXPECT_FALSE(f.ActionExtract->isEnabled());
    EXPECT_FALSE(f.aQueryCDDB->isEnabled());

    // A fresh install has made its default output folder at start; without it, Open output
    // directory is an error naming it, and with it the folder opens.
    ASSERT_TRUE(QDir(OptionsSetting().CommonOptions.OutputFolder).exists());
    ASSERT_TRUE(QDir(OptionsSetting().CommonOptions.OutputFolder).removeRecursively());
    f.Openoutputdirectory1->trigger();
    ASSERT_FALSE(boxes.Shown().empty());
    EXPECT_EQ(boxes.Shown().back().Text,
              OptionsSetting().CommonOptions.OutputFolder +
                  QStringLiteral(",The output directory does not exist."));
    QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);
    f.Openoutputdirectory1->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith(QStringLiteral("/Output")));

    // Help opens the manual; Refresh without a CD says so.
    f.mnuHelp->trigger();
    EXPECT_TRUE(opened.last().endsWith(QStringLiteral("Tracksmith.html")));
    f.bRefresh->trigger();
    EXPECT_EQ(boxes.Texts().last(),
              QStringLiteral("Please check if have Audio CD in your CD device."));

    // A file conversion: the picker's filter, then the job with the picked files.
    QList<int> kinds;
    f.RunJob = [&](int kind, int handle, const QStringList& files) {
        kinds << kind;
        EXPECT_EQ(handle, 0);
        EXPECT_EQ(files.size(), 2);
    };
    pickers.PlanAnswer({dir.File(QStringLiteral("a.mp3")), dir.File(QStringLiteral("b.mp3"))});
    f.mnuMp3ToWav->trigger();
    ASSERT_EQ(pickers.Requests().size(), 1u);
    EXPECT_EQ(pickers.Requests()[0].Filter,
              QStringLiteral("MP3 file(*.mp3)|*.mp3| Any file(*.*)|*.*"));
    pickers.PlanAnswer({});
    f.miWAVtoOGG->trigger(); // cancelled: nothing runs
    EXPECT_EQ(kinds, QList<int>{3});
    // The format table's conversions follow WMA in the File menu, each with its own kind.
    const QList<QAction*> file = f.menuBar()->actions().first()->menu()->actions();
    const qsizetype wma = file.indexOf(f.miWAVtoWMA);
    ASSERT_GE(wma, 0);
    ASSERT_GT(file.size(), wma + 2);
    for (const auto& [at, text, kind] :
         {std::tuple{1, "WAV to &FLAC...", 7}, std::tuple{2, "WAV to O&pus...", 8}}) {
        EXPECT_EQ(file[wma + at]->text(), QString::fromLatin1(text));
        pickers.PlanAnswer({dir.File(QStringLiteral("a.wav")), dir.File(QStringLiteral("b.wav"))});
        file[wma + at]->trigger();
        EXPECT_EQ(kinds.last(), kind);
    }
    f.close();
}
