// The recorder's MP3 copy through the real conversion job and the real lame.
#include <QFile>

#include <gtest/gtest.h>

#include "core/Settings.h"
#include "encoders/EncoderTestSupport.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "pipeline/RipJob.h"
#include "recorder/RecorderTestSupport.h"

TEST(RecorderMp3, SavingMakesAnMp3BesideTheRecording)
{
    RecorderRig rig;
    OptionsSetting().Mp3Options = {false, false, 128, 320, 0, 4, 1};
    OptionsSetting().CommonOptions.OutputFormat = ofWAV;
    TMp3EncodeProcess mp3;
    TWMAEncodeProcess wma;
    int jobs = 0;
    // The main window's job runner, without the window: run the job to its end.
    TRecorderHost host;
    host.CDHandle = [] { return 1; };
    host.RunJob = [&](int kind, int handle, const QStringList& list) {
        ++jobs;
        TRipJob job(kind, handle, list, {&mp3, &wma});
        bool closed = false;
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        ASSERT_TRUE(WaitUntil([&] { return closed; }, std::chrono::seconds(90)));
    };
    TRecordLogic logic(rig.device, host);
    logic.NowMs = [&] { return rig.now; };
    logic.SleepMs = [&](int64_t ms) { rig.now += ms; };
    logic.AskNewRecordFormat = [](TNewRecordChoice& c) {
        c = {QStringLiteral("44100"), false, false};
        return true;
    };
    logic.FormCreate();
    logic.SetSaveMp3(true);
    logic.New();
    logic.ClickButton(btRecord);
    rig.now += 3000;
    logic.ClickButton(btStop);

    const QString wav = rig.File(QStringLiteral("take.wav"));
    const QString mp3File = rig.File(QStringLiteral("take.mp3"));
    rig.pickers.PlanAnswer({wav});
    OptionsSetting().CommonOptions.OutputFormat = ofOGG; // the user's rips: not asked about
    logic.actSaveExecute();
    EXPECT_TRUE(rig.boxes.Shown().empty())
        << rig.boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(jobs, 1);
    EXPECT_EQ(OptionsSetting().CommonOptions.OutputFormat, ofOGG);
    ASSERT_TRUE(QFile::exists(mp3File));

    // lame reads it back as about three seconds of sound (plus its padding).
    const QString back = rig.File(QStringLiteral("back.wav"));
    ASSERT_EQ(RunProgram(QStringLiteral("lame"),
                         {QStringLiteral("--quiet"), QStringLiteral("--decode"), mp3File, back})
                  .ExitCode,
              0);
    const qint64 decoded = QFile(back).size() - 44;
    EXPECT_GE(decoded, 3 * 176400);
    EXPECT_LT(decoded, 3 * 176400 + 176400 / 5);

    // A second more, saved again: the same MP3 is replaced without a second question.
    const qint64 first = QFile(mp3File).size();
    logic.ClickButton(btNext);
    logic.ClickButton(btRecord);
    rig.now += 1000;
    logic.ClickButton(btStop);
    logic.actSaveExecute();
    EXPECT_TRUE(rig.boxes.Shown().empty());
    EXPECT_EQ(jobs, 2);
    EXPECT_GT(QFile(mp3File).size(), first + 10000); // a second at 128 kbit/s is 16000 bytes
}
