#include <functional>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "makedisc/DiscImageWriter.h"
#include "metadata/dialogs/frmEditTrackName.h"
#include "metadata/dialogs/frmID3Edit.h"
#include "options/OptionSetForm.h"
#include "platform/cdaccess/CdAccess.h"
#include "support/TestSupport.h"

namespace {

class MainWindowWiring : public ::testing::Test {
protected:
    void SetUp() override { ResetOptionsSetting(); }
    void TearDown() override { ResetOptionsSetting(); }

    void MakeDisc(const char* name, const std::vector<int64_t>& sectors)
    {
        MakeProgramDisc(dir, name, sectors);
    }

    /// Runs act on the modal dialog of type D once it is open (from inside its event loop);
    /// closes any other modal window so a wrong one cannot hang the test.
    template <typename D> void WhenOpen(std::function<void(D*)> act)
    {
        auto* timer = new QTimer;
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, act, this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            timer->stop();
            timer->deleteLater();
            if (auto* d = qobject_cast<D*>(modal)) {
                seen = true;
                act(d);
            } else {
                modal->close();
            }
        });
        timer->start();
    }

    QString Status(TMainForm& f)
    {
        return f.findChild<QLabel*>(QStringLiteral("StatusPanel"))->text();
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ScriptedFileDialogService pickers;
    bool seen = false;
};

} // namespace

TEST_F(MainWindowWiring, OptionsOpenBesideTheWindowAndSwitchTheDrive)
{
    MakeDisc("Left", {75, 75});
    MakeDisc("Right", {75, 75, 75});
    TMainForm f;
    f.Controller().ShowNoDeviceHint = [] {};
    f.move(120, 90);
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);
    const int first = f.Controller().CDHandle();
    ASSERT_NE(first, 0);
    ASSERT_EQ(f.Controller().Tracks().Count(), 2);

    QPoint at;
    WhenOpen<TOptionSetForm>([&](TOptionSetForm* d) {
        at = d->pos();
        d->PageControl1->setCurrentIndex(tabCdRom);
        d->cbCDList->setCurrentIndex(1);
        d->btOK->click();
    });
    f.ActionOptionSet->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(at, f.pos() + QPoint(50, 50));
    const int second = f.Controller().CDHandle();
    EXPECT_NE(second, 0);
    EXPECT_NE(second, first);
    EXPECT_EQ(Status(f), QStringLiteral("Image Right"));
    EXPECT_EQ(f.Controller().Tracks().Count(), 3);
    EXPECT_EQ(CloseCDHandle(first), 0) << "the replaced drive's handle is closed";
    EXPECT_EQ(OptionsSetting().CDOptions.Index, 1);

    // Reopening with the same drive keeps the handle.
    seen = false;
    WhenOpen<TOptionSetForm>([](TOptionSetForm* d) {
        d->PageControl1->setCurrentIndex(tabCdRom);
        d->btOK->click();
    });
    f.ActionOptionSet->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(f.Controller().CDHandle(), second);
    EXPECT_TRUE(boxes.Shown().empty());
    f.close();
}

TEST_F(MainWindowWiring, RenameAndTagEditorOpenFromTheirCommands)
{
    MakeDisc("Demo", {75, 75, 75});
    TMainForm f;
    f.Controller().ShowNoDeviceHint = [] {};
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    ASSERT_EQ(f.Controller().Tracks().Count(), 3);
    f.ListView1->setCurrentIndex(f.ListView1->model()->index(1, 1));
    ASSERT_TRUE(f.aEditTrackName->isEnabled());

    // F2: the dialog starts with the row's title, all of it selected.
    QString shown;
    QString selected;
    WhenOpen<TfrmEditTrackName>([&](TfrmEditTrackName* d) {
        shown = d->eName->text();
        selected = d->eName->selectedText();
        d->eName->setText(QStringLiteral("Interlude"));
        d->btOK->click();
    });
    QTest::keyClick(&f, Qt::Key_F2);
    ASSERT_TRUE(seen);
    EXPECT_EQ(shown, QStringLiteral("Track02"));
    EXPECT_EQ(selected, QStringLiteral("Track02"));
    EXPECT_EQ(f.Controller().Tracks().Row(1).Title, QStringLiteral("Interlude"));

    // Double-click; an emptied title cannot be accepted, and Cancel changes nothing.
    seen = false;
    bool okEnabled = true;
    WhenOpen<TfrmEditTrackName>([&](TfrmEditTrackName* d) {
        d->eName->clear();
        okEnabled = d->btOK->isEnabled();
        d->btCancel->click();
    });
    f.ListDoubleClicked();
    ASSERT_TRUE(seen);
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(f.Controller().Tracks().Row(1).Title, QStringLiteral("Interlude"));

    seen = false;
    QString caption;
    WhenOpen<TfrmID3Edit>([&](TfrmID3Edit* d) {
        caption = d->windowTitle();
        d->btClose->click();
    });
    f.aID3Edit->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(caption, QStringLiteral("ID3 Tag Edit"));
    f.close();
}
