#include "pipeline/StreamSteps.h"

#include <QObject>

#include "audio/ACSFileOut.h"
#include "audio/RateConverter.h"
#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include "core/AppEvents.h"
#include "core/AppException.h"
#include "core/ErrorHandler.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "core/TextUtil.h"

namespace {

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TVorbisBitRate BitRateChoice(int32_t index)
{
    // List positions: 0 automatic, then 45 ... 320 kbit/s, in the writer's own order.
    return index >= 0 && index <= br320 ? static_cast<TVorbisBitRate>(index) : brAutoSelect;
}

} // namespace

TStreamSteps::TStreamSteps(QObject* job) : job_(job)
{
    waveIn1_ = std::make_unique<TWaveIn>();
    waveIn1_->SetStartSample(0);
    waveIn1_->SetEndSample(-1);
    waveIn1_->SetLoop(false);

    rateConverter1_ = std::make_unique<TRateConverter>();
    rateConverter1_->SetInput(waveIn1_.get());
    rateConverter1_->SetFilterWindow(fwBlackman);
    rateConverter1_->SetKernelWidth(30);
    rateConverter1_->SetOutSampleRate(44100);

    waveOut1_ = std::make_unique<TWaveOut>();
    waveOut1_->SetInput(rateConverter1_.get());
    waveOut1_->SetWavType(wtPCM);
    waveOut1_->SetBlockSize(512);
    waveOut1_->SetFileMode(foRewrite);
    waveOut1_->SetSuspendWhenIdle(true);
    waveOut1_->SetOnProgress([this](TACSOutput*) { WaveOut1Progress(); });
    waveOut1_->SetOnDone([this](TACSOutput*) { WaveOut1Done(); });
    waveOut1_->SetOnThreadException([this](TACSOutput*, const EAppException& e) {
        SinkFailed(e.text(), JobCode::ResampleEnded);
    });

    vorbisOut1_ = std::make_unique<TVorbisOut>(); // raises when the libraries are missing
    vorbisOut1_->SetInput(waveIn1_.get());
    vorbisOut1_->SetFileMode(foRewrite);
    vorbisOut1_->SetSuspendWhenIdle(true);
    vorbisOut1_->SetCompression(0.2f);
    vorbisOut1_->SetDesiredMaximumBitrate(brAutoSelect);
    vorbisOut1_->SetDesiredNominalBitrate(brAutoSelect);
    vorbisOut1_->SetMinimumBitrate(brAutoSelect);
    vorbisOut1_->SetOnProgress([this](TACSOutput*) { VorbisOut1Progress(); });
    vorbisOut1_->SetOnDone([this](TACSOutput*) { VorbisOut1Done(); });
    vorbisOut1_->SetOnThreadException(
        [this](TACSOutput*, const EAppException& e) { SinkFailed(e.text(), JobCode::OggEnded); });
}

TStreamSteps::~TStreamSteps()
{
    Shutdown();
    // The sinks go first and wait for their workers, which wait for nobody now.
    encoder_.reset();
    vorbisOut1_.reset();
    waveOut1_.reset();
}

void TStreamSteps::Shutdown()
{
    sendCancel_.Cancel();
}

void TStreamSteps::MarkStepStart()
{
    stepStart_.store(NowNs());
    stepFailed_.store(false);
}

TStreamSteps::TInputProbe TStreamSteps::Probe(const QString& path)
{
    TInputProbe probe;
    try {
        waveIn1_->SetFileName(path);
        waveIn1_->OpenFile(); // the accessors below nest inside this one open
        struct Closer {
            TWaveIn* in;
            ~Closer() { in->CloseFile(); }
        } closer{waveIn1_.get()};
        probe.SampleRate = waveIn1_->SampleRate();
        const int bits = waveIn1_->BitsPerSample();
        const int channels = waveIn1_->Channels();
        const bool format = waveIn1_->Valid() && probe.SampleRate > 0 &&
                            (bits == 8 || bits == 16) && (channels == 1 || channels == 2);
        probe.Readable = format && waveIn1_->TotalSamples() > 0;
        probe.Float = waveIn1_->WavType() == wtFloat;
        if (!probe.Readable)
            probe.Refusal = format ? QStringLiteral("no audio data")
                                   : QString::fromStdString(waveIn1_->FormatDescription());
    } catch (const EAppException& e) {
        probe.Readable = false;
        probe.Refusal = e.text();
    }
    return probe;
}

void TStreamSteps::RunResampling(const QString& input, const QString& output, bool resample)
{
    // The converter filters even at equal rates: a file that keeps its rate bypasses it.
    if (resample)
        waveOut1_->SetInput(rateConverter1_.get());
    else
        waveOut1_->SetInput(waveIn1_.get());
    waveIn1_->SetFileName(input);
    waveOut1_->SetFileName(output);
    MarkStepStart();
    waveOut1_->Run();
}

void TStreamSteps::ApplyVorbisSettings(const TOggOptions& ogg)
{
    TVorbisOut& v = *vorbisOut1_;
    // The writer's setters depend on each other and on what the previous file left: start from
    // all-automatic, and set the nominal rate before the limits that are checked against it,
    // so every file of a job gets the same maximum, nominal and minimum.
    v.SetDesiredNominalBitrate(brAutoSelect);
    if (ogg.IsUseCompress) {
        v.SetCompression(static_cast<float>(ogg.CompressPosition - 10) / 100.0f);
        v.SetDesiredMaximumBitrate(brAutoSelect);
        v.SetDesiredNominalBitrate(brAutoSelect);
        v.SetMinimumBitrate(brAutoSelect);
    } else {
        v.SetDesiredNominalBitrate(BitRateChoice(ogg.NomalBitRate));
        v.SetDesiredMaximumBitrate(BitRateChoice(ogg.MaxBitRate));
        v.SetMinimumBitrate(BitRateChoice(ogg.MinBitRate));
        v.SetCompression(0.2f);
    }
}

void TStreamSteps::RunVorbis(const QString& input, const QString& output, const TOggOptions& ogg)
{
    waveIn1_->SetFileName(input);
    vorbisOut1_->SetFileName(output);
    ApplyVorbisSettings(ogg);
    MarkStepStart();
    vorbisOut1_->Run();
}

void TStreamSteps::StopVorbis()
{
    if (!vorbisOut1_->Busy())
        return;
    vorbisOut1_->Pause();
    try {
        vorbisOut1_->Done();
    } catch (const EAppException& e) {
        // The stopped file could not be finished (the writer removed or restored it): say so,
        // the stop goes on.
        ShowError(e.text());
    }
}

void TStreamSteps::StopResampling()
{
    if (!waveOut1_->Busy())
        return;
    // The worker may be waiting for the job to take its end report; let it go first.
    Shutdown();
    waveOut1_->Pause();
    try {
        waveOut1_->Done();
    } catch (const EAppException&) {
        // Only the temporary file is lost, and the job deletes it next.
    }
}

void TStreamSteps::RunEncoder(std::unique_ptr<TACSFileOut> encoder, const QString& input,
                              const QString& output)
{
    encoder_ = std::move(encoder); // the previous one waits for its worker as it goes
    encoder_->SetInput(waveIn1_.get());
    encoder_->SetFileMode(foRewrite);
    encoder_->SetSuspendWhenIdle(true);
    // The sender, not encoder_: the UI thread replaces encoder_ while no worker reads it.
    encoder_->SetOnProgress([this](TACSOutput* sender) { PostProgress(sender->Progress()); });
    encoder_->SetOnDone([this](TACSOutput*) { EncoderDone(); });
    encoder_->SetOnThreadException([this](TACSOutput*, const EAppException& e) {
        SinkFailed(e.text(), JobCode::EncoderEnded);
    });
    waveIn1_->SetFileName(input);
    encoder_->SetFileName(output);
    MarkStepStart();
    encoder_->Run();
}

void TStreamSteps::StopEncoder()
{
    if (!encoder_ || !encoder_->Busy())
        return;
    encoder_->Pause();
    try {
        encoder_->Done();
    } catch (const EAppException&) {
        // The stopped file is discarded by the job whatever state it is in.
    }
}

void TStreamSteps::EncoderDone()
{
    if (stepFailed_.load())
        return;
    PostAppEvent(job_, MakeJobProgress(JobCode::EncoderEnded));
}

void TStreamSteps::PostProgress(int percent)
{
    const int64_t elapsedNs = NowNs() - stepStart_.load();
    const int64_t e = RoundHalfEven(static_cast<double>(elapsedNs) / 1e9);
    QString elapsed;
    QString total;
    if (percent != 0) {
        elapsed = Mmss(e);
        total = Mmss(RoundHalfEven(static_cast<double>(e) * 100.0 / percent));
    }
    PostAppEvent(job_, MakeJobProgress(percent, elapsed, total));
}

void TStreamSteps::WaveOut1Progress()
{
    PostProgress(waveOut1_->Progress());
}

void TStreamSteps::VorbisOut1Progress()
{
    PostProgress(vorbisOut1_->Progress());
}

void TStreamSteps::VorbisOut1Done()
{
    if (stepFailed_.load())
        return; // its end has been reported as a failure
    PostAppEvent(job_, MakeJobProgress(JobCode::OggEnded));
}

void TStreamSteps::WaveOut1Done()
{
    if (stepFailed_.load())
        return;
    // Sent: the resampler's worker waits while the job starts the encode of its file.
    SendAppEvent(job_, MakeJobProgress(JobCode::ResampleEnded), &sendCancel_);
}

void TStreamSteps::SinkFailed(const QString& message, int32_t endCode)
{
    // Say why, then end the step as failed: its file is incomplete and must not be taken for a
    // finished one. A Done the sink may still raise adds nothing.
    if (stepFailed_.exchange(true))
        return;
    if (failuresShown_.load())
        InvokeQueued(job_, [message] { ShowError(message); });
    PostAppEvent(job_, MakeJobProgress(endCode, message, {}, StepOutcome::ToolFailed));
}
