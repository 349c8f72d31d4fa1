#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QStringList>
#include <QTimer>

#include "core/ProcessInfo.h"
#include "pipeline/JobView.h"

class TCDRipThread;
class TStreamSteps;
class TEncodeProcess;
class TMp3EncodeProcess;
class TWMAEncodeProcess;

/// The encoder runners the main window owns and every job reuses.
struct TJobRunners {
    TMp3EncodeProcess* Mp3 = nullptr;
    TWMAEncodeProcess* Wma = nullptr;
};

/// Per-mille ratios of WAV input to WMA output size for the 33 encoding profiles.
int WmaSizeRatio(int profile);

/// Job kinds: what a conversion job does with its list of strings.
enum JobKindValue : int {
    jkRipTracks = 1,
    jkWavToMp3 = 2,
    jkMp3ToWav = 3,
    jkRecordingToMp3 = 4,
    jkWavToOgg = 5,
    jkWavToWma = 6,
};

/// One conversion job from its first step to its clean-up: the state machine behind the job
/// window. Workers report to this object (it is their "window"); it decides the next step and
/// keeps the view the window shows. Lives on the UI thread; no widgets.
class TRipJob : public QObject {
    Q_OBJECT
public:
    /// Copies the list and starts the first step. Raises on a failure while setting it up.
    TRipJob(int jobKind, int cdHandle, const QStringList& list, TJobRunners runners = {},
            QObject* parent = nullptr);
    ~TRipJob() override;

    const TJobView& View() const { return view_; }
    int JobKind() const { return kind_; }
    int ExtractIndex() const { return extractIndex_; }
    int EncodeIndex() const { return encodeIndex_; }
    int OggIndex() const { return oggIndex_; }
    bool ProgressSeen() const { return progressSeen_; }
    /// False once the job has been cleaned up.
    bool Running() const { return fileList_.has_value(); }

    /// The Stop button: stops the current worker, cleans up, asks to close.
    void Stop();
    /// Stops workers and removes intermediate files; runs once per job.
    void Cleanup();

    /// The stream components (tests look at their settings).
    TStreamSteps& Streams() { return *streams_; }

    /// The WMA estimate, every second while a WMA step runs.
    void Timer1Timer();
    bool Timer1Active() const { return timer1_.isActive(); }

    /// Report handlers (the window messages WM_JOBPROGRESS and WM_RIPFAILED).
    void HandleJobProgress(std::unique_ptr<TProcessInfo> info);
    void HandleRipFailed(int code);

    /// Track title of entry k of a rip ("01Title" -> "Title").
    QString Title(int k) const;
    /// Track number of entry k of a rip ("01Title" -> 1).
    int TrackNumber(int k) const;
    /// The output folder with a "/" at its end.
    static QString OutputDir();
    /// F + name(k) with its extension changed to ext.
    QString OutputFor(int k, const QString& ext) const;
    /// The resampling step's temporary file: "MyMP3ReTemp.wav" (WAV to MP3) or "MyReTemp.wav"
    /// in the output folder, or a numbered name when one of the job's inputs is that file.
    QString TempFile() const;

Q_SIGNALS:
    void ViewChanged();
    /// The job is over; the window closes.
    void CloseRequested();

protected:
    bool event(QEvent* e) override;

private:
    int Count() const { return static_cast<int>(fileList_ ? fileList_->size() : 0); }
    void SetCaption(const QString& verb, int k, const QString& text);
    void StartExtraction(int k);
    void StartNextExtraction();
    void HandleProgress(const TProcessInfo& info);
    void HandleExtractEnded(const TProcessInfo& info);
    void Finish();
    void FinishLater();

    // Encoder steps.
    void StartEncodeStepOfTrack(const TProcessInfo& ended);
    void StartRunner(TEncodeProcess* runner, const QString& input, const QString& output, bool encode);
    void StartMp3(const QString& input, const QString& output, bool encode);
    void StartWma(const QString& input, const QString& output);
    void HandleMp3Ended(const TProcessInfo& info);
    void HandleWmaEnded(const TProcessInfo& info);
    void WriteTrackTag();
    void SetStep(const QString& group, const QString& verb, int k, const QString& text);

    // Stream-library steps.
    void ResamplingTest(int k);
    void RunVorbis(const QString& input, const QString& output);
    void HandleOggEnded(const TProcessInfo& info);
    void HandleResampleEnded(const TProcessInfo& info);
    QString ChooseTempFile() const;

    /// The end event of the current kind's encode step.
    int32_t EndCodeOfStep() const;
    /// Ends the current encode step at once as skipped; the job moves on.
    void SkipStep();
    /// False (after saying why) for an input that is no regular file.
    bool InputAcceptable(const QString& input);
    /// False (after saying why) for an output that is a link or special file.
    bool OutputAcceptable(const QString& output);
    void RemoveFailedOutput(const QString& output);
    void MarkEncoded(int k);
    void Changed() { Q_EMIT ViewChanged(); }

    int kind_;
    int cdHandle_;
    std::optional<QStringList> fileList_;
    QStringList entries_; // kept after clean-up for the file names
    int extractIndex_ = 0;
    int encodeIndex_ = 0;
    int oggIndex_ = 0;
    bool progressSeen_ = false;
    std::unique_ptr<TCDRipThread> ripThread_;
    TJobRunners runners_;
    std::unique_ptr<TStreamSteps> streams_;
    std::chrono::steady_clock::time_point wmaStepStartTime_{};
    int64_t wmaInputSize_ = 0;
    std::vector<bool> encoded_;  ///< per entry: its encode step succeeded (a rip's WAV may go)
    QString tempFile_;
    QString oggOutput_;
    QTimer timer1_;
    TJobView view_;
};
