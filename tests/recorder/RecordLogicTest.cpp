#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QtEndian>

#include <gtest/gtest.h>

#include "core/AppException.h"
#include "core/Settings.h"
#include "platform/shell/Shell.h"
#include "platform/waveaudio/WaveFormat.h"
#include "recorder/RecorderTestSupport.h"

namespace {

QByteArray Header(uint32_t rate, uint16_t bits, uint16_t channels, uint32_t size)
{
    return BuildWaveHeader(TWaveFormat{rate, bits, channels}, size);
}

/// The sound bytes of a WAV file the device wrote (after its 44-byte header).
QByteArray Sound(const QString& path)
{
    return ReadWholeFile(path).mid(kWaveHeaderSize);
}

class RecordLogic : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    TRecordLogic& L() { return *rig.logic; }
    QString NoName() const { return rig.File(QStringLiteral("MyNoName.wav")); }
    QString Work() const { return rig.File(QStringLiteral("MyTemp.wav")); }
    /// A new 16-bit stereo recording of ms, saved as name.
    QString SavedRecording(const QString& name, int64_t ms)
    {
        rig.NewRecording();
        rig.RecordFor(ms);
        rig.SaveAs(name);
        return rig.File(name);
    }

    RecorderRig rig;
};

/// While it lives, files may grow to at most bytes, as on a disk that is full.
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk() { ::setrlimit(RLIMIT_FSIZE, &old_); }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit old_{};
};

const TButtonSet kStopped{btPlay, btNext, btPrev, btRecord};
const TButtonSet kLoaded{btPlay, btNext, btRecord};

/// What can be planted at a name the recorder writes.
enum class Planted { LinkToFile, DanglingLink, LinkToDevice, LinkToFolder, Fifo };
const Planted kPlanted[] = {Planted::LinkToFile, Planted::DanglingLink, Planted::LinkToDevice,
                            Planted::LinkToFolder, Planted::Fifo};

/// Plants kind at path, links leading into outside; Untouched: all is still as planted.
struct Plant {
    Plant(Planted kind, const QString& at, const QString& outside)
        : fifo(kind == Planted::Fifo), victimKept(kind == Planted::LinkToFile),
          path(QFile::encodeName(at)), victim(outside + QStringLiteral("/victim"))
    {
        if (victimKept)
            WriteWholeFile(victim, "precious");
        const QByteArray target = kind == Planted::LinkToDevice   ? QByteArray("/dev/zero")
                                  : kind == Planted::LinkToFolder ? QFile::encodeName(outside)
                                                                  : QFile::encodeName(victim);
        EXPECT_EQ(fifo ? ::mkfifo(path.constData(), 0644)
                       : ::symlink(target.constData(), path.constData()),
                  0);
    }
    bool Untouched() const
    {
        struct stat st {};
        return ::lstat(path.constData(), &st) == 0 &&
               (fifo ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode)) &&
               (victimKept ? ReadWholeFile(victim) == "precious" : !QFile::exists(victim));
    }

    bool fifo;
    bool victimKept;
    QByteArray path;
    QString victim;
};

} // namespace

TEST(RecordFormat, FormatDurationFollowsTheDesignsUnits)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(TRecordLogic::FormatDuration(0), QStringLiteral("0 Sec"));
    EXPECT_EQ(TRecordLogic::FormatDuration(1500), QStringLiteral("1.5 Sec"));
    EXPECT_EQ(TRecordLogic::FormatDuration(12345), QStringLiteral("12.3 Sec"));
    EXPECT_EQ(TRecordLogic::FormatDuration(59999), QStringLiteral("60 Sec"));
    EXPECT_EQ(TRecordLogic::FormatDuration(60000), QStringLiteral("1 Min"));
    EXPECT_EQ(TRecordLogic::FormatDuration(61000), QStringLiteral("1 Min1 Sec"));
    EXPECT_EQ(TRecordLogic::FormatDuration(120000), QStringLiteral("2 Min"));
    EXPECT_EQ(TRecordLogic::FormatDuration(3600000), QStringLiteral("1Hour"));
    EXPECT_EQ(TRecordLogic::FormatDuration(3723000), QStringLiteral("1Hour2 Min3 Sec"));
    // The locale's decimal separator.
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(TRecordLogic::FormatDuration(1500), QStringLiteral("1,5 Sec"));
    QLocale::setDefault(QLocale::c());
}

TEST_F(RecordLogic, OpensEmptyAndNewWritesTheChosenHeader)
{
    EXPECT_EQ(L().Caption(), QStringLiteral("Record"));
    EXPECT_EQ(L().StateText(), QStringLiteral("-----------"));
    EXPECT_EQ(L().PositionText(), QStringLiteral("0.00Sec"));
    EXPECT_EQ(L().RecordTimeText(), QStringLiteral("00:00:00.0"));
    EXPECT_EQ(L().EnabledButtons(), TButtonSet{});
    EXPECT_EQ(L().WorkFile(), Work());

    rig.NewRecording(QStringLiteral("  8000"), true, true);
    EXPECT_EQ(ReadWholeFile(NoName()), Header(8000, 8, 1, 0));
    const QByteArray h = ReadWholeFile(NoName());
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h.constData() + 28), 8000u); // bytes per second
    EXPECT_EQ(qFromLittleEndian<uint16_t>(h.constData() + 32), 1);     // block alignment
    EXPECT_EQ(L().CurrentFile(), NoName());
    EXPECT_EQ(L().Caption(), QStringLiteral("Record(NoName)"));
    EXPECT_EQ(L().LengthText(), QStringLiteral("0.00 Sec"));
    EXPECT_EQ(L().EnabledButtons(), TButtonSet{btRecord});
    EXPECT_TRUE(L().SaveEnabled());
    EXPECT_FALSE(L().UndoEnabled());
    EXPECT_EQ(rig.device.Actions(), (QStringList{QStringLiteral("set time format milliseconds"),
                                                 QStringLiteral("open ") + NoName()}));

    rig.NewRecording(QStringLiteral("44100"), false, false);
    const QByteArray h2 = ReadWholeFile(NoName());
    EXPECT_EQ(h2, Header(44100, 16, 2, 0));
    EXPECT_EQ(qFromLittleEndian<uint32_t>(h2.constData() + 28), 176400u);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(h2.constData() + 32), 4);
    EXPECT_TRUE(rig.boxes.Shown().empty());
}

TEST_F(RecordLogic, NewThatCannotStartSaysSoAndLeavesNothingToPress)
{
    rig.choiceOk = false;
    L().New();
    EXPECT_EQ(L().Caption(), QStringLiteral("Record")); // cancelled: nothing changed
    EXPECT_EQ(rig.newDialogs, 1);

    for (int attempt = 0; attempt < 2; ++attempt) {
        rig.boxes.Clear();
        if (attempt == 0)
            rig.NewRecording(QString()); // no rate selected
        else {
            rig.device.FailNextOpen(QStringLiteral("busy"));
            rig.NewRecording();
        }
        ASSERT_EQ(rig.boxes.Texts(),
                  QStringList{QStringLiteral("Error while initializing MCI device!")});
        EXPECT_EQ(rig.boxes.Shown()[0].Icon, MbIcon::Error);
        EXPECT_EQ(L().Caption(), QStringLiteral("Record(NoName)"));
        EXPECT_EQ(L().LengthText(), QStringLiteral("0.00 Sec"));
        EXPECT_EQ(L().EnabledButtons(), TButtonSet{});
    }
}

TEST_F(RecordLogic, TransportFollowsTheEnablingTable)
{
    rig.NewRecording();
    rig.device.ClearRequests();
    L().ClickButton(btRecord);
    EXPECT_EQ(L().EnabledButtons(), TButtonSet{btStop});
    EXPECT_EQ(L().StateText(), QStringLiteral("Recording..."));
    EXPECT_TRUE(L().Modified());
    EXPECT_TRUE(L().RecordTimerOn());
    EXPECT_FALSE(L().SaveEnabled());
    rig.Advance(2000);
    L().TimerRecordTimer();
    EXPECT_EQ(L().RecordTimeText(), QStringLiteral("00:00:02.0"));
    L().ClickButton(btStop);
    EXPECT_EQ(L().EnabledButtons(), kStopped);
    EXPECT_EQ(L().StateText(), QStringLiteral("Record over!"));
    EXPECT_EQ(L().Bar(), 400);
    EXPECT_EQ(L().LengthText(), QStringLiteral("2 Sec"));
    EXPECT_FALSE(L().RecordTimerOn());
    // No working copy yet: the device records from where it stands; the take is saved into
    // the no-name file at once.
    EXPECT_EQ(rig.device.Actions(), (QStringList{QStringLiteral("record"), QStringLiteral("save"),
                                                 QStringLiteral("stop")}));
    EXPECT_EQ(Sound(NoName()), TTestWaveAudio::Signal({44100, 16, 2}, 0, 88200));

    rig.device.ClearRequests();
    L().ClickButton(btPlay); // the bar stood at 400: play from the start
    EXPECT_EQ(L().Bar(), 0);
    EXPECT_EQ(L().EnabledButtons(), (TButtonSet{btPause, btStop, btNext, btPrev}));
    EXPECT_EQ(L().StateText(), QStringLiteral("Playing..."));
    EXPECT_TRUE(L().PlayTimerOn());
    L().Timer1Timer();
    EXPECT_EQ(L().PlayPosition(), 500);
    EXPECT_EQ(L().Bar(), 100); // 500 x 400 / 2000
    EXPECT_EQ(L().PositionText(), QStringLiteral("0.5 Sec"));
    L().Timer1Timer();
    L().Timer1Timer();
    L().Timer1Timer(); // the clock reaches the length: at the end, whatever the device does
    EXPECT_EQ(L().Bar(), 400);
    EXPECT_FALSE(L().PlayTimerOn());
    EXPECT_EQ(L().EnabledButtons(), (TButtonSet{btPlay, btPrev, btRecord}));
    EXPECT_EQ(L().StateText(), QStringLiteral("-----------"));

    L().ClickButton(btPrev);
    EXPECT_EQ(L().Bar(), 0);
    EXPECT_EQ(L().EnabledButtons(), kLoaded);
    L().ClickButton(btNext);
    EXPECT_EQ(L().Bar(), 400);
    EXPECT_EQ(L().EnabledButtons(), (TButtonSet{btPlay, btPrev, btRecord}));
    L().ClickButton(btNext); // not enabled: nothing happens
    EXPECT_EQ(rig.device.Actions(),
              (QStringList{QStringLiteral("play from 0"), QStringLiteral("seek to start"),
                           QStringLiteral("seek to end")}));

    // Stop during playback: bar to 0, stopped state, device stopped.
    L().ClickButton(btPlay);
    L().ClickButton(btStop);
    EXPECT_EQ(L().Bar(), 0);
    EXPECT_EQ(L().EnabledButtons(), kStopped);
    EXPECT_EQ(rig.device.Mode(), TWaveMode::Stopped);
}

TEST_F(RecordLogic, StoppingWaitsForTheNextWholeSecond)
{
    rig.NewRecording();
    L().ClickButton(btRecord);
    rig.Advance(3250);
    L().TimerRecordTimer();
    EXPECT_EQ(L().LastMilliseconds(), 250);
    L().ClickButton(btStop);
    EXPECT_EQ(rig.sleeps, std::vector<int64_t>{750});
    EXPECT_EQ(L().RecordTimeText(), QStringLiteral("00:00:04.0"));
    EXPECT_EQ(rig.device.Length(), 4000);

    L().ClickButton(btRecord); // records on from the end
    rig.Advance(3050);
    L().TimerRecordTimer();
    L().ClickButton(btStop);
    EXPECT_EQ(rig.sleeps.size(), 1u); // 50 ms past the second: no wait
    EXPECT_EQ(rig.device.Length(), 7050);
}

TEST_F(RecordLogic, NewRecordingSavesUnderAName)
{
    rig.NewRecording();
    // Unmodified: closing asks nothing, Save still offers the dialog.
    rig.pickers.PlanAnswer({});
    L().actSaveExecute();
    EXPECT_EQ(rig.pickers.Requests().size(), 1u);
    EXPECT_EQ(rig.pickers.Requests()[0].Kind, FileDialogKind::SaveFile);
    EXPECT_EQ(rig.pickers.Requests()[0].Directory, rig.dir.Path());
    EXPECT_EQ(rig.pickers.Requests()[0].Filter,
              QStringLiteral("Sound file(*.wav)|*.wav|All files(*.*)|*.*"));

    rig.RecordFor(2000);
    const QByteArray take = Sound(NoName());
    ASSERT_EQ(take.size(), 2 * 176400);
    // Not a WAV name: refused, nothing moves.
    rig.pickers.PlanAnswer({rig.File(QStringLiteral("take.mp3"))});
    L().actSaveExecute();
    EXPECT_EQ(rig.boxes.Texts(), QStringList{QStringLiteral("The save file should be WAV!")});
    EXPECT_TRUE(QFile::exists(NoName()));

    const QString target = rig.File(QStringLiteral("Take One.wav"));
    rig.SaveAs(QStringLiteral("Take One.wav"));
    EXPECT_FALSE(QFile::exists(NoName()));
    EXPECT_EQ(ReadWholeFile(target), Header(44100, 16, 2, 2 * 176400) + take);
    EXPECT_EQ(ReadWholeFile(Work()), ReadWholeFile(target));
    EXPECT_EQ(L().CurrentFile(), target);
    EXPECT_EQ(L().Caption(), QStringLiteral("Record(") + target + QLatin1Char(')'));
    EXPECT_EQ(L().EnabledButtons(), kLoaded);
    EXPECT_FALSE(L().Modified());
    EXPECT_EQ(rig.device.Actions().last(), QStringLiteral("open ") + Work());
    EXPECT_TRUE(rig.jobs.empty()); // MP3 copies are off
}

TEST_F(RecordLogic, SavingOntoExistingFilesAsksAndNeverLosesEither)
{
    rig.NewRecording();
    rig.RecordFor(1000);
    const QByteArray noNameBefore = ReadWholeFile(NoName());
    const QString existing = rig.File(QStringLiteral("old.wav"));
    WriteWholeFile(existing, "keep me");

    rig.boxes.PlanAnswer(MbAnswer::No);
    rig.SaveAs(QStringLiteral("old.wav"));
    EXPECT_EQ(rig.boxes.Texts().last(), existing + QStringLiteral(" has existed,overite it?"));
    EXPECT_EQ(ReadWholeFile(existing), QByteArray("keep me"));

    // Read-only, a folder: cannot be replaced.
    ::chmod(QFile::encodeName(existing).constData(), 0444);
    const QString folder = rig.File(QStringLiteral("dir.wav"));
    QDir().mkdir(folder);
    for (const QString& t : {existing, folder}) {
        rig.boxes.Clear();
        rig.boxes.PlanAnswer(MbAnswer::Yes);
        rig.pickers.PlanAnswer({t});
        L().actSaveExecute();
        ASSERT_EQ(rig.boxes.Texts().size(), 2);
        EXPECT_EQ(
            rig.boxes.Texts()[1],
            QStringLiteral("Error when deleting file, please check if the file is being uesd."));
        EXPECT_EQ(ReadWholeFile(NoName()), noNameBefore);
    }
    EXPECT_EQ(ReadWholeFile(existing), QByteArray("keep me"));

    // The rename itself fails (no such folder): both files stay, the recording goes on.
    rig.boxes.Clear();
    rig.pickers.PlanAnswer({rig.File(QStringLiteral("missing/take.wav"))});
    L().actSaveExecute();
    EXPECT_EQ(rig.boxes.Texts(),
              QStringList{QStringLiteral(
                  "Error when saving WAV file,please check if the file is being uesd.")});
    EXPECT_EQ(ReadWholeFile(NoName()), noNameBefore);
    EXPECT_EQ(rig.device.Mode(), TWaveMode::Stopped); // open again on the no-name file
    EXPECT_TRUE(L().Modified());

    // The no-name file itself is no target.
    rig.boxes.Clear();
    rig.pickers.PlanAnswer({NoName()});
    L().actSaveExecute();
    ASSERT_EQ(rig.boxes.Texts().size(), 1);
    EXPECT_TRUE(rig.boxes.Texts()[0].endsWith(QStringLiteral("Please choose another name.")));

    // Yes onto a writable file: replaced by the recording.
    ::chmod(QFile::encodeName(existing).constData(), 0644);
    rig.boxes.Clear();
    rig.boxes.PlanAnswer(MbAnswer::Yes);
    rig.SaveAs(QStringLiteral("old.wav"));
    EXPECT_EQ(ReadWholeFile(existing), noNameBefore);
    EXPECT_FALSE(QFile::exists(NoName()));
}

TEST_F(RecordLogic, NamedFileKeepsItsLastSavedStateUntilSave)
{
    const QString a = SavedRecording(QStringLiteral("a.wav"), 2000);
    const QByteArray saved = ReadWholeFile(a);

    // Record one more second from the middle: overwrites there, on the working copy only.
    L().SetBar(200);
    EXPECT_EQ(L().PositionText(), QStringLiteral("1 Sec"));
    rig.RecordFor(1000);
    EXPECT_EQ(rig.device.Actions().filter(QStringLiteral("record")).last(),
              QStringLiteral("record from 1000"));
    EXPECT_EQ(ReadWholeFile(a), saved);
    const QByteArray work = ReadWholeFile(Work());
    EXPECT_EQ(work.size(), saved.size()); // same length: the second half was overwritten
    EXPECT_EQ(work.left(44 + 176400), saved.left(44 + 176400));
    EXPECT_EQ(work.mid(44 + 176400), TTestWaveAudio::Signal({44100, 16, 2}, 0, 44100));
    EXPECT_TRUE(L().UndoEnabled());

    // Undo: back to the saved state; both texts show the length; Undo stays on.
    rig.boxes.PlanAnswer(MbAnswer::Yes);
    L().actUndoExecute();
    EXPECT_EQ(rig.boxes.Texts().last(),
              QStringLiteral("Discard the modification since last save file."));
    EXPECT_EQ(ReadWholeFile(Work()), saved);
    EXPECT_EQ(L().LengthText(), QStringLiteral("2 Sec"));
    EXPECT_EQ(L().PositionText(), QStringLiteral("2 Sec"));
    EXPECT_EQ(L().EnabledButtons(), kLoaded);
    EXPECT_TRUE(L().UndoEnabled());

    // Record again and Save: the named file takes the working copy.
    L().SetBar(0);
    rig.RecordFor(3000);
    L().actSaveExecute();
    EXPECT_EQ(ReadWholeFile(a), ReadWholeFile(Work()));
    EXPECT_EQ(Sound(a), TTestWaveAudio::Signal({44100, 16, 2}, 0, 3 * 44100));
    EXPECT_FALSE(L().Modified());
    EXPECT_FALSE(L().UndoEnabled());
}

TEST_F(RecordLogic, SaveAsOfANamedFileAsksAboutUnsavedSoundFirst)
{
    const QString a = SavedRecording(QStringLiteral("a.wav"), 1000);
    const QByteArray saved = ReadWholeFile(a);
    const QString b = rig.File(QStringLiteral("b.wav"));
    L().SetBar(0);
    rig.RecordFor(2000);

    // Cancel: nothing happens.
    rig.boxes.PlanAnswer(MbAnswer::Cancel);
    rig.pickers.PlanAnswer({b});
    L().actSaveAsExecute();
    EXPECT_EQ(rig.boxes.Texts().last(), a + QStringLiteral(" has been modified,Save it?"));
    EXPECT_FALSE(QFile::exists(b));
    EXPECT_TRUE(L().Modified());

    // No: the new file receives the last saved state, and so does the working copy.
    rig.boxes.PlanAnswer(MbAnswer::No);
    rig.pickers.PlanAnswer({b});
    L().actSaveAsExecute();
    EXPECT_EQ(ReadWholeFile(b), saved);
    EXPECT_EQ(ReadWholeFile(Work()), saved);
    EXPECT_EQ(L().CurrentFile(), b);

    // Yes: the recording is saved first, then copied.
    L().SetBar(0);
    rig.RecordFor(2000);
    const QByteArray recorded = ReadWholeFile(Work());
    const QString c = rig.File(QStringLiteral("c.wav"));
    rig.boxes.PlanAnswer(MbAnswer::Yes);
    rig.pickers.PlanAnswer({c});
    L().actSaveAsExecute();
    EXPECT_EQ(ReadWholeFile(b), recorded);
    EXPECT_EQ(ReadWholeFile(c), recorded);

    // Onto the open file itself: it stays whole.
    rig.boxes.PlanAnswer(MbAnswer::Yes);
    rig.pickers.PlanAnswer({c});
    L().actSaveAsExecute();
    EXPECT_EQ(ReadWholeFile(c), recorded);
    EXPECT_EQ(L().EnabledButtons(), kLoaded);
}

TEST_F(RecordLogic, ClosingNeverDropsARecordingWithoutAnAnswer)
{
    // An unmodified new recording closes without a question; the no-name file stays.
    rig.NewRecording();
    EXPECT_TRUE(L().FormClose());
    EXPECT_TRUE(rig.boxes.Shown().empty());
    EXPECT_TRUE(QFile::exists(NoName()));
    EXPECT_EQ(rig.device.Mode(), TWaveMode::NotOpen);

    RecorderRig other; // a fresh window
    other.NewRecording();
    other.RecordFor(1000);
    other.boxes.PlanAnswer(MbAnswer::No);
    EXPECT_TRUE(other.logic->FormClose());
    EXPECT_EQ(other.boxes.Texts(),
              QStringList{QStringLiteral("NoName has been modified,Save it?")});
    EXPECT_EQ(Sound(other.File(QStringLiteral("MyNoName.wav"))).size(), 176400); // kept on disk
}

TEST_F(RecordLogic, ClosingANamedFileWithCancelKeepsTheWindowAndTheChanges)
{
    const QString a = SavedRecording(QStringLiteral("a.wav"), 1000);
    const QByteArray saved = ReadWholeFile(a);
    L().SetBar(0);
    rig.RecordFor(2000);
    rig.boxes.PlanAnswer(MbAnswer::Cancel);
    EXPECT_FALSE(L().FormClose());
    EXPECT_TRUE(QFile::exists(Work()));
    EXPECT_EQ(ReadWholeFile(a), saved);
    EXPECT_TRUE(L().Modified());

    rig.boxes.PlanAnswer(MbAnswer::No);
    EXPECT_TRUE(L().FormClose());
    EXPECT_FALSE(QFile::exists(Work()));
    EXPECT_EQ(ReadWholeFile(a), saved);
}

TEST_F(RecordLogic, OpenLooksForTheFileAgainUntilFoundOrCancelled)
{
    const QString missing = rig.File(QStringLiteral("gone.wav"));
    const QString a = rig.File(QStringLiteral("a.wav"));
    WriteWholeFile(a, Header(22050, 16, 1, 4) + QByteArray("\x01\x02\x03\x04", 4));
    rig.pickers.PlanAnswer({missing});
    rig.pickers.PlanAnswer({a});
    L().Open();
    ASSERT_EQ(rig.boxes.Shown().size(), 1u);
    EXPECT_EQ(
        rig.boxes.Shown()[0].Text,
        missing +
            QStringLiteral("\nCould not be found\uFF01\nPlease check the filename correct or not"));
    EXPECT_EQ(rig.boxes.Shown()[0].Icon, MbIcon::Warning);
    ASSERT_EQ(rig.pickers.Requests().size(), 2u);
    EXPECT_EQ(rig.pickers.Requests()[0].Title,
              QStringLiteral("Please select a sound file to open"));
    EXPECT_EQ(rig.pickers.Requests()[0].Directory, rig.dir.Path());
    EXPECT_EQ(L().CurrentFile(), a);
    EXPECT_EQ(L().Caption(), QStringLiteral("Record(") + a + QLatin1Char(')'));
    EXPECT_EQ(L().EnabledButtons(), kLoaded);
    EXPECT_EQ(ReadWholeFile(Work()), ReadWholeFile(a));
    EXPECT_EQ(L().LengthText(), QStringLiteral("0 Sec"));

    // The same file again: nothing changes.
    rig.device.ClearRequests();
    rig.pickers.PlanAnswer({a});
    L().Open();
    EXPECT_TRUE(rig.device.Actions().isEmpty());
}

TEST_F(RecordLogic, OpenRefusesWhatTheDeviceCannotUse)
{
    const QString text = rig.File(QStringLiteral("notes.wav"));
    WriteWholeFile(text, "just some words, no RIFF");
    const QString empty = rig.File(QStringLiteral("empty.wav"));
    WriteWholeFile(empty, QByteArray());
    const QString deep = rig.File(QStringLiteral("deep.wav"));
    WriteWholeFile(deep, Header(44100, 24, 2, 0).replace(32, 2, QByteArray("\x06\x00", 2)));
    const QString fifo = rig.File(QStringLiteral("pipe.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);

    for (const QString& f : {text, empty, deep, fifo}) {
        rig.pickers.PlanAnswer({f});
        try {
            L().Open();
            ADD_FAILURE() << "opened " << f.toStdString();
        } catch (const EAppException& e) {
            // The message names the file the user chose, not the recorder's working copy.
            EXPECT_TRUE(e.text().startsWith(f + QStringLiteral(": "))) << e.what();
        }
        EXPECT_TRUE(L().CurrentFile().isEmpty());
        EXPECT_EQ(L().Caption(), QStringLiteral("Record"));
        EXPECT_EQ(L().EnabledButtons(), TButtonSet{});
        EXPECT_FALSE(QFile::exists(Work()));
    }
    rig.pickers.PlanAnswer({deep});
    try {
        L().Open();
    } catch (const EAppException& e) {
        EXPECT_TRUE(e.text().contains(QStringLiteral("8 or 16 bit"))) << e.what();
    }
}

TEST_F(RecordLogic, TheNoNameFileReopensAsANewRecordingAndTheWorkingCopyIsRefused)
{
    rig.NewRecording();
    rig.RecordFor(1000);
    rig.boxes.PlanAnswer(MbAnswer::No);
    ASSERT_TRUE(L().FormClose());

    const QByteArray left = ReadWholeFile(NoName());
    RecorderRig again; // the next window, in a program folder holding what was left
    WriteWholeFile(again.File(QStringLiteral("MyNoName.wav")), left);
    again.pickers.PlanAnswer({again.File(QStringLiteral("MyTemp.wav"))});
    WriteWholeFile(again.File(QStringLiteral("MyTemp.wav")), Header(8000, 8, 1, 0));
    again.pickers.PlanAnswer({again.File(QStringLiteral("MyNoName.wav"))});
    again.logic->Open();
    ASSERT_EQ(again.boxes.Texts().size(), 1)
        << again.boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(again.boxes.Texts()[0].startsWith(again.File(QStringLiteral("MyTemp.wav"))));
    EXPECT_EQ(again.logic->CurrentFile(), again.File(QStringLiteral("MyNoName.wav")));
    EXPECT_EQ(again.logic->Caption(), QStringLiteral("Record(NoName)"));
    EXPECT_EQ(again.device.Length(), 1000);
    // Recording on and saving keeps both takes.
    again.logic->ClickButton(btNext);
    again.RecordFor(1000);
    again.SaveAs(QStringLiteral("both.wav"));
    EXPECT_EQ(Sound(again.File(QStringLiteral("both.wav"))).size(), 2 * 176400);
}

TEST_F(RecordLogic, Mp3CopyAsksOncePerNameAndNeedsADrive)
{
    L().SetSaveMp3(true);
    rig.NewRecording();
    rig.RecordFor(1000);
    const QString a = rig.File(QStringLiteral("a.wav"));
    WriteWholeFile(rig.File(QStringLiteral("a.mp3")), "old mp3");
    OptionsSetting().CommonOptions.OutputFormat = ofOGG;

    rig.boxes.PlanAnswer(MbAnswer::Yes);
    rig.SaveAs(QStringLiteral("a.wav"));
    EXPECT_EQ(rig.boxes.Texts(), QStringList{rig.File(QStringLiteral("a.mp3")) +
                                             QStringLiteral(" has existed,overite it?")});
    ASSERT_EQ(rig.jobs.size(), 1u);
    EXPECT_EQ(rig.jobs[0].Kind, 4);
    EXPECT_EQ(rig.jobs[0].Handle, 7);
    EXPECT_EQ(rig.jobs[0].List, QStringList{a});
    // MP3 while the copy's job runs; the user's own format again once it has ended.
    EXPECT_EQ(rig.jobs[0].OutputFormat, ofMP3);
    EXPECT_EQ(OptionsSetting().CommonOptions.OutputFormat, ofOGG);

    // Settled for a.mp3: the next save does not ask again.
    rig.boxes.Clear();
    L().SetBar(0);
    rig.RecordFor(1000);
    L().actSaveExecute();
    EXPECT_TRUE(rig.boxes.Shown().empty());
    EXPECT_EQ(rig.jobs.size(), 2u);

    // Another name with its own MP3 asks for that one; No keeps it.
    WriteWholeFile(rig.File(QStringLiteral("b.mp3")), "other mp3");
    rig.boxes.PlanAnswer(MbAnswer::No);
    rig.pickers.PlanAnswer({rig.File(QStringLiteral("b.wav"))});
    L().actSaveAsExecute();
    EXPECT_EQ(rig.boxes.Texts(), QStringList{rig.File(QStringLiteral("b.mp3")) +
                                             QStringLiteral(" has existed,overite it?")});
    EXPECT_EQ(rig.jobs.size(), 2u);

    // An MP3 in use is left alone.
    const int fd = ::open(QFile::encodeName(rig.File(QStringLiteral("b.mp3"))).constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    rig.boxes.Clear();
    rig.boxes.PlanAnswer(MbAnswer::Yes);
    L().SetBar(0);
    rig.RecordFor(1000);
    L().actSaveExecute();
    EXPECT_EQ(rig.boxes.Texts().last(),
              rig.File(QStringLiteral("b.mp3")) + QStringLiteral(" maybe be used!"));
    EXPECT_EQ(rig.boxes.Shown().back().Icon, MbIcon::Error);
    EXPECT_EQ(rig.jobs.size(), 2u);
    ::close(fd);

    // Without a drive: the design's hint, and the recorder closes.
    rig.cdHandle = 0;
    rig.boxes.Clear();
    L().SetBar(0);
    rig.RecordFor(1000);
    L().actSaveExecute();
    EXPECT_EQ(rig.boxes.Texts(),
              QStringList{QStringLiteral("Please access CD devices rightly above all!")});
    EXPECT_EQ(rig.closeRequests, 1);
    EXPECT_EQ(rig.jobs.size(), 2u);
}

TEST_F(RecordLogic, AFailingDeviceEndsTheTakeAndKeepsIt)
{
    rig.NewRecording();
    L().ClickButton(btRecord);
    rig.Advance(1500);
    rig.device.FailNow(QStringLiteral("unplugged"));
    ASSERT_TRUE(WaitUntil([&] { return !rig.boxes.Shown().empty(); }));
    EXPECT_EQ(rig.boxes.Texts(), QStringList{QStringLiteral("Error while saving sound file!")});
    EXPECT_EQ(rig.boxes.Shown()[0].Icon, MbIcon::Error);
    EXPECT_EQ(L().EnabledButtons(), kStopped);
    EXPECT_FALSE(L().RecordTimerOn());
    EXPECT_TRUE(rig.sleeps.empty()); // no point waiting for a device that has gone
    EXPECT_EQ(Sound(NoName()), TTestWaveAudio::Signal({44100, 16, 2}, 0, 66150));
    EXPECT_TRUE(L().Modified());

    // A save that fails at Stop is reported; the take stays with the device and a later save
    // writes it.
    rig.boxes.Clear();
    rig.device.FailNextSave(QStringLiteral("disk full"));
    L().ClickButton(btNext);
    rig.RecordFor(1000);
    EXPECT_EQ(rig.boxes.Texts(), QStringList{QStringLiteral("Error while saving sound file!")});
    EXPECT_EQ(Sound(NoName()).size(), 66150 * 4);
    rig.SaveAs(QStringLiteral("kept.wav"));
    EXPECT_EQ(Sound(rig.File(QStringLiteral("kept.wav"))).size(), 66150 * 4 + 176400);
}

TEST_F(RecordLogic, ADeviceThatCannotRecordOrPlayIsReported)
{
    rig.NewRecording();
    rig.device.FailNextRecord(QStringLiteral("There is no sound input device."));
    try {
        L().ClickButton(btRecord);
        FAIL() << "no error raised";
    } catch (const EAppException& e) {
        EXPECT_EQ(e.text(), QStringLiteral("There is no sound input device."));
    }
    EXPECT_EQ(L().EnabledButtons(), TButtonSet{btRecord});
    EXPECT_FALSE(L().RecordTimerOn());
    EXPECT_FALSE(L().Modified());
    EXPECT_EQ(L().StateText(), QStringLiteral("-----------"));

    rig.RecordFor(1000);
    rig.device.FailNextPlay(QStringLiteral("There is no sound output device."));
    EXPECT_THROW(L().ClickButton(btPlay), EAppException);
    EXPECT_FALSE(L().PlayTimerOn());
    EXPECT_EQ(L().EnabledButtons(), kStopped);
}

TEST_F(RecordLogic, SettingsRecordingControlAndLink)
{
    OptionsSetting().RecordOptions.SaveMp3 = true;
    L().FormCreate();
    EXPECT_TRUE(L().SaveMp3Checked());
    L().SetSaveMp3(false);
    EXPECT_TRUE(L().FormClose());
    EXPECT_FALSE(OptionsSetting().RecordOptions.SaveMp3);

    QStringList started;
    bool result = true;
    SetShellHookForTests([&](const QString& what) {
        started << what;
        return result;
    });
    L().RecordingControl();
    L().lWebClick();
    result = false;
    L().RecordingControl();
    SetShellHookForTests({});
    ASSERT_EQ(started.size(), 3);
    EXPECT_EQ(started[0], QStringLiteral("pavucontrol --tab=2"));
    EXPECT_TRUE(started[1].endsWith(QStringLiteral("Tracksmith.html#about")))
        << started[1].toStdString();
    EXPECT_EQ(rig.boxes.Texts(), QStringList{QStringLiteral(
                                     "The recording control (pavucontrol) could not be started.")});
    L().Exit();
    EXPECT_EQ(rig.closeRequests, 1);
}

TEST_F(RecordLogic, AFullDiskEndsTheTakeAndNeverDamagesASavedFile)
{
    rig.NewRecording();
    L().ClickButton(btRecord);
    {
        const FullDisk full(44 + 176400); // one second fits
        rig.Advance(3000);
        rig.device.Length(); // the device takes in the sound that is due
        ASSERT_TRUE(WaitUntil([&] { return !rig.boxes.Shown().empty(); }));
    }
    EXPECT_EQ(rig.boxes.Texts(), QStringList{QStringLiteral("Error while saving sound file!")});
    EXPECT_EQ(Sound(NoName()), TTestWaveAudio::Signal({44100, 16, 2}, 0, 44100));
    EXPECT_EQ(L().EnabledButtons(), kStopped);

    const QString a = rig.File(QStringLiteral("a.wav"));
    rig.SaveAs(QStringLiteral("a.wav"));
    const QByteArray saved = ReadWholeFile(a);
    ASSERT_EQ(saved.size(), 44 + 176400);
    const QStringList files = QDir(rig.dir.Path()).entryList(QDir::Files | QDir::Hidden);

    // A take over the start of the working copy cannot be saved into it: the copy stays as it
    // was, the take stays with the device.
    rig.boxes.Clear();
    L().SetBar(0);
    L().ClickButton(btRecord);
    rig.Advance(500);
    {
        const FullDisk full(44 + 176400 - 1);
        L().ClickButton(btStop);
        EXPECT_EQ(rig.boxes.Texts(), QStringList{QStringLiteral("Error while saving sound file!")});
        EXPECT_EQ(ReadWholeFile(Work()), saved);
        // Save: the device tries again and fails again; the named file is untouched.
        rig.boxes.Clear();
        L().actSaveExecute();
        EXPECT_EQ(rig.boxes.Texts(), QStringList{QStringLiteral("Error while saving sound file!")});
        EXPECT_EQ(ReadWholeFile(a), saved);
    }
    EXPECT_EQ(QDir(rig.dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), files.size() + 1)
        << "only the take's own file is extra";
    EXPECT_TRUE(L().Modified());

    // The named file itself cannot be replaced: the copy fails whole, the file stays.
    L().actSaveExecute(); // room again: the device saves into the working copy, then the copy
    EXPECT_EQ(Sound(a).left(88200), TTestWaveAudio::Signal({44100, 16, 2}, 0, 22050));
    L().SetBar(400);
    rig.RecordFor(2000);
    const QByteArray before = ReadWholeFile(a);
    {
        const FullDisk full(static_cast<rlim_t>(before.size()) + 1000);
        EXPECT_THROW(L().actSaveExecute(), EAppException);
    }
    EXPECT_EQ(ReadWholeFile(a), before);
    EXPECT_EQ(QDir(rig.dir.Path()).entryList(QDir::Files | QDir::Hidden), files);
    L().actSaveExecute();
    EXPECT_EQ(ReadWholeFile(a), ReadWholeFile(Work()));
}

TEST(RecordScratchFiles, ALinkOrFifoThereIsRefusedAndLeftAlone)
{
    for (const Planted kind : kPlanted) {
        SCOPED_TRACE(static_cast<int>(kind));
        QTemporaryDir outside;
        {
            // New writes the no-name file's header.
            RecorderRig rig;
            const QString noName = rig.File(QStringLiteral("MyNoName.wav"));
            const Plant plant(kind, noName, outside.path());
            rig.NewRecording();
            EXPECT_EQ(
                rig.boxes.Texts(),
                QStringList{noName +
                            QStringLiteral(" is a link or a special file; it was not written.")});
            EXPECT_EQ(rig.logic->EnabledButtons(), TButtonSet{});
            EXPECT_EQ(rig.device.Mode(), TWaveMode::NotOpen);
            EXPECT_TRUE(plant.Untouched());
        }
        {
            // Open copies the chosen file into the working copy; closing removes that copy.
            RecorderRig rig;
            const QString work = rig.File(QStringLiteral("MyTemp.wav"));
            const Plant plant(kind, work, outside.path());
            const QString a = rig.File(QStringLiteral("a.wav"));
            WriteWholeFile(a, Header(8000, 8, 1, 4) + QByteArray("\x01\x02\x03\x04", 4));
            rig.pickers.PlanAnswer({a});
            try {
                rig.logic->Open();
                ADD_FAILURE() << "opened through the working copy";
            } catch (const EAppException& e) {
                EXPECT_EQ(e.text(),
                          work +
                              QStringLiteral(" is a link or a special file; it was not written."));
            }
            EXPECT_TRUE(rig.logic->CurrentFile().isEmpty());
            EXPECT_TRUE(rig.logic->FormClose());
            EXPECT_TRUE(plant.Untouched());
        }
    }
}

TEST(RecordScratchFiles, SavingOntoALinkIsRefusedOnEveryPath)
{
    QLocale::setDefault(QLocale::c());
    enum Path { SaveNew, SaveAsNew, SaveAsOpened };
    for (const Path path : {SaveNew, SaveAsNew, SaveAsOpened}) {
        for (const Planted kind : kPlanted) {
            SCOPED_TRACE(std::to_string(path) + "/" + std::to_string(static_cast<int>(kind)));
            QTemporaryDir outside;
            RecorderRig rig;
            rig.NewRecording();
            rig.RecordFor(1000);
            if (path == SaveAsOpened)
                rig.SaveAs(QStringLiteral("a.wav"));
            const QString before = rig.logic->CurrentFile();
            const QString target = rig.File(QStringLiteral("t.wav"));
            const Plant plant(kind, target, outside.path());
            rig.boxes.Clear();
            rig.pickers.PlanAnswer({target});
            if (path == SaveNew)
                rig.logic->actSaveExecute();
            else
                rig.logic->actSaveAsExecute();
            // Refused before any question: the chosen name is the file, and a link is none.
            EXPECT_EQ(
                rig.boxes.Texts(),
                QStringList{target +
                            QStringLiteral(" is a link or a special file; it was not written.")});
            EXPECT_TRUE(plant.Untouched());
            EXPECT_EQ(rig.logic->CurrentFile(), before);
            EXPECT_EQ(rig.device.Mode(), TWaveMode::Stopped);
        }
    }
}

TEST_F(RecordLogic, SaveAsOfANewRecordingLeavesNothingToSaveOrUndo)
{
    rig.NewRecording();
    rig.RecordFor(1000);
    const QString a = rig.File(QStringLiteral("a.wav"));
    rig.pickers.PlanAnswer({a});
    L().actSaveAsExecute();
    EXPECT_EQ(L().CurrentFile(), a);
    EXPECT_FALSE(L().Modified());
    EXPECT_FALSE(L().UndoEnabled());
    EXPECT_TRUE(L().FormClose());
    EXPECT_TRUE(rig.boxes.Shown().empty());
}

TEST_F(RecordLogic, ALeftoverTakeIsOfferedBackIntoTheNoNameRecording)
{
    const TWaveFormat format{8000, 16, 1};
    // What a killed recorder leaves: the no-name file as last saved, and a take whose header
    // still says it holds nothing (here 1.5 s, plus half a frame the kill cut off).
    WriteWholeFile(NoName(),
                   BuildWaveHeader(format, 16000) + TTestWaveAudio::Signal(format, 0, 8000));
    const QString take = rig.File(QStringLiteral(".MyNoName.wav.take-a1B2c3"));
    WriteWholeFile(take, BuildWaveHeader(format, 0) + TTestWaveAudio::Signal(format, 8000, 12000) +
                             QByteArray(1, '\x7f'));
    const QString empty = rig.File(QStringLiteral(".MyNoName.wav.take-000000"));
    WriteWholeFile(empty, BuildWaveHeader(format, 0));
    // Another recorder's take in progress is not touched.
    const QString live = rig.File(QStringLiteral(".MyNoName.wav.take-LIVE00"));
    WriteWholeFile(live, BuildWaveHeader(format, 0) + TTestWaveAudio::Signal(format, 0, 800));
    const int liveFd = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);

    // No: asked about the one take with sound, which stays for the next time.
    rig.boxes.PlanAnswer(MbAnswer::No);
    L().OfferLeftoverTakes();
    EXPECT_EQ(rig.boxes.Texts(),
              QStringList{QStringLiteral("A recording that was not saved has been found (1.5 Sec). "
                                         "Recover it into the NoName recording?")});
    EXPECT_TRUE(QFile::exists(take));
    EXPECT_FALSE(QFile::exists(empty));
    EXPECT_TRUE(L().CurrentFile().isEmpty());

    rig.boxes.Clear();
    rig.boxes.PlanAnswer(MbAnswer::Yes);
    L().OfferLeftoverTakes();
    EXPECT_EQ(rig.boxes.Texts().size(), 1);
    EXPECT_FALSE(QFile::exists(take));
    EXPECT_TRUE(QFile::exists(live));
    EXPECT_EQ(ReadWholeFile(NoName()),
              BuildWaveHeader(format, 40000) + TTestWaveAudio::Signal(format, 0, 20000));
    EXPECT_EQ(L().CurrentFile(), NoName());
    EXPECT_EQ(L().Caption(), QStringLiteral("Record(NoName)"));
    EXPECT_EQ(L().EnabledButtons(), kLoaded);
    EXPECT_EQ(rig.device.Length(), 2500);
    EXPECT_TRUE(L().Modified()); // never saved under a name: closing asks
    ::close(liveFd);
}
