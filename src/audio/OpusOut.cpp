#include "audio/OpusOut.h"

#include <algorithm>
#include <cstring>

#include <QFile>
#include <QRandomGenerator>
#include <opus/opusenc.h>

#include "audio/ACSException.h"

// libopusenc calls back into C++ through these; no exception may cross its C frames.
struct TOpusCallbacks {
    static int Write(void* client, const unsigned char* data, opus_int32 length)
    {
        auto* self = static_cast<TOpusOut*>(client);
        if (!self->stream_ || self->encodeFailed_)
            return 1;
        try {
            self->stream_->Write(data, length);
            return 0;
        } catch (...) {
            if (!self->writeError_)
                self->writeError_ = std::current_exception();
            return 1;
        }
    }
    // The sink closes its own file in Done.
    static int Close(void*) { return 0; }
};

TOpusOut::TOpusOut() = default;

TOpusOut::~TOpusOut()
{
    ShutdownWorker();
    ReleaseEncoder();
}

void TOpusOut::SetBitrate(int kbps)
{
    if (!Busy())
        kbps_ = std::clamp(kbps, kMinBitrate, kMaxBitrate);
}

void TOpusOut::SetComments(const QStringList& lines)
{
    if (!Busy())
        comments_ = lines;
}

void TOpusOut::DoPrepare()
{
    TACSInput* input = Input();
    if (!input)
        throw EACSException("Input is not assigned");
    outputOpened_ = false;
    input->Init();
    OggOpusComments* comments = nullptr;
    try {
        channels_ = input->Channels();
        const int bits = input->BitsPerSample();
        const int rate = input->SampleRate();
        if (channels_ < 1 || channels_ > 8 || (bits != 8 && bits != 16) || rate < 100 ||
            rate > 768000)
            throw EACSException("Cannot encode this audio format into Opus.");
        bytesPerSample_ = bits / 8;
        carry_ = 0;
        ended_ = false;
        encodeFailed_ = false;
        wroteAudio_ = false;
        writeError_ = nullptr;
        transfer_.assign(kTransferSize, 0);
        samples_.assign(kTransferSize, 0);

        comments = ope_comments_create();
        if (!comments)
            throw EACSException("Not enough memory for the Opus encoder.");
        for (const QString& line : comments_) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                ope_comments_add(comments, line.left(eq).toUtf8().constData(),
                                 line.mid(eq + 1).toUtf8().constData());
        }
        OpenOutputFile();
        outputOpened_ = !streamAssigned_;
        const OpusEncCallbacks callbacks{TOpusCallbacks::Write, TOpusCallbacks::Close};
        int error = OPE_OK;
        encoder_ = ope_encoder_create_callbacks(&callbacks, this, comments, rate, channels_,
                                                channels_ > 2 ? 1 : 0, &error);
        ope_comments_destroy(comments);
        comments = nullptr;
        if (!encoder_)
            RaiseEncoderError(error);
        // Serial 0 for every file would make two files impossible to chain.
        const auto serial = static_cast<int>(QRandomGenerator::global()->generate() & 0x7fffffff);
        ope_encoder_ctl(encoder_, OPE_SET_SERIALNO(serial));
        ope_encoder_ctl(encoder_, OPUS_SET_BITRATE(kbps_ * 1000));
        ope_encoder_ctl(encoder_, OPUS_SET_VBR(1));
    } catch (...) {
        if (comments)
            ope_comments_destroy(comments);
        encodeFailed_ = true;
        ReleaseEncoder();
        AbandonPreparedOutput();
        throw;
    }
}

bool TOpusOut::DoOutput(bool abort)
{
    switch (BeginStep(abort, ended_)) {
    case TStepStart::Idle:
        return true;
    case TStepStart::End:
        return false;
    case TStepStart::Proceed:
        break;
    }
    Submit(FillFromInput(transfer_.data(), carry_, kTransferSize, ended_));
    return true;
}

void TOpusOut::Submit(int64_t bytes)
{
    const int frameBytes = channels_ * bytesPerSample_;
    const int64_t frames = bytes / frameBytes;
    carry_ = bytes - frames * frameBytes;
    const int64_t count = frames * channels_;
    if (bytesPerSample_ == 2) {
        std::memcpy(samples_.data(), transfer_.data(), static_cast<size_t>(count) * 2);
    } else {
        for (int64_t i = 0; i < count; ++i)
            samples_[static_cast<size_t>(i)] =
                static_cast<int16_t>((transfer_[static_cast<size_t>(i)] - 128) * 256);
    }
    if (frames > 0) {
        wroteAudio_ = true;
        const int rc = ope_encoder_write(encoder_, samples_.data(), static_cast<int>(frames));
        if (rc != OPE_OK || writeError_) {
            encodeFailed_ = true;
            RaiseEncoderError(rc);
        }
    }
    if (carry_ > 0)
        std::memmove(transfer_.data(), transfer_.data() + frames * frameBytes,
                     static_cast<size_t>(carry_));
}

void TOpusOut::RaiseEncoderError(int code)
{
    if (writeError_)
        std::rethrow_exception(writeError_);
    throw EACSException(
        QStringLiteral("The Opus encoder failed: %1.").arg(QString::fromUtf8(ope_strerror(code))));
}

void TOpusOut::ReleaseEncoder() noexcept
{
    if (encoder_) {
        ope_encoder_destroy(encoder_);
        encoder_ = nullptr;
    }
}

void TOpusOut::DoDone()
{
    std::exception_ptr error;
    // A stopped job still ends its stream: a shorter file, but one players take. One stopped
    // before any audio has no stream to end (and libopusenc aborts the process on draining
    // an encoder that was given none): it is a failed job, its file removed.
    if (encoder_ && !encodeFailed_ && stream_ && !wroteAudio_) {
        encodeFailed_ = true;
        KeepFirstFailure(error, [] {
            throw EACSException(QStringLiteral("The Opus encoder was given no audio."));
        });
    }
    if (encoder_ && !encodeFailed_ && stream_) {
        KeepFirstFailure(error, [&] {
            const int rc = ope_encoder_drain(encoder_);
            if (rc != OPE_OK || writeError_) {
                encodeFailed_ = true;
                RaiseEncoderError(rc);
            }
        });
    }
    ReleaseEncoder();
    comments_.clear();
    if (!KeepFirstFailure(error, [&] { CloseOutputFile(); }))
        encodeFailed_ = true;
    if (encodeFailed_)
        DropOutputFile();
    if (TACSInput* input = Input())
        KeepFirstFailure(error, [&] { input->Flush(); });
    if (error)
        std::rethrow_exception(error);
}
