#include <csignal>
#include <cstdio>
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include "app/SignalShutdown.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "platform/waveaudio/TestWaveAudio.h"
#include "platform/waveaudio/WaveDocument.h"
#include "recorder/MediaTransport.h"
#include "recorder/frmRecord.h"
#include "support/TestSupport.h"

TEST(SignalShutdown, AFileSizeLimitFailsTheTakesWriteInsteadOfEndingTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const ProgramDirScope dir;
    EXPECT_EXIT(
        {
            TSignalShutdown::IgnoreWriteSignals();
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 4096;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            QString error;
            auto take = TTake::Create(dir.File(QStringLiteral("MyNoName.wav")), TWaveFormat{},
                                      1 << 30, error);
            const QByteArray sound(8192, '\0');
            const bool written = take && take->Append(sound.constData(), sound.size(), error);
            std::fprintf(stderr, "%s\n", qPrintable(error));
            std::_Exit(written ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "File too large");
}

TEST(SignalShutdown, ATermMidTakeStopsItAndClosesTheWindowsAsTheirCloseDoes)
{
    const ProgramDirScope dir;
    ResetOptionsSetting();
    ScriptedMessageBoxService boxes;
    // The stand-in main window's close must not end the event loops of later tests.
    QApplication::setQuitOnLastWindowClosed(false);
    const TSignalShutdown shutdown;

    int64_t now = 100000;
    QWidget main;
    main.show();
    TfrmRecord recorder(&main, TRecorderHost{},
                        std::make_unique<TTestWaveAudio>([&] { return now; }));
    recorder.Logic().NowMs = [&] { return now; };
    recorder.Logic().SleepMs = [&](int64_t ms) { now += ms; };
    recorder.Logic().AskNewRecordFormat = [](TNewRecordChoice& c) {
        c = {QStringLiteral("11025"), false, true};
        return true;
    };
    const QString noName = dir.File(QStringLiteral("MyNoName.wav"));
    const QString question = QStringLiteral("NoName has been modified,Save it?");

    // Record 2 s, then SIGTERM: Cancel to the save question keeps the windows, the take is
    // stopped and kept all the same. A second SIGTERM, answered No, closes both windows.
    int stage = 0;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        if (stage == 0) {
            stage = 1;
            recorder.miNew->trigger();
            recorder.MediaPlayer1->Button(btRecord)->click();
            now += 2000;
            boxes.PlanAnswer(MbAnswer::Cancel);
            ::raise(SIGTERM);
        } else if (stage == 1 && boxes.Shown().size() == 1) {
            stage = 2;
            EXPECT_TRUE(recorder.isVisible());
            EXPECT_TRUE(main.isVisible());
            EXPECT_FALSE(recorder.Logic().RecordTimerOn());
            EXPECT_EQ(ReadWholeFile(noName).size(), 44 + 2 * 11025 * 2);
            boxes.PlanAnswer(MbAnswer::No);
            ::raise(SIGINT);
        }
    });
    step.start(10);
    recorder.exec();
    step.stop();
    EXPECT_TRUE(WaitUntil([&] { return !main.isVisible(); }));
    QApplication::setQuitOnLastWindowClosed(true);
    EXPECT_EQ(stage, 2);
    EXPECT_EQ(boxes.Texts(), (QStringList{question, question}));
    EXPECT_EQ(ReadWholeFile(noName).size(), 44 + 2 * 11025 * 2);
    ResetOptionsSetting();
}
