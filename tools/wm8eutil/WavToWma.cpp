#include "WavToWma.h"

#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputCloser {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb != nullptr)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct SwrCloser {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct FifoCloser {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

class Encoder {
public:
    Encoder(const WavToWmaJob& job, const std::function<void(int)>& progress,
            const volatile std::sig_atomic_t& abort)
        : job_(job), progress_(progress), abort_(abort)
    {
    }
    ~Encoder() { av_channel_layout_uninit(&outLayout_); }

    bool Run(std::string& reason)
    {
        const bool ok = OpenInput(reason) && OpenEncoder(reason) && OpenOutput(reason) &&
                        Convert(reason) && Finish(reason);
        if (!ok && createdOutput_) {
            out_.reset(); // closes the file before it goes
            std::remove(job_.Output.c_str());
        }
        return ok;
    }

private:
    bool Fail(std::string& reason, const std::string& what, int code = 0)
    {
        reason = code != 0 ? what + ": " + AvError(code) : what;
        return false;
    }

    bool OpenInput(std::string& reason)
    {
        AVFormatContext* in = nullptr;
        int rc = avformat_open_input(&in, job_.Input.c_str(), nullptr, nullptr);
        if (rc < 0)
            return Fail(reason, "cannot open input file \"" + job_.Input + "\"", rc);
        in_.reset(in);
        rc = avformat_find_stream_info(in, nullptr);
        if (rc < 0)
            return Fail(reason, "cannot read input file \"" + job_.Input + "\"", rc);
        const AVCodec* codec = nullptr;
        streamIndex_ = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (streamIndex_ < 0 || codec == nullptr)
            return Fail(reason, "no readable audio in input file \"" + job_.Input + "\"");
        dec_.reset(avcodec_alloc_context3(codec));
        if (!dec_)
            return Fail(reason, "out of memory");
        rc = avcodec_parameters_to_context(dec_.get(), in->streams[streamIndex_]->codecpar);
        if (rc >= 0)
            rc = avcodec_open2(dec_.get(), codec, nullptr);
        if (rc < 0)
            return Fail(reason, "cannot decode input file \"" + job_.Input + "\"", rc);
        if (dec_->ch_layout.nb_channels <= 0 || dec_->sample_rate <= 0)
            return Fail(reason, "input file \"" + job_.Input + "\" has no valid audio format");
        if (dec_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            const int n = dec_->ch_layout.nb_channels;
            av_channel_layout_uninit(&dec_->ch_layout);
            av_channel_layout_default(&dec_->ch_layout, n);
        }
        // A PCM file cut mid-frame ends in a piece of a frame, which the decoder refuses
        // outright: only whole frames are decoded, as the program's own reader does.
        const AVCodecParameters* par = in->streams[streamIndex_]->codecpar;
        if (par->codec_id >= AV_CODEC_ID_FIRST_AUDIO && par->codec_id < AV_CODEC_ID_ADPCM_IMA_QT)
            pcmFrameBytes_ = par->block_align;
        inputSize_ = avio_size(in->pb);
        return true;
    }

    bool OpenEncoder(std::string& reason)
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (codec == nullptr)
            return Fail(reason, "the wmav2 encoder is not available");
        enc_.reset(avcodec_alloc_context3(codec));
        if (!enc_)
            return Fail(reason, "out of memory");
        av_channel_layout_default(&outLayout_, job_.Setting.Channels);
        enc_->sample_fmt =
            codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        enc_->sample_rate = job_.Setting.SampleRate;
        av_channel_layout_copy(&enc_->ch_layout, &outLayout_);
        enc_->bit_rate = job_.Setting.BitRate;
        enc_->time_base = AVRational{1, job_.Setting.SampleRate};
        // The ASF muxer wants the codec's extra data in its header.
        enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int rc = avcodec_open2(enc_.get(), codec, nullptr);
        if (rc < 0)
            return Fail(reason, "cannot set up the encoder", rc);

        SwrContext* swr = nullptr;
        int src =
            swr_alloc_set_opts2(&swr, &outLayout_, enc_->sample_fmt, enc_->sample_rate,
                                &dec_->ch_layout, dec_->sample_fmt, dec_->sample_rate, 0, nullptr);
        swr_.reset(swr);
        // The resampler's own mix puts a mono source into stereo 3 dB down and sums stereo into
        // mono 3 dB up (clipping a loud one). Mono is copied to both sides, stereo averaged;
        // other layouts are mixed so that no output can exceed full scale.
        const int inChannels = dec_->ch_layout.nb_channels;
        if (src >= 0 && inChannels == 1 && job_.Setting.Channels == 2) {
            const double both[2] = {1.0, 1.0};
            src = swr_set_matrix(swr, both, 1);
        } else if (src >= 0 && inChannels == 2 && job_.Setting.Channels == 1) {
            const double average[2] = {0.5, 0.5};
            src = swr_set_matrix(swr, average, 2);
        } else if (src >= 0 && inChannels != job_.Setting.Channels) {
            src = av_opt_set_double(swr, "rematrix_maxval", 1.0, 0);
        }
        if (src >= 0)
            src = swr_init(swr);
        if (src < 0)
            return Fail(reason, "cannot set up the resampler", src);
        fifo_.reset(av_audio_fifo_alloc(enc_->sample_fmt, job_.Setting.Channels, enc_->frame_size));
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!fifo_ || !frame_ || !packet_)
            return Fail(reason, "out of memory");
        // The decoder's first frame only primes its overlap and is never heard: a frame of
        // silence takes that place, so the first frame of the input is not lost.
        uint8_t** silence = nullptr;
        if (av_samples_alloc_array_and_samples(&silence, nullptr, job_.Setting.Channels,
                                               enc_->frame_size, enc_->sample_fmt, 0) < 0)
            return Fail(reason, "out of memory");
        av_samples_set_silence(silence, 0, enc_->frame_size, job_.Setting.Channels,
                               enc_->sample_fmt);
        const int written =
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(silence), enc_->frame_size);
        av_freep(&silence[0]);
        av_freep(&silence);
        if (written < enc_->frame_size)
            return Fail(reason, "out of memory");
        return true;
    }

    bool OpenOutput(std::string& reason)
    {
        AVFormatContext* out = nullptr;
        int rc = avformat_alloc_output_context2(&out, nullptr, "asf", job_.Output.c_str());
        if (rc < 0 || out == nullptr)
            return Fail(reason, "cannot set up the output", rc);
        out_.reset(out);
        AVStream* st = avformat_new_stream(out, nullptr);
        if (st == nullptr)
            return Fail(reason, "out of memory");
        rc = avcodec_parameters_from_context(st->codecpar, enc_.get());
        if (rc < 0)
            return Fail(reason, "cannot set up the output", rc);
        st->time_base = enc_->time_base;
        if (!job_.Author.empty())
            av_dict_set(&out->metadata, "author", job_.Author.c_str(), 0);
        if (!job_.Description.empty())
            av_dict_set(&out->metadata, "comment", job_.Description.c_str(), 0);
        rc = avio_open(&out->pb, job_.Output.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0)
            return Fail(reason, "cannot create output file \"" + job_.Output + "\"", rc);
        createdOutput_ = true;
        rc = avformat_write_header(out, nullptr);
        if (rc < 0)
            return Fail(reason, "cannot write output file \"" + job_.Output + "\"", rc);
        outStream_ = st;
        return true;
    }

    bool Convert(std::string& reason)
    {
        std::unique_ptr<AVPacket, PacketCloser> in(av_packet_alloc());
        std::unique_ptr<AVFrame, FrameCloser> decoded(av_frame_alloc());
        if (!in || !decoded)
            return Fail(reason, "out of memory");
        for (;;) {
            if (abort_)
                return Fail(reason, "interrupted");
            const int rc = av_read_frame(in_.get(), in.get());
            if (rc == AVERROR_EOF)
                break;
            if (rc < 0)
                return Fail(reason, "cannot read input file \"" + job_.Input + "\"", rc);
            const bool ours = in->stream_index == streamIndex_;
            if (ours && pcmFrameBytes_ > 0)
                in->size -= in->size % pcmFrameBytes_;
            const int sent = ours && in->size > 0 ? avcodec_send_packet(dec_.get(), in.get()) : 0;
            av_packet_unref(in.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                return Fail(reason, "cannot decode input file \"" + job_.Input + "\"", sent);
            if (ours && !Drain(decoded.get(), reason))
                return false;
            ReportProgress();
        }
        avcodec_send_packet(dec_.get(), nullptr);
        if (!Drain(decoded.get(), reason))
            return false;
        // What the resampler still holds.
        if (!Resample(nullptr, 0, reason))
            return false;
        return EncodeFromFifo(true, reason);
    }

    bool Drain(AVFrame* decoded, std::string& reason)
    {
        for (;;) {
            const int rc = avcodec_receive_frame(dec_.get(), decoded);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return true;
            if (rc < 0)
                return Fail(reason, "cannot decode input file \"" + job_.Input + "\"", rc);
            const bool ok = Resample(const_cast<const uint8_t**>(decoded->extended_data),
                                     decoded->nb_samples, reason) &&
                            EncodeFromFifo(false, reason);
            av_frame_unref(decoded);
            if (!ok)
                return false;
        }
    }

    bool Resample(const uint8_t** data, int samples, std::string& reason)
    {
        const int64_t room = swr_get_out_samples(swr_.get(), samples);
        if (room < 0)
            return Fail(reason, "cannot resample", static_cast<int>(room));
        if (room == 0)
            return true;
        uint8_t** buffer = nullptr;
        int rc = av_samples_alloc_array_and_samples(&buffer, nullptr, job_.Setting.Channels,
                                                    static_cast<int>(room), enc_->sample_fmt, 0);
        if (rc < 0)
            return Fail(reason, "out of memory");
        const int got = swr_convert(swr_.get(), buffer, static_cast<int>(room), data, samples);
        if (got > 0 &&
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(buffer), got) < got)
            rc = AVERROR(ENOMEM);
        av_freep(&buffer[0]);
        av_freep(&buffer);
        if (got < 0)
            return Fail(reason, "cannot resample", got);
        if (rc < 0)
            return Fail(reason, "out of memory");
        return true;
    }

    bool EncodeFromFifo(bool last, std::string& reason)
    {
        const int frameSize = enc_->frame_size;
        while (av_audio_fifo_size(fifo_.get()) >= frameSize ||
               (last && av_audio_fifo_size(fifo_.get()) > 0)) {
            const int n = std::min(av_audio_fifo_size(fifo_.get()), frameSize);
            av_frame_unref(frame_.get());
            frame_->nb_samples = n;
            frame_->format = enc_->sample_fmt;
            frame_->sample_rate = enc_->sample_rate;
            av_channel_layout_copy(&frame_->ch_layout, &enc_->ch_layout);
            int rc = av_frame_get_buffer(frame_.get(), 0);
            if (rc < 0)
                return Fail(reason, "out of memory");
            if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), n) < n)
                return Fail(reason, "internal buffer error");
            frame_->pts = pts_;
            pts_ += n;
            rc = avcodec_send_frame(enc_.get(), frame_.get());
            if (rc < 0)
                return Fail(reason, "cannot encode", rc);
            if (!WritePackets(reason))
                return false;
        }
        return true;
    }

    bool WritePackets(std::string& reason)
    {
        for (;;) {
            int rc = avcodec_receive_packet(enc_.get(), packet_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return true;
            if (rc < 0)
                return Fail(reason, "cannot encode", rc);
            av_packet_rescale_ts(packet_.get(), enc_->time_base, outStream_->time_base);
            packet_->stream_index = outStream_->index;
            rc = av_interleaved_write_frame(out_.get(), packet_.get());
            if (rc < 0)
                return Fail(reason, "cannot write output file \"" + job_.Output + "\"", rc);
        }
    }

    bool Finish(std::string& reason)
    {
        if (abort_)
            return Fail(reason, "interrupted");
        int rc = avcodec_send_frame(enc_.get(), nullptr);
        if (rc < 0)
            return Fail(reason, "cannot encode", rc);
        if (!WritePackets(reason))
            return false;
        rc = av_write_trailer(out_.get());
        if (rc < 0)
            return Fail(reason, "cannot write output file \"" + job_.Output + "\"", rc);
        rc = avio_closep(&out_->pb);
        if (rc < 0)
            return Fail(reason, "cannot write output file \"" + job_.Output + "\"", rc);
        return true;
    }

    void ReportProgress()
    {
        if (inputSize_ <= 0)
            return;
        const int64_t at = avio_tell(in_->pb);
        const int percent = static_cast<int>(std::min<int64_t>(99, at * 100 / inputSize_));
        if (percent > lastPercent_) {
            lastPercent_ = percent;
            progress_(percent);
        }
    }

    const WavToWmaJob& job_;
    const std::function<void(int)>& progress_;
    const volatile std::sig_atomic_t& abort_;
    std::unique_ptr<AVFormatContext, InputCloser> in_;
    std::unique_ptr<AVCodecContext, CodecCloser> dec_;
    std::unique_ptr<AVCodecContext, CodecCloser> enc_;
    std::unique_ptr<SwrContext, SwrCloser> swr_;
    std::unique_ptr<AVAudioFifo, FifoCloser> fifo_;
    std::unique_ptr<AVFrame, FrameCloser> frame_;
    std::unique_ptr<AVPacket, PacketCloser> packet_;
    std::unique_ptr<AVFormatContext, OutputCloser> out_;
    AVChannelLayout outLayout_{};
    AVStream* outStream_ = nullptr;
    int streamIndex_ = -1;
    int pcmFrameBytes_ = 0; ///< a PCM input's frame size: packets are cut to whole frames
    int64_t inputSize_ = 0;
    int64_t pts_ = 0;
    int lastPercent_ = -1;
    bool createdOutput_ = false;
};

} // namespace

bool EncodeWavToWma(const WavToWmaJob& job, const std::function<void(int)>& progress,
                    const volatile std::sig_atomic_t& abort, std::string& reason)
{
    Encoder encoder(job, progress, abort);
    return encoder.Run(reason);
}
