#include "audio/WaveOut.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "audio/ACSException.h"
#include "audio/ByteOrder.h"
#include "core/TextUtil.h"

TWaveOut::TWaveOut() : transfer_(kTransferSize) {}

TWaveOut::~TWaveOut()
{
    ShutdownWorker();
}

void TWaveOut::SetFileMode(TFileOutputMode value)
{
    if (!Busy())
        fileMode_ = value;
}

void TWaveOut::SetWavType(TWavType value)
{
    if (!Busy() && (value == wtPCM || value == wtDVIADPCM))
        wavType_ = value;
}

void TWaveOut::SetBlockSize(int value)
{
    if (!Busy() && value > 0 && value <= 0xFFFF && value % 4 == 0)
        blockSize_ = value;
}

int TWaveOut::SamplesPerBlock(int channels) const
{
    return (2 / channels) * (jobBlockSize_ - 4 * channels) + 1;
}

void TWaveOut::FailPrepare(const char* message)
{
    try {
        Input()->Flush();
    } catch (...) {
    }
    DiscardOutputFile();
    throw EACSException(message);
}

void TWaveOut::DoPrepare()
{
    endOfInput_ = false;
    TACSInput* input = Input();
    if (!input)
        throw EACSException("Input is not assigned");
    // The input first: a source that cannot start must not cost an existing output its content.
    input->Init();
    try {
        OpenOutputFile();
    } catch (...) {
        try {
            input->Flush();
        } catch (...) {
        }
        throw;
    }

    jobType_ = wavType_;
    jobBlockSize_ = blockSize_;
    channels_ = input->Channels();
    bits_ = input->BitsPerSample();
    inputSize_ = input->Size();
    framesIn_ = 0;
    headerDataSize_ = 0;
    headerFrames_ = 0;
    existing_ = TWaveHeaderInfo();
    appending_ = false;

    if (fileMode_ == foAppend && stream_->Size() > 0) {
        stream_->Seek(0);
        existing_ = WalkWaveHeader(*stream_, TWaveWalkMode::Append);
        const bool ima = existing_.type == wtDVIADPCM;
        // An ADPCM file is only continued with blocks this writer can make for it.
        const bool usable = existing_.found && existing_.type != wtUnsupported &&
                            (!ima ||
                             (existing_.channels == 1 && existing_.blockAlign >= 4 &&
                              existing_.blockAlign % 4 == 0) ||
                             (existing_.channels == 2 && existing_.blockAlign >= 8 &&
                              existing_.blockAlign % 8 == 0));
        if (!usable)
            FailPrepare("Cannot append data to this .wav file.");
        appending_ = true;
        jobType_ = existing_.type;
        wavType_ = existing_.type;
        if (ima) {
            blockSize_ = existing_.blockAlign;
            jobBlockSize_ = existing_.blockAlign;
        }
    }

    if (jobType_ == wtPCM) {
        if (appending_) {
            if (static_cast<uint32_t>(input->SampleRate()) != existing_.sampleRate ||
                bits_ != existing_.bitsPerSample || channels_ != existing_.channels)
                FailPrepare("Cannot append data in different audio format.");
            stream_->Seek(stream_->Size());
            return;
        }
        WritePcmHeader();
        return;
    }

    if (bits_ != 16)
        FailPrepare("Cannot encode 8 bit sound into ADPCM.");
    if (channels_ != 1 && channels_ != 2)
        FailPrepare("Cannot encode this channel count into ADPCM.");
    // Checked before any block is sized: a block size taken from a file of another channel
    // count need not fit this input.
    if (appending_ && (static_cast<uint32_t>(input->SampleRate()) != existing_.sampleRate ||
                       channels_ != existing_.channels))
        FailPrepare("Cannot append data in different audio format.");
    if (channels_ == 2 && !appending_)
        jobBlockSize_ = std::max(8, jobBlockSize_ & ~7);
    imaIn_.assign(static_cast<size_t>(SamplesPerBlock(channels_) * channels_), 0);
    imaOut_.assign(static_cast<size_t>(jobBlockSize_), 0);
    if (!appending_) {
        WriteImaHeader();
        left_.index = 0;
        right_.index = 0;
        return;
    }
    stream_->Seek(stream_->Size());
}

void TWaveOut::WritePcmHeader()
{
    const int rate = Input()->SampleRate();
    const int blockAlign = (bits_ * channels_) / 8;
    uint8_t h[44];
    PutTag(h, "RIFF");
    PutLE32(h + 4, static_cast<uint32_t>(inputSize_ + 36));
    PutTag(h + 8, "WAVE");
    PutTag(h + 12, "fmt ");
    PutLE32(h + 16, 16);
    PutLE16(h + 20, 1);
    PutLE16(h + 22, static_cast<uint16_t>(channels_));
    PutLE32(h + 24, static_cast<uint32_t>(rate));
    PutLE32(h + 28, static_cast<uint32_t>(rate) * static_cast<uint32_t>(blockAlign));
    PutLE16(h + 32, static_cast<uint16_t>(blockAlign));
    PutLE16(h + 34, static_cast<uint16_t>(bits_));
    PutTag(h + 36, "data");
    PutLE32(h + 40, static_cast<uint32_t>(inputSize_));
    headerDataSize_ = inputSize_;
    stream_->Seek(0);
    stream_->Write(h, sizeof h);
}

void TWaveOut::WriteImaHeader()
{
    const int rate = Input()->SampleRate();
    const int spb = SamplesPerBlock(channels_);
    // Truncating toward zero, so an unknown size (-1) states 0 frames until Done corrects it.
    headerFrames_ = inputSize_ / (bits_ / 8) / channels_;
    const int64_t blocks = RoundHalfEven(static_cast<double>(headerFrames_) / spb);
    headerDataSize_ = blocks * jobBlockSize_;
    uint8_t h[60];
    PutTag(h, "RIFF");
    PutLE32(h + 4, static_cast<uint32_t>(headerDataSize_ + 52));
    PutTag(h + 8, "WAVE");
    PutTag(h + 12, "fmt ");
    PutLE32(h + 16, 20);
    PutLE16(h + 20, 17);
    PutLE16(h + 22, static_cast<uint16_t>(channels_));
    PutLE32(h + 24, static_cast<uint32_t>(rate));
    PutLE32(h + 28, static_cast<uint32_t>((rate / spb) * jobBlockSize_));
    PutLE16(h + 32, static_cast<uint16_t>(jobBlockSize_));
    PutLE16(h + 34, 4);
    PutLE16(h + 36, 2);
    PutLE16(h + 38, static_cast<uint16_t>(spb));
    PutTag(h + 40, "fact");
    PutLE32(h + 44, 4);
    PutLE32(h + 48, static_cast<uint32_t>(headerFrames_));
    PutTag(h + 52, "data");
    PutLE32(h + 56, static_cast<uint32_t>(headerDataSize_));
    stream_->Seek(0);
    stream_->Write(h, sizeof h);
}

bool TWaveOut::DoOutput(bool abort)
{
    switch (BeginStep(abort, endOfInput_)) {
    case TStepStart::Idle:
        return true;
    case TStepStart::End:
        return false;
    case TStepStart::Proceed:
        break;
    }
    return jobType_ == wtDVIADPCM ? WriteImaStep() : WritePcmStep();
}

bool TWaveOut::WritePcmStep()
{
    // Errors reading the input or writing the file end the job as failed (OnThreadException,
    // no OnDone): a file cut short must never pass for a complete one.
    const int64_t n = ReadInput(transfer_.data(), kTransferSize);
    if (n > 0) {
        stream_->Write(transfer_.data(), n);
    }
    return n > 0;
}

bool TWaveOut::WriteImaStep()
{
    const int spb = SamplesPerBlock(channels_);
    const int64_t want = static_cast<int64_t>(spb) * channels_ * 2;
    std::fill(imaIn_.begin(), imaIn_.end(), 0);
    auto* in = reinterpret_cast<uint8_t*>(imaIn_.data());
    const int64_t got = FillFromInput(in, 0, want, endOfInput_);
    framesIn_ += got / (2 * channels_);
    if (channels_ == 1)
        ImaAdpcm::EncodeMono(imaIn_.data(), jobBlockSize_, left_, imaOut_.data());
    else
        ImaAdpcm::EncodeStereo(imaIn_.data(), jobBlockSize_, left_, right_, imaOut_.data());
    stream_->Write(imaOut_.data(), jobBlockSize_);
    return true;
}

void TWaveOut::Put32At(int64_t offset, uint32_t value)
{
    uint8_t b[4];
    PutLE32(b, value);
    stream_->Seek(offset);
    stream_->Write(b, 4);
}

void TWaveOut::PatchSizes()
{
    const int64_t size = stream_->Size();
    if (appending_) {
        const int64_t data = size - existing_.firstAudioByte;
        Put32At(existing_.dataSizeOffset, RiffSize(data));
        if (jobType_ == wtDVIADPCM) {
            const int64_t spb =
                (2 / existing_.channels) * (jobBlockSize_ - 4 * existing_.channels) + 1;
            Put32At(existing_.factValueOffset, RiffSize(spb * (data / jobBlockSize_)));
        }
    } else if (jobType_ == wtPCM) {
        // Judged by the file's real length: after a failed write it holds less than was sent.
        if (inputSize_ >= 0 && size - 44 == headerDataSize_)
            return;
        Put32At(40, RiffSize(size - 44));
    } else {
        const bool sizesHold =
            inputSize_ >= 0 && size - 60 == headerDataSize_ && framesIn_ == headerFrames_;
        if (sizesHold)
            return;
        Put32At(56, RiffSize(size - 60));
        // The frames the input really delivered (readers then stop before the padding), or
        // fewer when not all blocks reached the file.
        const int64_t held = (size - 60) / jobBlockSize_ * SamplesPerBlock(channels_);
        Put32At(48, RiffSize(std::min(framesIn_, held)));
    }
    Put32At(4, RiffSize(size - 8));
}

void TWaveOut::DoDone()
{
    // The file is closed and the input flushed whatever fails; the first failure is raised
    // afterwards, so the job ends as failed rather than with a header or tail left unwritten.
    std::exception_ptr error;
    if (stream_) {
        // Pending data first: when it cannot be written, the header still gets the sizes of
        // what the file really holds.
        KeepFirstFailure(error, [&] { stream_->Size(); });
        KeepFirstFailure(error, [&] { PatchSizes(); });
        KeepFirstFailure(error, [&] { CloseOutputFile(); });
    }
    if (TACSInput* input = Input())
        KeepFirstFailure(error, [&] { input->Flush(); });
    if (error)
        std::rethrow_exception(error);
}
