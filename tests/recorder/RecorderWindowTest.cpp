#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "platform/waveaudio/TestWaveAudio.h"
#include "recorder/AfStartButton.h"
#include "recorder/MediaTransport.h"
#include "recorder/frmNewRecordFile.h"
#include "recorder/frmRecord.h"
#include "support/TestSupport.h"

namespace {

class RecorderWindow : public ::testing::Test {
protected:
    void SetUp() override { ResetOptionsSetting(); }
    void TearDown() override { ResetOptionsSetting(); }

    /// A recorder window over the test device (owned by the window), with New answered.
    std::unique_ptr<TfrmRecord> MakeForm()
    {
        auto device = std::make_unique<TTestWaveAudio>([this] { return now; });
        testDevice = device.get();
        auto f = std::make_unique<TfrmRecord>(nullptr, TRecorderHost{}, std::move(device));
        f->Logic().NowMs = [this] { return now; };
        f->Logic().SleepMs = [this](int64_t ms) { now += ms; };
        f->Logic().AskNewRecordFormat = [](TNewRecordChoice& c) {
            c = {QStringLiteral("11025"), false, true};
            return true;
        };
        return f;
    }
    static QStringList MenuTexts(QMenu* m)
    {
        QStringList texts;
        for (QAction* a : m->actions())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return texts;
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ScriptedFileDialogService pickers;
    int64_t now = 100000;
    TTestWaveAudio* testDevice = nullptr;
};

} // namespace

TEST_F(RecorderWindow, OpensWithTheDesignsControls)
{
    OptionsSetting().RecordOptions.SaveMp3 = true;
    auto f = MakeForm();
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Record"));
    EXPECT_EQ(f->lbPosition->text(), QStringLiteral("0.00Sec"));
    EXPECT_EQ(f->lbLength->text(), QStringLiteral("0.00Sec"));
    EXPECT_EQ(f->lbState->text(), QStringLiteral("-----------"));
    EXPECT_EQ(f->panRecordTime->text(), QStringLiteral("00:00:00.0"));
    EXPECT_EQ(f->TrackBar1->minimum(), 0);
    EXPECT_EQ(f->TrackBar1->maximum(), 400);
    EXPECT_EQ(f->TrackBar1->tickInterval(), 40);
    EXPECT_EQ(f->Timer1->interval(), 500);
    EXPECT_EQ(f->TimerRecord->interval(), 100);
    EXPECT_FALSE(f->Timer1->isActive());
    EXPECT_FALSE(f->TimerRecord->isActive());
    for (TMPBtnType b :
         {btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject}) {
        EXPECT_FALSE(f->MediaPlayer1->Button(b)->isEnabled()) << b;
        EXPECT_EQ(f->MediaPlayer1->Button(b)->isVisibleTo(f.get()), b != btPause && b != btEject)
            << b;
    }
    EXPECT_EQ(
        MenuTexts(f->PopupMenu1),
        (QStringList{QStringLiteral("&New..."), QStringLiteral("&Open..."), QStringLiteral("&Save"),
                     QStringLiteral("Save &As..."), QStringLiteral("&Undo"), QStringLiteral("-"),
                     QStringLiteral("&Recording Control..."), QStringLiteral("-"),
                     QStringLiteral("&MP3 format"), QStringLiteral("-"), QStringLiteral("&Exit")}));
    EXPECT_TRUE(f->miSaveMp3->isCheckable());
    EXPECT_TRUE(f->miSaveMp3->isChecked());
    EXPECT_FALSE(f->actSave->isEnabled());
    EXPECT_FALSE(f->actUndo->isEnabled());
    EXPECT_EQ(f->AfStartButton1->Caption(), QStringLiteral("Start"));
    EXPECT_EQ(f->AfStartButton1->m_PopupMenu(), f->PopupMenu1);
    ASSERT_NE(f->AfStartButton1->m_Image(), nullptr);

    // The check of the MP3 item reaches the settings when the window closes.
    f->miSaveMp3->setChecked(false);
    f->show();
    f->reject();
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(OptionsSetting().RecordOptions.SaveMp3);
}

TEST_F(RecorderWindow, ControlsFollowTheRecorder)
{
    auto f = MakeForm();
    f->show();
    f->miNew->trigger();
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Record(NoName)"));
    EXPECT_TRUE(f->MediaPlayer1->Button(btRecord)->isEnabled());
    EXPECT_FALSE(f->MediaPlayer1->Button(btPlay)->isEnabled());
    EXPECT_TRUE(f->actSave->isEnabled());

    f->MediaPlayer1->Button(btRecord)->click();
    EXPECT_TRUE(f->TimerRecord->isActive());
    EXPECT_EQ(f->lbState->text(), QStringLiteral("Recording..."));
    EXPECT_TRUE(f->MediaPlayer1->Button(btStop)->isEnabled());
    EXPECT_FALSE(f->MediaPlayer1->Button(btRecord)->isEnabled());
    EXPECT_FALSE(f->actSave->isEnabled());
    now += 4000;
    f->MediaPlayer1->Button(btStop)->click();
    EXPECT_FALSE(f->TimerRecord->isActive());
    EXPECT_EQ(f->lbState->text(), QStringLiteral("Record over!"));
    EXPECT_EQ(f->lbLength->text(), QStringLiteral("4 Sec"));
    EXPECT_EQ(f->TrackBar1->value(), 400);
    EXPECT_EQ(f->panRecordTime->text(), QStringLiteral("00:00:04.0"));

    // The user drags the bar: the position text follows.
    f->TrackBar1->setValue(100);
    EXPECT_EQ(f->lbPosition->text(), QStringLiteral("1 Sec"));
    f->MediaPlayer1->Button(btPlay)->click();
    EXPECT_TRUE(f->Timer1->isActive());
    EXPECT_EQ(testDevice->Actions().last(), QStringLiteral("play from 1000"));

    // Closing asks about the new recording; Cancel keeps the window.
    boxes.PlanAnswer(MbAnswer::Cancel);
    f->reject();
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("NoName has been modified,Save it?")});
    boxes.PlanAnswer(MbAnswer::No);
    f->miExit->trigger();
    EXPECT_TRUE(WaitUntil([&] { return !f->isVisible(); }));
    EXPECT_TRUE(QFile::exists(dir.File(QStringLiteral("MyNoName.wav"))));
}

TEST_F(RecorderWindow, NewRecordFileDialogDefaultsAndChoice)
{
    TfrmNewRecordFile d;
    EXPECT_EQ(d.windowTitle(), QStringLiteral("New sound file"));
    QStringList rates;
    for (int i = 0; i < d.cbBitSamples->count(); ++i)
        rates << d.cbBitSamples->itemText(i);
    EXPECT_EQ(
        rates,
        (QStringList{QStringLiteral("  8000"), QStringLiteral("11025"), QStringLiteral("12000"),
                     QStringLiteral("16000"), QStringLiteral("22050"), QStringLiteral("24000"),
                     QStringLiteral("32000"), QStringLiteral("44100"), QStringLiteral("48000")}));
    EXPECT_EQ(d.cbBitSamples->currentIndex(), 7);
    EXPECT_TRUE(d.RadioButton2->isChecked());
    EXPECT_TRUE(d.RadioButton4->isChecked());
    TNewRecordChoice c = d.Choice();
    EXPECT_EQ(c.RateText, QStringLiteral("44100"));
    EXPECT_FALSE(c.EightBit);
    EXPECT_FALSE(c.Mono);

    // Pick-only: keys choose an entry at most, so the rate shown is the rate recorded.
    d.show();
    d.cbBitSamples->setFocus();
    QTest::keyClicks(d.cbBitSamples, QStringLiteral("96000"));
    EXPECT_EQ(d.Choice().RateText, d.cbBitSamples->currentText());
    // The radio buttons are two separate groups.
    d.cbBitSamples->setCurrentIndex(0);
    d.rbBitNumber->click();
    d.rbChannelNumber->click();
    c = d.Choice();
    EXPECT_EQ(c.RateText, QStringLiteral("  8000"));
    EXPECT_TRUE(c.EightBit);
    EXPECT_TRUE(c.Mono);
    EXPECT_FALSE(d.RadioButton2->isChecked());
    d.cbBitSamples->setCurrentIndex(-1);
    EXPECT_TRUE(d.Choice().RateText.isEmpty());
}

TEST_F(RecorderWindow, StartButtonPressesAndPlacesItsMenu)
{
    EXPECT_EQ(TAfStartButton::EstimateMenuHeight(11, 3, 17, 9), 8 * 17 + 3 * 9 + 6);
    // Room above the button: the menu sits on top of it; none: right below it.
    EXPECT_EQ(TAfStartButton::PopupPoint({50, 400}, 30, 169), QPoint(50, 231));
    EXPECT_EQ(TAfStartButton::PopupPoint({50, 169}, 30, 169), QPoint(50, 199));

    QWidget host;
    host.resize(300, 200);
    auto* b = new TAfStartButton(&host);
    b->SetCaption(QStringLiteral("Start"));
    QPixmap pm(16, 16);
    pm.fill(Qt::red);
    b->Setm_Image(pm);
    b->setGeometry(10, 150, 90, 30);
    QMenu menu;
    menu.addAction(QStringLiteral("One"));
    menu.addSeparator();
    menu.addAction(QStringLiteral("Two"));
    b->Setm_PopupMenu(&menu);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

    const QPoint rest = b->m_Image()->pos();
    EXPECT_EQ(rest.y(), (30 - 16) / 2);
    int clicks = 0;
    QObject::connect(b, &TAfStartButton::clicked, [&] { ++clicks; });
    // A press on the image is a press on the button.
    QTest::mousePress(b, Qt::LeftButton, {}, b->m_Image()->geometry().center());
    EXPECT_TRUE(b->Pressed());
    EXPECT_EQ(b->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(b->m_Image()->pos(), rest + QPoint(1, 1));
    QTest::mouseRelease(b, Qt::LeftButton, {}, b->m_Image()->geometry().center());
    EXPECT_FALSE(b->Pressed());
    EXPECT_EQ(b->frameShadow(), QFrame::Raised);
    EXPECT_EQ(b->m_Image()->pos(), rest);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(WaitUntil([&] { return menu.isVisible(); }));
    const int h = b->MenuHeight();
    EXPECT_GT(h, 6);
    EXPECT_EQ(menu.pos().x(), b->mapToGlobal(QPoint(0, 0)).x());
    menu.hide();
}

TEST_F(RecorderWindow, AScreenReaderPressesStartAndFindsItsMenuItems)
{
    auto f = MakeForm();
    f->show();
    QAccessibleInterface* start = QAccessible::queryAccessibleInterface(f->AfStartButton1);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->role(), QAccessible::Button);
    EXPECT_EQ(start->text(QAccessible::Name), QStringLiteral("Start"));
    EXPECT_TRUE(start->state().hasPopup);
    QAccessibleActionInterface* action = start->actionInterface();
    ASSERT_NE(action, nullptr);
    ASSERT_TRUE(action->actionNames().contains(QAccessibleActionInterface::pressAction()));
    const auto menuInTree = [&]() -> QAccessibleInterface* {
        for (int i = 0; i < start->childCount(); ++i)
            if (start->child(i)->object() == f->PopupMenu1)
                return start->child(i);
        return nullptr;
    };
    EXPECT_EQ(menuInTree(), nullptr); // closed: nothing to find

    action->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(WaitUntil([&] { return f->PopupMenu1->isVisible(); }));
    QAccessibleInterface* menu = menuInTree();
    ASSERT_NE(menu, nullptr);
    QStringList items;
    for (int i = 0; i < menu->childCount(); ++i)
        items << menu->child(i)->text(QAccessible::Name);
    items.removeAll(QString()); // the separators
    EXPECT_EQ(items, (QStringList{QStringLiteral("New..."), QStringLiteral("Open..."),
                                  QStringLiteral("Save"), QStringLiteral("Save As..."),
                                  QStringLiteral("Undo"), QStringLiteral("Recording Control..."),
                                  QStringLiteral("MP3 format"), QStringLiteral("Exit")}));
    menu->child(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction()); // New
    EXPECT_TRUE(WaitUntil([&] { return f->windowTitle() == QStringLiteral("Record(NoName)"); }));
    f->PopupMenu1->hide();
}

TEST_F(RecorderWindow, MainWindowRecordOpensTheRecorder)
{
    TMainForm main;
    main.MakeWaveAudio = [this] {
        return std::make_unique<TTestWaveAudio>([this] { return now; });
    };
    QString seen;
    QTimer::singleShot(0, [&] {
        if (auto* r = qobject_cast<TfrmRecord*>(QApplication::activeModalWidget())) {
            seen = r->windowTitle();
            r->reject();
        }
    });
    EXPECT_EQ(main.ActionRecord->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
    main.ActionRecord->trigger();
    EXPECT_EQ(seen, QStringLiteral("Record"));
}
