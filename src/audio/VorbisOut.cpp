#include "audio/VorbisOut.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <random>

#include <unistd.h>

#include <QFile>

#include "audio/ACSException.h"
#include "core/FileUtil.h"

namespace {

constexpr int kBitrates[] = {-1,     45000,  48000,  56000,  64000,  80000,  96000,  112000,
                             128000, 144000, 160000, 192000, 224000, 256000, 320000, 499000};

const TVorbisApi& RequireLibraries()
{
    if (!VorbisLibrariesAttempted())
        LoadVorbisLibraries();
    if (!VorbisLibrariesLoaded())
        throw EACSException(VorbisLibraryError());
    return VorbisApi();
}

int RandomSerial()
{
    // Serial 0 is legal but flagged by checking tools; one in 2^32 draws is cheap to avoid.
    std::random_device device;
    uint32_t serial = 0;
    while (serial == 0)
        serial = device();
    return static_cast<int>(serial);
}

} // namespace

TVorbisOut::TVorbisOut() : api_(RequireLibraries()) {}

TVorbisOut::~TVorbisOut()
{
    ShutdownWorker();
    ReleaseEncoder();
}

int TVorbisOut::BitrateOf(TVorbisBitRate value)
{
    return value <= br499 ? kBitrates[value] : -1;
}

void TVorbisOut::SetFileMode(TFileOutputMode value)
{
    if (!Busy())
        fileMode_ = value;
}

void TVorbisOut::SetCompression(float value)
{
    // The encoder's quality scale runs from -0.1 to 1.
    if (!Busy() && value >= -0.1f && value <= 1.0f)
        compression_ = value;
}

QStringList TVorbisOut::Comments() const
{
    std::lock_guard lock(commentsMutex_);
    return comments_;
}

void TVorbisOut::SetComments(const QStringList& lines)
{
    if (Busy())
        return;
    std::lock_guard lock(commentsMutex_);
    comments_ = lines;
}

void TVorbisOut::SetDesiredNominalBitrate(TVorbisBitRate value)
{
    if (Busy() || value > br499)
        return;
    nominal_ = value;
    if (value < minimum_)
        minimum_ = value;
    if (maximum_ < value)
        maximum_ = value;
    if (value == brAutoSelect)
        maximum_ = brAutoSelect;
}

void TVorbisOut::SetDesiredMaximumBitrate(TVorbisBitRate value)
{
    if (Busy() || value > br499)
        return;
    if (nominal_ != brAutoSelect && (value == brAutoSelect || value >= nominal_))
        maximum_ = value;
}

void TVorbisOut::SetMinimumBitrate(TVorbisBitRate value)
{
    if (Busy() || value > br499)
        return;
    if (value <= nominal_)
        minimum_ = value;
}

void TVorbisOut::SetSerial(int value)
{
    if (!Busy()) {
        serial_.store(value);
        serialFixed_ = true;
    }
}

TVorbisOut::TManagedRates TVorbisOut::ManagedRates() const
{
    const long nominal = BitrateOf(nominal_);
    const long maximum = std::max<long>(BitrateOf(maximum_), nominal);
    const long minimum = minimum_ == brAutoSelect ? nominal : BitrateOf(minimum_);
    return {maximum, nominal, minimum};
}

void TVorbisOut::WritePage(const ogg_page& page)
{
    try {
        stream_->Write(page.header, page.header_len);
        stream_->Write(page.body, page.body_len);
    } catch (...) {
        writeFailed_ = true; // a page is missing: the stream cannot be finished any more
        throw;
    }
}

void TVorbisOut::DoPrepare()
{
    TACSInput* input = Input();
    if (!input)
        throw EACSException("Input is not assigned");
    // The input and the encoder first: a job that cannot start must not cost an existing
    // output file its content.
    outputOpened_ = false;
    input->Init();
    bool infoOpen = false;
    try {
        channels_ = input->Channels();
        const int bits = input->BitsPerSample();
        bytesPerSample_ = bits == 8 ? 1 : 2;
        const long rate = input->SampleRate();
        eos_ = false;
        endSubmitted_ = false;
        carry_ = 0;
        transfer_.assign(kTransferSize, 0);

        // An encoder the library refuses to set up (no channels, an odd rate, a bit rate it
        // cannot reach) is reported, never used half-initialised.
        bool accepted = channels_ >= 1 && (bits == 8 || bits == 16) && rate > 0;
        api_.vorbis_info_init(&vi_);
        infoOpen = true;
        if (accepted) {
            if (nominal_ != brAutoSelect) {
                const TManagedRates r = ManagedRates();
                accepted = api_.vorbis_encode_init(&vi_, channels_, rate, r.maximum, r.nominal,
                                                   r.minimum) == 0;
            } else {
                accepted = api_.vorbis_encode_init_vbr(&vi_, channels_, rate, compression_) == 0;
            }
        }
        if (!accepted)
            throw EACSException("Cannot encode this audio format into Ogg Vorbis.");

        writeFailed_ = false;
        appendedTo_ = fileMode_ == foAppend && FileExists(FileName());
        OpenOutputFile();
        outputOpened_ = !streamAssigned_;
        startLength_ = 0;
        if (fileMode_ == foAppend) {
            startLength_ = stream_->Size();
            stream_->Seek(startLength_);
        }

        api_.vorbis_comment_init(&vc_);
        for (const QString& line : Comments()) {
            // Each line gives its own value, so repeated names keep all of theirs.
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq <= 0)
                continue;
            api_.vorbis_comment_add_tag(&vc_, line.left(eq).toUtf8().constData(),
                                        line.mid(eq + 1).toUtf8().constData());
        }
        api_.vorbis_analysis_init(&vd_, &vi_);
        api_.vorbis_block_init(&vd_, &vb_);
        if (!serialFixed_)
            serial_.store(RandomSerial());
        api_.ogg_stream_init(&os_, serial_.load());
        encoderOpen_ = true;
        infoOpen = false;

        ogg_packet header, comment, codebooks;
        api_.vorbis_analysis_headerout(&vd_, &vc_, &header, &comment, &codebooks);
        api_.ogg_stream_packetin(&os_, &header);
        api_.ogg_stream_packetin(&os_, &comment);
        api_.ogg_stream_packetin(&os_, &codebooks);
        while (api_.ogg_stream_flush(&os_, &og_) != 0)
            WritePage(og_);
    } catch (...) {
        if (infoOpen)
            api_.vorbis_info_clear(&vi_);
        ReleaseEncoder();
        // Opened but without its headers: not a file anyone can play.
        AbandonPreparedOutput();
        throw;
    }
}

bool TVorbisOut::DoOutput(bool abort)
{
    switch (BeginStep(abort, eos_)) {
    case TStepStart::Idle:
        return true;
    case TStepStart::End:
        return false;
    case TStepStart::Proceed:
        break;
    }
    bool ended = false;
    SubmitSamples(FillFromInput(transfer_.data(), carry_, kTransferSize, ended));
    if (ended)
        FinishStream();
    else
        DrainEncoder();
    return true;
}

void TVorbisOut::FinishStream()
{
    if (!endSubmitted_) {
        api_.vorbis_analysis_wrote(&vd_, 0);
        endSubmitted_ = true;
    }
    DrainEncoder();
    // Whatever the stream still holds goes out now, the end-of-stream page last.
    if (!eos_) {
        while (api_.ogg_stream_flush(&os_, &og_) != 0)
            WritePage(og_);
        eos_ = true;
    }
}

void TVorbisOut::DropOutputFile() noexcept
{
    if (!outputOpened_)
        return;
    outputOpened_ = false;
    // Only what this job wrote goes: a file it created is removed, one it appended to is cut
    // back to the length it had.
    const QByteArray path = QFile::encodeName(FileName());
    if (appendedTo_) {
        if (::truncate(path.constData(), static_cast<off_t>(startLength_)) != 0) {
            // Nothing more can be done; the job reports its error anyway.
        }
    } else {
        ::unlink(path.constData());
    }
}

void TVorbisOut::SubmitSamples(int64_t bytes)
{
    const int frameBytes = channels_ * bytesPerSample_;
    const int64_t frames = bytes / frameBytes;
    carry_ = bytes - frames * frameBytes;
    if (frames > 0) {
        float** buffer = api_.vorbis_analysis_buffer(&vd_, static_cast<int>(frames));
        if (bytesPerSample_ == 2) {
            const auto* in = reinterpret_cast<const uint8_t*>(transfer_.data());
            if (channels_ == 2) {
                float* l = buffer[0];
                float* r = buffer[1];
                for (int64_t i = 0; i < frames; ++i) {
                    int16_t s[2];
                    std::memcpy(s, in + 4 * i, 4);
                    l[i] = s[0] / 32768.f;
                    r[i] = s[1] / 32768.f;
                }
            } else {
                for (int c = 0; c < channels_; ++c) {
                    float* out = buffer[c];
                    for (int64_t i = 0; i < frames; ++i) {
                        int16_t s;
                        std::memcpy(&s, in + 2 * (i * channels_ + c), 2);
                        out[i] = s / 32768.f;
                    }
                }
            }
        } else {
            for (int c = 0; c < channels_; ++c) {
                float* out = buffer[c];
                for (int64_t i = 0; i < frames; ++i)
                    out[i] = (transfer_[static_cast<size_t>(i * channels_ + c)] - 128) / 128.f;
            }
        }
        api_.vorbis_analysis_wrote(&vd_, static_cast<int>(frames));
    }
    if (carry_ > 0)
        std::memmove(transfer_.data(), transfer_.data() + frames * frameBytes,
                     static_cast<size_t>(carry_));
}

void TVorbisOut::DrainEncoder()
{
    while (api_.vorbis_analysis_blockout(&vd_, &vb_) == 1) {
        api_.vorbis_analysis(&vb_, nullptr);
        api_.vorbis_bitrate_addblock(&vb_);
        while (api_.vorbis_bitrate_flushpacket(&vd_, &op_)) {
            api_.ogg_stream_packetin(&os_, &op_);
            while (!eos_) {
                if (api_.ogg_stream_pageout(&os_, &og_) == 0)
                    break;
                WritePage(og_);
                if (api_.ogg_page_eos(&og_))
                    eos_ = true;
            }
        }
    }
}

void TVorbisOut::ReleaseEncoder() noexcept
{
    if (!encoderOpen_)
        return;
    encoderOpen_ = false;
    api_.ogg_stream_clear(&os_);
    api_.vorbis_block_clear(&vb_);
    api_.vorbis_dsp_clear(&vd_);
    api_.vorbis_comment_clear(&vc_);
    api_.vorbis_info_clear(&vi_);
}

void TVorbisOut::DoDone()
{
    struct Cleanup {
        TVorbisOut* self;
        ~Cleanup()
        {
            {
                std::lock_guard lock(self->commentsMutex_);
                self->comments_.clear();
            }
            self->ReleaseEncoder();
            self->outputOpened_ = false;
        }
    } cleanup{this};
    // A job stopped early, or one whose input failed, still ends its stream: players take an
    // Ogg file without its end-of-stream page for a broken one. A file that is missing a page
    // cannot be mended and is dropped instead.
    std::exception_ptr error;
    if (encoderOpen_ && stream_ && !writeFailed_)
        KeepFirstFailure(error, [&] { FinishStream(); });
    if (!KeepFirstFailure(error, [&] { CloseOutputFile(); }))
        writeFailed_ = true;
    if (writeFailed_)
        DropOutputFile();
    if (TACSInput* input = Input())
        KeepFirstFailure(error, [&] { input->Flush(); });
    if (error)
        std::rethrow_exception(error);
}
