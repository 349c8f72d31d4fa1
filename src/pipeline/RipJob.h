#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QStringList>
#include <QTimer>

#include "core/ProcessInfo.h"
#include "pipeline/JobPlan.h"
#include "pipeline/JobView.h"
#include "pipeline/PartialOutput.h"
#include "pipeline/RipCover.h"
#include "pipeline/RipFiles.h"

class TCDRipThread;
class TParallelJob;
struct TJobReport;
class TRipVerification;
class TStreamSteps;
class TEncodeProcess;
class TMp3EncodeProcess;
class TWMAEncodeProcess;

/// The encoder runners the main window owns and every job reuses.
struct TJobRunners {
    TMp3EncodeProcess* Mp3 = nullptr;
    TWMAEncodeProcess* Wma = nullptr;
};

/// One conversion job from its first step to its clean-up: the state machine behind the job
/// window. Each entry of the list goes through the steps of the job's plan (JobPlanOf); a step
/// ends with its worker's end event, and the driver then starts the entry's next step, the next
/// entry's first, or ends the job. A step of an entry whose earlier step failed ends at once as
/// skipped. Workers report to this object (it is their "window"). Lives on the UI thread; no
/// widgets.
class TRipJob : public QObject {
    Q_OBJECT
public:
    /// Copies the list and starts the first step. Raises on a failure while setting it up.
    /// cover: the disc's front cover (JPEG or PNG bytes) for a rip's files; empty: none.
    TRipJob(int jobKind, int cdHandle, const QStringList& list, TJobRunners runners = {},
            const QByteArray& cover = {}, QObject* parent = nullptr);
    ~TRipJob() override;

    const TJobView& View() const { return view_; }
    int JobKind() const { return kind_; }
    /// Extractions finished.
    int ExtractIndex() const { return Finished(TStepType::Extract); }
    /// MP3, WMA and decoding steps finished.
    int EncodeIndex() const { return Finished(TStepType::Mp3) + Finished(TStepType::Wma); }
    /// Ogg Vorbis steps finished.
    int OggIndex() const { return Finished(TStepType::Vorbis); }
    bool ProgressSeen() const { return progressSeen_; }
    /// False once the job has been cleaned up.
    bool Running() const { return fileList_.has_value(); }
    /// Whether every step of entry k ended well; false for an entry the job never finished.
    bool EntrySucceeded(int k) const;

    /// The Stop button: stops the current worker, cleans up, asks to close.
    void Stop();
    /// Stops workers and removes intermediate files; runs once per job.
    void Cleanup();

    /// The parallel job that runs this one's entries, when [CommonOptions] ParallelEncoders
    /// asks for one; null for the sequential job.
    TParallelJob* Parallel() const { return parallel_.get(); }
    /// What the parallel job did (counts, time, folder); nothing for the sequential job.
    std::optional<TJobReport> Report() const;
    /// A CD rip's checksums, lookup, log and cue sheet; null for other kinds. The job hands it
    /// its tracks and its end; whoever takes it sees it finish (the lookup may still run).
    TRipVerification* Verification() const { return verification_.get(); }
    std::unique_ptr<TRipVerification> TakeVerification();

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
    /// The resampling step's temporary file: "MyMP3ReTemp.wav" (WAV to MP3) or "MyReTemp.wav"
    /// in the output folder, or a numbered name when one of the job's inputs is that file.
    QString TempFile() const { return tempFile_; }

Q_SIGNALS:
    void ViewChanged();
    /// The job is over; the window closes.
    void CloseRequested();

protected:
    bool event(QEvent* e) override;

private:
    int Count() const { return static_cast<int>(entries_.size()); }
    int Finished(TStepType type) const { return finished_[static_cast<size_t>(type)]; }
    TStepType CurrentStep() const { return plan_.Steps[stepPos_]; }

    void StartVerification();

    // The driver.
    /// Starts the first step of entry_.
    void BeginEntry();
    void StartCurrentStep();
    /// The current step of the current entry has ended; succeeded false skips the entry's
    /// remaining steps.
    void StepEnded(TStepType type, bool succeeded);
    /// Ends the current step at once as skipped (its end event, posted).
    void SkipStep();
    void Finish(TStepType lastStep);
    void FinishLater();

    // The steps: how each starts, and how its end event is taken.
    void StartExtract();
    void StartResample();
    void StartMp3();
    void StartWma();
    void StartVorbis();
    void StartEncoder();
    void ExtractEnded(const TProcessInfo& info);
    void ResampleEnded(const TProcessInfo& info);
    void Mp3Ended(const TProcessInfo& info);
    void WmaEnded(const TProcessInfo& info);
    void VorbisEnded(const TProcessInfo& info);
    void EncoderEnded(const TProcessInfo& info);

    void HandleProgress(const TProcessInfo& info);
    void StartRunner(TEncodeProcess* runner, const QString& input, const QString& output,
                     bool encode);
    /// Makes the temporary file the current encode step writes in place of stepOutput_; false
    /// (after saying why) when the folder refuses it.
    bool CreatePartialOutput();
    /// The encode step ended: its output goes into place when it succeeded, else it goes.
    /// Returns whether the output is in place.
    bool FinishPartialOutput(bool succeeded);
    /// The tag step of a rip: the disc information into the encoded file, before it is renamed
    /// into place. A failure is shown; the file stays.
    void TagPartialOutput();
    void WriteTrackTag(const QString& mp3);
    /// Caption and group box of an encode step of the current entry.
    void SetEncodeStep(const QString& verb);
    void SetStep(const QString& group, const QString& verb, int k, const QString& text);
    void SetCaption(const QString& verb, int k, const QString& text);
    /// The current entry's text in captions: a rip's title, or the file's path.
    QString EntryText() const;
    /// The output of the current entry's step that writes files of extension ext.
    QString StepOutput(const QString& ext) const;
    QString ChooseTempFile() const;
    /// False (after saying why) for an input that is no regular file.
    bool InputAcceptable(const QString& input);
    /// False (after saying why) for an output that is a link or special file.
    bool OutputAcceptable(const QString& output);
    /// False (after saying why) when a file rip entry k writes cannot be written: a link or
    /// special file, or a file in use or write-protected in its place.
    bool RipOutputsWritable(int k);
    /// Creates the folders the name of rip entry k asks for; false (after saying why) when one
    /// is a link or cannot be made.
    bool MakeRipFolders(int k);
    void RemoveFailedOutput(const QString& output);
    void Changed() { Q_EMIT ViewChanged(); }
    /// Hands the entries to a parallel job with this encode-lane width (RipJobParallel.cpp).
    void StartParallel(int width, const QByteArray& cover);
    /// Hands a parallel rip's end to the verification (its log and cue sheet).
    void EndParallelVerification();

    const int kind_;
    const int cdHandle_;
    const TJobPlan plan_;
    std::optional<QStringList> fileList_;
    const QStringList entries_;            // kept after clean-up for the file names
    std::vector<TRipEntryFiles> ripFiles_; ///< a rip's files, per entry
    TRipCover cover_;                      ///< what a rip leaves beside its tracks
    TJobRunners runners_;

    int entry_ = 0;            ///< the entry being worked on
    size_t stepPos_ = 0;       ///< its step, in plan_.Steps
    bool entryFailed_ = false; ///< a step of this entry failed: the rest is skipped
    QString stepInput_;        ///< the WAV (or MP3) the entry's next step reads
    bool resampled_ = false;   ///< stepInput_ is the temporary file
    QString stepOutput_;       ///< what the running encode step makes
    TPartialOutput partial_;   ///< where it writes until it has succeeded
    std::array<int, kStepTypeCount> finished_{};
    std::vector<bool> encoded_; ///< per entry: its encode step succeeded (a rip's WAV may go)
    std::vector<bool> entryOk_; ///< per entry: all its steps have ended well
    bool progressSeen_ = false;
    bool stopping_ = false; ///< Stop is under way: no report moves the job on

    std::unique_ptr<TRipVerification> verification_;
    std::unique_ptr<TCDRipThread> ripThread_;
    std::unique_ptr<TStreamSteps> streams_;
    QString tempFile_;
    std::chrono::steady_clock::time_point wmaStepStartTime_{};
    int64_t wmaInputSize_ = 0;
    QTimer timer1_;
    TJobView view_;
    std::unique_ptr<TParallelJob> parallel_;
};
