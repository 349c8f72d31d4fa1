#pragma once

#include <memory>
#include <vector>

#include <QStringList>

#include "core/FileDialogService.h"
#include "core/MessageBoxService.h"
#include "platform/waveaudio/TestWaveAudio.h"
#include "recorder/RecordLogic.h"
#include "support/TestSupport.h"

/// A recorder over the test device, with a clock the test moves, scripted dialogs and a host
/// that records the jobs it is asked to run.
struct RecorderRig {
    RecorderRig();
    ~RecorderRig();

    /// Moves the clock on; the device's take grows with it.
    void Advance(int64_t ms) { now += ms; }
    /// New with the given choice, answering nothing else.
    void NewRecording(const QString& rate = QStringLiteral("44100"), bool eightBit = false,
                      bool mono = false);
    /// Record, let ms pass, Stop.
    void RecordFor(int64_t ms);
    /// Saves the new recording under name (in the program folder) through Save.
    void SaveAs(const QString& name);
    QString File(const QString& name) const { return dir.File(name); }

    struct Job {
        int Kind;
        int Handle;
        QStringList List;
        int OutputFormat; // the setting while the job ran
    };

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    ScriptedFileDialogService pickers;
    int64_t now = 1000000;
    std::vector<int64_t> sleeps;
    int cdHandle = 7;
    std::vector<Job> jobs;
    int closeRequests = 0;
    TNewRecordChoice choice;
    bool choiceOk = true;
    int newDialogs = 0;
    TTestWaveAudio device;
    std::unique_ptr<TRecordLogic> logic;
};
