#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include <QPointer>
#include <QString>

#include "core/ThreadHandoff.h"

class QObject;
class TACSFileOut;
struct TOggOptions;
class TRateConverter;
class TVorbisOut;
class TWaveIn;
class TWaveOut;

/// The job's stream components: WaveIn1 reads every WAV, RateConverter1 brings it to 44100 Hz
/// for WaveOut1 (the temporary file), VorbisOut1 encodes Ogg Vorbis, and the encoder of an
/// Encoder step (FLAC, Opus: made by its format's row) reads WaveIn1 too. Their events run on
/// the sinks' worker threads and only report to the job: progress, 3000 and 6000 posted, 4000
/// sent. Owned by the job on the UI thread.
class TStreamSteps {
public:
    /// Raises the Vorbis writer's error when the Ogg and Vorbis libraries are missing.
    explicit TStreamSteps(QObject* job);
    ~TStreamSteps();
    TStreamSteps(const TStreamSteps&) = delete;
    TStreamSteps& operator=(const TStreamSteps&) = delete;

    /// What the reader finds in a WAV file: whether it can deliver its audio (a supported
    /// format with sound in it) and at which sample rate.
    struct TInputProbe {
        bool Readable = false;
        int SampleRate = 0;
        /// Floating-point samples: lame reads them at the wrong level, so a file for it is
        /// rounded to 16-bit PCM first.
        bool Float = false;
        QString Refusal; ///< why a file is not readable: its format, or what it lacks
    };
    /// Opens the file once for all questions: an MPEG-in-WAV file is decoded on every open.
    TInputProbe Probe(const QString& path);
    /// Resamples input to 44100 Hz into output on WaveOut1's thread; with resample false the
    /// input is only rewritten as the PCM the reader delivers, at its own rate.
    void RunResampling(const QString& input, const QString& output, bool resample = true);
    /// Encodes input to output with the given Ogg Vorbis settings.
    void RunVorbis(const QString& input, const QString& output, const TOggOptions& ogg);
    /// Ends a running Vorbis encode early: the file keeps the pages written so far.
    void StopVorbis();
    /// Ends a running resampling early and closes its file.
    void StopResampling();
    /// Encodes input to output with an in-process encoder, which replaces the previous one.
    void RunEncoder(std::unique_ptr<TACSFileOut> encoder, const QString& input,
                    const QString& output);
    /// Ends a running encoder early: it finishes a shorter file, which the job then discards.
    void StopEncoder();
    /// The current in-process encoder, or null.
    TACSFileOut* Encoder() { return encoder_.get(); }
    /// Releases a worker waiting for the job and keeps later reports from waiting; the job
    /// calls it before it waits for the workers.
    void Shutdown();
    /// A sink's failure goes only into its step's end report, for a job that reports every
    /// failure together at its end; otherwise it is also shown at once.
    void ReportFailuresAtEnd() { failuresShown_.store(false); }

    // The sinks' event handlers (worker threads).
    void WaveOut1Progress();
    void VorbisOut1Progress();
    void WaveOut1Done();
    void VorbisOut1Done();
    void EncoderDone();
    /// A sink reported an error: shown, and the step ends with endCode and ToolFailed.
    void SinkFailed(const QString& message, int32_t endCode);

    TWaveIn& WaveIn1() { return *waveIn1_; }
    TVorbisOut& VorbisOut1() { return *vorbisOut1_; }

private:
    void PostProgress(int percent);
    void ApplyVorbisSettings(const TOggOptions& ogg);
    void MarkStepStart();

    QObject* const job_; // the job owns this object, so it outlives every worker
    // Nanoseconds on the monotonic clock: written by the UI thread before a sink runs, read
    // by the sink's worker for its progress texts.
    std::atomic<int64_t> stepStart_{0};
    TCancelToken sendCancel_;
    // Set by a sink's worker when its step failed; cleared by the UI thread before a step runs.
    std::atomic<bool> stepFailed_{false};
    // Written by the UI thread before a sink runs, read by the sink's worker when it fails.
    std::atomic<bool> failuresShown_{true};
    // Declared sources first, so the sinks are destroyed before what they read.
    std::unique_ptr<TWaveIn> waveIn1_;
    std::unique_ptr<TRateConverter> rateConverter1_;
    std::unique_ptr<TWaveOut> waveOut1_;
    std::unique_ptr<TVorbisOut> vorbisOut1_;
    std::unique_ptr<TACSFileOut> encoder_;
};
