#pragma once

#include <exception>
#include <vector>

#include <QStringList>

#include "audio/ACSFileOut.h"

struct OggOpusEnc;

/// Encodes its Input (8- or 16-bit PCM, 1 to 8 channels, any rate) into an Ogg Opus file
/// through libopusenc, in VBR at Bitrate kbit/s. Rates other than 48 kHz are resampled by
/// libopusenc; the stream's pre-skip and end trim make its decoded length the input's.
///
/// Each stream gets a random serial number. A job stopped early (Done after Pause) still ends a
/// valid, shorter stream; a job that fails removes the file it created.
class TOpusOut : public TACSFileOut {
public:
    TOpusOut();
    ~TOpusOut() override;

    bool DoOutput(bool abort) override;

    int Bitrate() const { return kbps_; }
    /// Kbit/s, clamped to 6..512.
    void SetBitrate(int kbps);
    /// Lines "name=value" written as the stream's comments. Cleared by Done after every job.
    QStringList Comments() const { return comments_; }
    void SetComments(const QStringList& lines);

    static constexpr int kMinBitrate = 6;
    static constexpr int kMaxBitrate = 512;
    static constexpr int kTransferSize = 65536;

protected:
    void DoPrepare() override;
    void DoDone() override;

private:
    friend struct TOpusCallbacks;
    [[noreturn]] void RaiseEncoderError(int code);
    void Submit(int64_t bytes);
    void ReleaseEncoder() noexcept;

    int kbps_ = 160;
    QStringList comments_; // read by Prepare on the owner's thread, cleared by Done

    OggOpusEnc* encoder_ = nullptr;
    std::vector<uint8_t> transfer_;
    std::vector<int16_t> samples_;
    int64_t carry_ = 0;
    int channels_ = 0;
    int bytesPerSample_ = 2;
    bool ended_ = false;
    bool encodeFailed_ = false;
    bool wroteAudio_ = false; // libopusenc was given a sample in this job
    std::exception_ptr writeError_;
};
