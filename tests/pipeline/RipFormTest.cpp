#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "pipeline/RipForm.h"
#include "platform/cdaccess/DiscFixture.h"
#include "support/TestSupport.h"

namespace {

class RipFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        QDir().mkpath(dir.File(QStringLiteral("discs")));
    }
    void TearDown() override { ResetOptionsSetting(); }
    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
};

} // namespace

TEST_F(RipFormTest, ExtractRunsTheWholeJobThroughTheWindow)
{
    MakeImage(dir.File(QStringLiteral("discs")), QStringLiteral("Disc"), {40, 40, 40});
    TMainForm main;
    main.Controller().ShowNoDeviceHint = [] {};
    main.show();
    OptionsSetting().CommonOptions.OutputFormat = ofWAV;
    // A folder of the user's choice that does not exist yet (the default one is made at start).
    OptionsSetting().CommonOptions.OutputFolder = dir.File(QStringLiteral("Rips"));
    ASSERT_EQ(main.Controller().Tracks().Count(), 3);
    main.Controller().Tracks().SetTicked(1, false);
    main.Controller().RenameRow(2, QStringLiteral("Last one"));

    // The output folder does not exist yet: the question comes first and Yes creates it.
    boxes.PlanAnswer(MbAnswer::Yes);
    QStringList seen;
    // Watch the modal window while it runs: its caption, group box and Stop button.
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (auto* form = qobject_cast<TRipForm*>(QApplication::activeModalWidget())) {
            if (seen.isEmpty() || seen.last() != form->windowTitle())
                seen << form->windowTitle();
            EXPECT_EQ(form->btStop->text(), QStringLiteral("Stop"));
            EXPECT_EQ(form->GroupBox1->title(), QStringLiteral("Extracting"));
        }
    });
    probe.start(1);
    main.ActionExtract->trigger(); // returns when the window has closed itself
    probe.stop();

    const QString out = OptionsSetting().CommonOptions.OutputFolder + QStringLiteral("/");
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("Track01.wav")));
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("Track02.wav")));
    EXPECT_EQ(ReadWholeFile(out + QStringLiteral("Last one.wav")).size(), 44 + 40 * 2352);
    ASSERT_EQ(boxes.Shown().size(), 1u); // only the folder question
    for (const QString& caption : seen)
        EXPECT_TRUE(caption.startsWith(QStringLiteral("Extracting(0"))) << caption.toStdString();
    main.close();
}

TEST_F(RipFormTest, StopButtonEndsTheJobAndCentresOverTheOwner)
{
    FakeCdAccess fake;
    fake.trackSectors = {75 * 600};
    fake.onRead = [](int, AudioReadBuffer& b) {
        QThread::usleep(300);
        return FakeCdAccess::PatternRead(b);
    };
    InstallCdAccess(&fake);
    OptionsSetting().CommonOptions.OutputFolder = dir.File(QStringLiteral("Out"));
    QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    {
        TRipForm form(&owner, 1, 1, {QStringLiteral("01Long")});
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Extracting(01/01): Long"));
        EXPECT_TRUE(form.Label3->isVisibleTo(&form));
        EXPECT_FALSE(form.FlatGauge1->isTextVisible());
        const QRect o = owner.frameGeometry();
        EXPECT_EQ(form.x(), o.left() + (o.width() - form.width()) / 2);
        QTimer::singleShot(0, &form, [&] {
            ASSERT_TRUE(WaitUntil([&] { return form.FlatGauge1->value() > 0; }));
            EXPECT_TRUE(form.FlatGauge1->isTextVisible());
            EXPECT_FALSE(form.Label3->isVisibleTo(&form));
            EXPECT_FALSE(form.Label1->text().isEmpty());
            form.btStop->click();
        });
        form.exec();
        EXPECT_FALSE(form.Job().Running());
    }
    InstallCdAccess(nullptr);
    const QByteArray wav = ReadWholeFile(dir.File(QStringLiteral("Out/Long.wav")));
    EXPECT_GT(wav.size(), 44);
    EXPECT_LT(wav.size(), 44 + 75 * 600 * 2352);
}

TEST_F(RipFormTest, ATimeLabelShowsAToolsErrorLineAsText)
{
    TRipForm form(nullptr, 1, 0, {}); // no job to run
    form.show();
    const QString line =
        QStringLiteral("<h1>/tmp/&amp;.wav</h1><img src=\"file:///x.png\"> failed");
    for (QLabel* l : {form.Label1, form.Label2, form.Label3}) {
        l->setText(line);
        EXPECT_TRUE(DrawsAsPlainText(l)) << l->objectName().toStdString();
    }
}

TEST_F(RipFormTest, EachTracksResultShowsOnceItIsKnown)
{
    FakeCdAccess fake;
    fake.trackSectors = {300, 75 * 60};
    fake.onRead = [](int, AudioReadBuffer& b) {
        QThread::usleep(200);
        return FakeCdAccess::PatternRead(b);
    };
    InstallCdAccess(&fake);
    OptionsSetting().CommonOptions.OutputFolder = dir.File(QStringLiteral("Out"));
    OptionsSetting().CommonOptions.OutputFormat = ofWAV;
    OptionsSetting().AccurateRip.Enabled = false;
    QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);
    QStringList whileRunning;
    {
        TRipForm form(nullptr, 1, 1, {QStringLiteral("01First"), QStringLiteral("02Second")});
        EXPECT_TRUE(form.lvResults->isVisibleTo(&form));
        QTimer::singleShot(0, &form, [&] {
            // The first track's line is there while the second is still being read.
            ASSERT_TRUE(WaitUntil([&] { return form.lvResults->count() >= 1; }));
            whileRunning << form.lvResults->item(0)->text();
            EXPECT_EQ(form.Job().ExtractIndex(), 1);
        });
        form.exec();
        EXPECT_EQ(form.lvResults->count(), 2);
    }
    InstallCdAccess(nullptr);
    ASSERT_EQ(whileRunning.size(), 1);
    EXPECT_TRUE(whileRunning[0].startsWith(QStringLiteral("Track 01  copy CRC ")))
        << whileRunning[0].toStdString();
    EXPECT_TRUE(whileRunning[0].endsWith(QStringLiteral("  could not be verified")))
        << whileRunning[0].toStdString();
}
