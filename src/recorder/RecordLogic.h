#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QObject>
#include <QString>
#include <QStringList>

class IWaveAudioDevice;
struct TWaveFormat;

/// The buttons of the transport strip, in the order the strip shows them.
enum TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };

/// A set of transport buttons.
class TButtonSet {
public:
    TButtonSet() = default;
    TButtonSet(std::initializer_list<TMPBtnType> buttons)
    {
        for (TMPBtnType b : buttons)
            bits_ |= Bit(b);
    }
    bool Has(TMPBtnType b) const { return (bits_ & Bit(b)) != 0; }
    bool operator==(const TButtonSet&) const = default;

private:
    static unsigned Bit(TMPBtnType b) { return 1u << static_cast<unsigned>(b); }
    unsigned bits_ = 0;
};

/// What the new-recording dialog returns: the selected rate entry (empty when none) and the
/// checked radio buttons.
struct TNewRecordChoice {
    QString RateText;
    bool EightBit = false;
    bool Mono = false;
};

/// What the recorder needs of the main window.
struct TRecorderHost {
    /// The open CD drive handle, 0 when none.
    std::function<int()> CDHandle;
    /// Runs a conversion job modally: (job kind, CD handle, list).
    std::function<void(int kind, int handle, const QStringList& list)> RunJob;
};

/// The sound recorder without widgets: the transport handlers, the two timers, the file
/// commands and the MP3 copy, over a wave-audio device. TfrmRecord shows its state and forwards
/// its controls here; tests call it directly. UI thread only. A handler may raise
/// EAppException (a copy that failed); the window hands it to the general error handler.
class TRecordLogic : public QObject {
    Q_OBJECT
public:
    TRecordLogic(IWaveAudioDevice& device, TRecorderHost host, QObject* parent = nullptr);
    ~TRecordLogic() override;

    // Seams: the new-recording dialog, the clock and the pause, the deferred window close.
    /// Shows the new-recording dialog; false when it was not closed with OK.
    std::function<bool(TNewRecordChoice& choice)> AskNewRecordFormat;
    /// Monotonic milliseconds (steady clock by default).
    std::function<int64_t()> NowMs;
    /// Blocks for that many milliseconds (the pause before a recording ends).
    std::function<void(int64_t ms)> SleepMs;
    /// Closes the window once the running command has returned.
    std::function<void()> CloseWindow;

    // Window life.
    void FormCreate();
    /// False when the close is called off (the user cancelled a save the recording needs).
    bool FormClose();
    /// Offers the takes a recording left when the program ended in the middle of it; those the
    /// user takes are put at the end of the no-name recording, which is then open.
    void OfferLeftoverTakes();

    // Transport strip: ClickButton runs the handler and then the device action of the button.
    void ClickButton(TMPBtnType button);
    void MediaPlayer1Click(TMPBtnType button);
    void Timer1Timer();
    void TimerRecordTimer();
    /// The user or the recorder moves the bar (0..400).
    void SetBar(int position);
    void TrackBar1Change();

    // Menu of the start button.
    void New();
    void Open();
    void actSaveExecute();
    void actSaveAsExecute();
    void actUndoExecute();
    void RecordingControl();
    void Exit();
    void SetSaveMp3(bool checked);
    /// The link label.
    void lWebClick();

    bool SaveRecording(bool ask);
    void LoadRecording(const QString& file);
    void ExportMp3();
    /// The sound card failed during a take or a playback (the device's report).
    void DeviceFailed(const QString& reason);

    /// Copies a whole file over another (atomically); raises EAppException on failure.
    static void CopyFileContents(const QString& source, const QString& target);
    /// "0 Sec", "1.5 Sec", "1 Min1 Sec", "1Hour", ...
    static QString FormatDuration(int64_t ms);
    /// Writes the empty 44-byte WAV header of a new recording into path.
    static bool WriteEmptyWave(const QString& path, const TWaveFormat& format);
    /// The program folder + "MyNoName.wav".
    static QString NoNameFile();

    // State, as the design names it.
    const QString& CurrentFile() const { return currentFile_; }
    const QString& WorkFile() const { return workFile_; }
    int32_t PlayPosition() const { return playPosition_; }
    uint16_t LastMilliseconds() const { return lastMilliseconds_; }
    bool Modified() const { return modified_; }
    bool Mp3Confirmed() const { return !mp3ConfirmedFor_.isEmpty(); }

    // What the window shows.
    int Bar() const { return bar_; }
    const QString& PositionText() const { return lbPosition_; }
    const QString& LengthText() const { return lbLength_; }
    const QString& StateText() const { return lbState_; }
    const QString& RecordTimeText() const { return panRecordTime_; }
    const QString& Caption() const { return caption_; }
    TButtonSet EnabledButtons() const { return enabled_; }
    bool PlayTimerOn() const { return playTimer_; }
    bool RecordTimerOn() const { return recordTimer_; }
    bool SaveMp3Checked() const { return saveMp3_; }
    bool SaveEnabled() const;
    bool SaveAsEnabled() const { return SaveEnabled(); }
    bool UndoEnabled() const;

    /// Texts of the design.
    static const QString kNoState;   // "-----------"
    static const QString kOpenTitle; // the open dialog's title
    static const QString kFilter;    // the open and save dialogs' filter

Q_SIGNALS:
    /// Something the window shows has changed.
    void Changed();

private:
    void SetEnabled(TButtonSet buttons);
    void SetPlayTimer(bool on);
    int64_t Now() const;
    bool DeviceOpen();
    void CloseDevice();
    /// Opens the device on path (time format first); raises with the device's reason.
    void OpenDevice(const QString& path);
    /// Writes sound the device still holds unsaved into its file; false (after the message)
    /// when that fails.
    bool FlushDevice();
    void StopHandler(bool pause);
    bool FinishRecording(bool saved);
    QString PickSaveTarget();
    bool CheckWavExtension(const QString& target);
    bool RefuseScratchFile(const QString& target);
    bool CanReplace(const QString& target) const;
    void Reopen(const QString& path) noexcept;

    IWaveAudioDevice& device_;
    TRecorderHost host_;

    QString currentFile_;
    QString workFile_;
    int32_t playPosition_ = 0;
    int64_t recordStart_ = 0;
    uint16_t lastMilliseconds_ = 0;
    bool modified_ = false;
    /// The last device action was a recording (for a failure reported after its end).
    bool lastWasRecording_ = false;
    /// The MP3 name whose overwrite question was settled, empty when none was.
    QString mp3ConfirmedFor_;
    /// A start position the handler set for the device action that follows it.
    std::optional<int64_t> startFrom_;

    int bar_ = 0;
    QString lbPosition_;
    QString lbLength_;
    QString lbState_;
    QString panRecordTime_;
    QString caption_;
    TButtonSet enabled_;
    bool playTimer_ = false;
    bool recordTimer_ = false;
    bool saveMp3_ = false;
};
