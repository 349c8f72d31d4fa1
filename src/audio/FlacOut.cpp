#include "audio/FlacOut.h"

#include <cstring>

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <QFile>

#include "audio/ACSException.h"

// libFLAC calls back into C++ through these; no exception may cross its C frames, so a
// failure is kept and raised once libFLAC has returned.
struct TFlacCallbacks {
    static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*,
                                                const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                uint32_t, void* client)
    {
        auto* self = static_cast<TFlacOut*>(client);
        if (!self->stream_ || self->encodeFailed_)
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR; // a file being thrown away
        try {
            self->stream_->Write(buffer, static_cast<int64_t>(bytes));
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        } catch (...) {
            if (!self->writeError_)
                self->writeError_ = std::current_exception();
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
    }
    static FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                              void* client)
    {
        auto* self = static_cast<TFlacOut*>(client);
        if (!self->stream_ || self->encodeFailed_)
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        try {
            self->stream_->Seek(static_cast<int64_t>(offset));
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        } catch (...) {
            if (!self->writeError_)
                self->writeError_ = std::current_exception();
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        }
    }
    static FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                              void* client)
    {
        auto* self = static_cast<TFlacOut*>(client);
        if (!self->stream_)
            return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        *offset = static_cast<FLAC__uint64>(self->stream_->Position());
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }
};

TFlacOut::TFlacOut() = default;

TFlacOut::~TFlacOut()
{
    ShutdownWorker();
    ReleaseEncoder();
}

void TFlacOut::SetCompressionLevel(int value)
{
    if (!Busy() && value >= 0 && value <= 8)
        level_ = value;
}

void TFlacOut::SetVerify(bool value)
{
    if (!Busy())
        verify_ = value;
}

void TFlacOut::DoPrepare()
{
    TACSInput* input = Input();
    if (!input)
        throw EACSException("Input is not assigned");
    outputOpened_ = false;
    input->Init();
    try {
        channels_ = input->Channels();
        const int bits = input->BitsPerSample();
        const int rate = input->SampleRate();
        if (channels_ < 1 || channels_ > 8 || (bits != 8 && bits != 16) || rate <= 0 ||
            rate > 655350)
            throw EACSException("Cannot encode this audio format into FLAC.");
        bytesPerSample_ = bits / 8;
        carry_ = 0;
        ended_ = false;
        encodeFailed_ = false;
        writeError_ = nullptr;
        transfer_.assign(kTransferSize, 0);
        samples_.assign(kTransferSize, 0);

        encoder_ = FLAC__stream_encoder_new();
        if (!encoder_)
            throw EACSException("Not enough memory for the FLAC encoder.");
        FLAC__stream_encoder_set_verify(encoder_, verify_);
        FLAC__stream_encoder_set_compression_level(encoder_, static_cast<uint32_t>(level_));
        FLAC__stream_encoder_set_channels(encoder_, static_cast<uint32_t>(channels_));
        FLAC__stream_encoder_set_bits_per_sample(encoder_, static_cast<uint32_t>(bits));
        FLAC__stream_encoder_set_sample_rate(encoder_, static_cast<uint32_t>(rate));
        padding_ = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
        if (!padding_)
            throw EACSException("Not enough memory for the FLAC encoder.");
        padding_->length = kPaddingBytes;
        FLAC__stream_encoder_set_metadata(encoder_, &padding_, 1);
        if (input->Size() > 0)
            FLAC__stream_encoder_set_total_samples_estimate(
                encoder_, static_cast<FLAC__uint64>(input->Size() / (channels_ * bytesPerSample_)));

        OpenOutputFile();
        outputOpened_ = !streamAssigned_;
        if (FLAC__stream_encoder_init_stream(encoder_, TFlacCallbacks::Write, TFlacCallbacks::Seek,
                                             TFlacCallbacks::Tell, nullptr,
                                             this) != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
            RaiseEncoderError();
    } catch (...) {
        encodeFailed_ = true;
        ReleaseEncoder();
        AbandonPreparedOutput();
        throw;
    }
}

bool TFlacOut::DoOutput(bool abort)
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

void TFlacOut::Submit(int64_t bytes)
{
    const int frameBytes = channels_ * bytesPerSample_;
    const int64_t frames = bytes / frameBytes;
    carry_ = bytes - frames * frameBytes;
    const int64_t count = frames * channels_;
    if (bytesPerSample_ == 2) {
        for (int64_t i = 0; i < count; ++i) {
            int16_t s;
            std::memcpy(&s, transfer_.data() + 2 * i, 2);
            samples_[static_cast<size_t>(i)] = s;
        }
    } else {
        for (int64_t i = 0; i < count; ++i)
            samples_[static_cast<size_t>(i)] = transfer_[static_cast<size_t>(i)] - 128;
    }
    if (frames > 0 && !FLAC__stream_encoder_process_interleaved(encoder_, samples_.data(),
                                                                static_cast<uint32_t>(frames))) {
        encodeFailed_ = true;
        RaiseEncoderError();
    }
    if (carry_ > 0)
        std::memmove(transfer_.data(), transfer_.data() + frames * frameBytes,
                     static_cast<size_t>(carry_));
}

void TFlacOut::RaiseEncoderError()
{
    if (writeError_)
        std::rethrow_exception(writeError_);
    const FLAC__StreamEncoderState state =
        encoder_ ? FLAC__stream_encoder_get_state(encoder_) : FLAC__STREAM_ENCODER_UNINITIALIZED;
    if (state == FLAC__STREAM_ENCODER_VERIFY_MISMATCH_IN_AUDIO_DATA)
        throw EACSException("FLAC verification failed: the encoded audio differs from the input.");
    throw EACSException(QStringLiteral("The FLAC encoder failed: %1.")
                            .arg(QString::fromLatin1(FLAC__StreamEncoderStateString[state])));
}

void TFlacOut::ReleaseEncoder() noexcept
{
    if (encoder_) {
        FLAC__stream_encoder_delete(encoder_);
        encoder_ = nullptr;
    }
    if (padding_) {
        FLAC__metadata_object_delete(padding_);
        padding_ = nullptr;
    }
}

void TFlacOut::DoDone()
{
    std::exception_ptr error;
    // A stopped job still gets its STREAMINFO rewritten: a shorter file, but a valid one.
    if (encoder_ && !encodeFailed_ && stream_) {
        KeepFirstFailure(error, [&] {
            if (!FLAC__stream_encoder_finish(encoder_)) {
                encodeFailed_ = true;
                RaiseEncoderError();
            }
        });
    }
    ReleaseEncoder();
    if (!KeepFirstFailure(error, [&] { CloseOutputFile(); }))
        encodeFailed_ = true;
    if (encodeFailed_)
        DropOutputFile();
    outputOpened_ = false;
    if (TACSInput* input = Input())
        KeepFirstFailure(error, [&] { input->Flush(); });
    if (error)
        std::rethrow_exception(error);
}
