#pragma once

#include <cstdint>
#include <exception>
#include <vector>

#include "audio/ACSFileOut.h"

#include <FLAC/stream_encoder.h>

/// Encodes its Input (8- or 16-bit PCM, 1 to 8 channels) into a FLAC file through libFLAC.
///
/// The output is lossless: decoding it gives the input's samples bit for bit. With Verify on,
/// libFLAC decodes every frame it writes and compares it with the input; a difference fails the
/// job. A job stopped early (Done after Pause) still finishes a valid, shorter stream; a job
/// that fails removes the file it created. The stream carries padding after its metadata, as
/// the flac tool's files do, so tags are written in place rather than by rewriting the file.
class TFlacOut : public TACSFileOut {
public:
    TFlacOut();
    ~TFlacOut() override;

    bool DoOutput(bool abort) override;

    int CompressionLevel() const { return level_; }
    /// Ignores values outside 0..8.
    void SetCompressionLevel(int value);
    bool Verify() const { return verify_; }
    void SetVerify(bool value);

    static constexpr int kTransferSize = 65536;
    /// Room for tags after the metadata, as much as the flac tool leaves.
    static constexpr uint32_t kPaddingBytes = 8192;

protected:
    void DoPrepare() override;
    void DoDone() override;

private:
    friend struct TFlacCallbacks;
    /// Raises the first write error the callbacks kept, else the encoder's own state.
    [[noreturn]] void RaiseEncoderError();
    void Submit(int64_t bytes);
    void ReleaseEncoder() noexcept;

    int level_ = 5;
    bool verify_ = true;

    FLAC__StreamEncoder* encoder_ = nullptr;
    FLAC__StreamMetadata* padding_ = nullptr; // kept until the encoder is finished
    std::vector<uint8_t> transfer_;
    std::vector<int32_t> samples_;
    int64_t carry_ = 0;
    int channels_ = 0;
    int bytesPerSample_ = 2;
    bool ended_ = false;
    bool encodeFailed_ = false;     // a write or the encoder failed: the file is incomplete
    std::exception_ptr writeError_; // kept by a callback, raised after libFLAC returns
};
