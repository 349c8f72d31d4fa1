#include <algorithm>
#include <map>
#include <tuple>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include "app/DiscHeader.h"
#include "app/MainColours.h"
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
    EXPECT_TRUE(f.aEditTrackName->isEnabled()); // the first row is selected
    EXPECT_TRUE(f.aPlay->isEnabled());
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

TEST_F(MainFormTest, KeyboardTicksRenamesAndQuits)
{
    MakeDisc("Demo", {75, 75, 75});
    TMainForm f;
    f.Controller().ShowNoDeviceHint = [] {};
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    // After the disc loads, the focused row is the selected one, so F2 renames it at once.
    EXPECT_EQ(f.ListView1->currentIndex().row(), 0);
    EXPECT_EQ(f.SelectedRow(), 0);
    EXPECT_TRUE(f.aEditTrackName->isEnabled());

    // Space ticks the focused row from whichever of its cells has the focus.
    const auto& tracks = f.Controller().Tracks();
    for (const int column : {int(TTrackListModel::ColTitle), int(TTrackListModel::ColNumber),
                             int(TTrackListModel::ColSize)}) {
        SCOPED_TRACE(column);
        f.ListView1->setCurrentIndex(tracks.index(2, column));
        QTest::keyClick(f.ListView1, Qt::Key_Space);
        EXPECT_FALSE(tracks.Row(2).Ticked);
        QTest::keyClick(f.ListView1, Qt::Key_Space);
        EXPECT_TRUE(tracks.Row(2).Ticked);
    }

    // Ctrl+Q quits.
    QTest::keyClick(&f, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(MainFormTest, WhatTheDesktopCannotOpenIsReportedInTheStatusBar)
{
    TMainForm f;
    f.Controller().ShowNoDeviceHint = [] {};
    f.show();
    ASSERT_TRUE(QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder));
    SetShellHookForTests(nullptr);
    const QByteArray path = qgetenv("PATH");
    const QString bin = dir.File(QStringLiteral("bin/"));
    ASSERT_TRUE(QDir().mkpath(bin));
    qputenv("PATH", bin.toLocal8Bit());
    const QString help = QString::fromLatin1(kHelpFailedText);
    const QString output = QString::fromLatin1(kOpenOutputFailedText);
    struct Case {
        int launcherExit; ///< -1: no xdg-open at all
        QAction* command;
        QString status;
    };
    const Case cases[] = {
        {-1, f.mnuHelp, help.arg(QStringLiteral("no program to open it was found"))},
        {-1, f.Openoutputdirectory1, output.arg(QStringLiteral("no program to open it was found"))},
        {3, f.mnuHelp, help.arg(QStringLiteral("xdg-open ended with code 3"))},
        {4, f.Openoutputdirectory1, output.arg(QStringLiteral("xdg-open ended with code 4"))},
        {0, f.mnuHelp, QStringLiteral("Image Demo")}, // opened: nothing to say
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        QFile::remove(bin + QStringLiteral("xdg-open"));
        if (c.launcherExit >= 0) {
            WriteWholeFile(bin + QStringLiteral("xdg-open"),
                           QStringLiteral("#!/bin/sh\nexit %1\n").arg(c.launcherExit).toUtf8());
            QFile::setPermissions(bin + QStringLiteral("xdg-open"),
                                  QFile::ExeOwner | QFile::ReadOwner);
        }
        f.Controller().SetStatusText(QStringLiteral("Image Demo"));
        c.command->trigger();
        // The launcher is watched by whoever opened it: the window or its controller.
        EXPECT_TRUE(WaitUntil([&f] {
            const QString watch = QStringLiteral("ShellLauncherWatch");
            return !f.findChild<QObject*>(watch) && !f.Controller().findChild<QObject*>(watch);
        }));
        EXPECT_EQ(Status(f), c.status);
    }
    qputenv("PATH", path);
    EXPECT_TRUE(boxes.Shown().empty());
    f.close();
}

namespace {

/// A dark palette as a desktop's dark theme gives one.
QPalette DarkPalette()
{
    const QColor window(45, 45, 48), text(230, 230, 230);
    QPalette p(text, window, window.lighter(), window.darker(), window, text, text,
               QColor(30, 30, 32), window);
    return p;
}

/// The most common colour of an area (its background) and the contrast to the pixel that
/// stands out most from it (the core of the text's strokes).
std::pair<QRgb, double> TextContrast(const QImage& image, const QRect& area)
{
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) & 0xFFFFFFu];
    const QRgb background =
        std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        })->first;
    double best = 1;
    for (const auto& [rgb, n] : counts)
        best = std::max(best, ContrastRatio(QColor(background), QColor(rgb)));
    return {background, best};
}

} // namespace

TEST_F(MainFormTest, TextReadsOnItsBackgroundUnderLightAndDarkPalettes)
{
    MakeDisc("Demo", {75, 75, 75});
    const QPalette original = QApplication::palette();
    TMainForm f;
    f.Controller().ShowNoDeviceHint = [] {};
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    struct Case {
        const char* name;
        QPalette palette;
    };
    // The desktop may change its palette while the program runs: light, dark, light again.
    for (const Case& c :
         {Case{"light", original}, Case{"dark", DarkPalette()}, Case{"light again", original}}) {
        SCOPED_TRACE(c.name);
        QApplication::setPalette(c.palette);
        const QImage shot = f.grab().toImage();
        const auto inForm = [&f](QWidget* w, QRect r) {
            return QRect(w->mapTo(&f, r.topLeft()), r.size()).adjusted(1, 1, -1, -1);
        };
        auto* status = f.findChild<QLabel*>(QStringLiteral("StatusPanel"));
        QWidget* extract = f.ToolBar1->widgetForAction(f.ActionExtract);
        QRect caption = extract->rect(); // the caption under the icon, not the icon
        caption.setTop(caption.bottom() - extract->fontMetrics().height() - 2);
        const QRect title = f.ListView1->visualRect(f.Controller().Tracks().index(1, 1));
        QLabel* source = f.DiscHeader1->lbSource;
        const std::pair<const char*, QRect> areas[] = {
            {"status bar", inForm(status, status->rect())},
            {"toolbar", inForm(extract, caption)},
            {"title", inForm(f.ListView1->viewport(), title)},
            {"disc header", inForm(source, source->rect())},
        };
        for (const auto& [what, area] : areas) {
            const auto [background, contrast] = TextContrast(shot, area);
            EXPECT_GE(contrast, 4.5) << what << " background " << std::hex << background;
        }
        // The window's own light blues where the palette is light, the palette's where not.
        const QRgb statusBackground = TextContrast(shot, areas[0].second).first;
        if (IsDarkPalette(c.palette)) {
            EXPECT_EQ(statusBackground, c.palette.color(QPalette::Window).rgb() & 0xFFFFFFu);
        } else {
            EXPECT_EQ(statusBackground, qRgb(220, 225, 255) & 0xFFFFFFu);
            EXPECT_EQ(TextContrast(shot, areas[2].second).first, qRgb(239, 239, 255) & 0xFFFFFFu);
        }
    }
    f.close();
    QApplication::setPalette(original);
}
