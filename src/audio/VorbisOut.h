#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include <QStringList>

#include "audio/ACSFileOut.h"
#include "audio/VorbisApi.h"

/// Encodes its Input (8- or 16-bit PCM, any channel count) into an Ogg Vorbis file, in quality
/// mode (Compression) or with managed bit rates, with user comments and a stream serial.
///
/// The bit-rate setters depend on their order: a maximum set while the nominal is still
/// brAutoSelect is ignored.
///
/// Every job leaves a valid Ogg Vorbis file or none: Done after Pause (a stopped encode), and
/// a job whose input failed, end the stream after the audio encoded so far (end-of-stream page
/// last); when a page could not be written, the file this job created is removed (or one it
/// appended to cut back to its old length) and the job ends as failed. The output may not be
/// the file the input reads.
class TVorbisOut : public TACSFileOut {
public:
    /// Raises "<library file> library could not be loaded." for the first of the four Ogg and
    /// Vorbis libraries that is missing (loading them first if the program has not).
    TVorbisOut();
    ~TVorbisOut() override;

    bool DoOutput(bool abort) override;
    void SetFileMode(TFileOutputMode value) override;

    float Compression() const { return compression_; }
    /// Ignores values outside the encoder's quality range -0.1 .. 1.
    void SetCompression(float value);
    /// Lines "name=value"; each becomes a comment tag. Cleared by Done after every job.
    QStringList Comments() const;
    void SetComments(const QStringList& lines);
    TVorbisBitRate DesiredNominalBitrate() const { return nominal_; }
    /// Stores v; lowers MinimumBitrate to v and raises DesiredMaximumBitrate to v where needed;
    /// brAutoSelect (quality mode) also resets the maximum to brAutoSelect.
    void SetDesiredNominalBitrate(TVorbisBitRate value);
    TVorbisBitRate DesiredMaximumBitrate() const { return maximum_; }
    /// Accepted only when the nominal is not brAutoSelect and v is brAutoSelect or not below it.
    void SetDesiredMaximumBitrate(TVorbisBitRate value);
    TVorbisBitRate MinimumBitrate() const { return minimum_; }
    /// Accepted only when v is not above the nominal.
    void SetMinimumBitrate(TVorbisBitRate value);
    /// The Ogg stream serial of the last job, or the one SetSerial fixed. Until a serial is
    /// fixed, every job draws a fresh random one (never 0), so streams chained into one file or
    /// played one after another are told apart.
    int Serial() const { return serial_.load(); }
    /// Fixes the serial for every later job (ignored while Busy).
    void SetSerial(int value);

    /// Bits per second a choice stands for; -1 for brAutoSelect.
    static int BitrateOf(TVorbisBitRate value);
    struct TManagedRates {
        long maximum;
        long nominal;
        long minimum;
    };
    /// The (maximum, nominal, minimum) a managed-mode job passes to the encoder.
    TManagedRates ManagedRates() const;

    static constexpr int kTransferSize = 65536;

protected:
    void DoPrepare() override;
    void DoDone() override;

private:
    void WritePage(const ogg_page& page);
    /// Ends the stream: the encoder is told the input ended and every page goes out.
    void FinishStream();
    /// Removes (or cuts back) an output that is missing pages.
    void DropOutputFile() noexcept override;
    void SubmitSamples(int64_t bytes);
    void DrainEncoder();
    void ReleaseEncoder() noexcept;

    const TVorbisApi& api_;
    float compression_ = 0.2f;
    mutable std::mutex commentsMutex_; // Done clears the comments on the worker
    QStringList comments_;
    TVorbisBitRate nominal_ = brAutoSelect;
    TVorbisBitRate maximum_ = brAutoSelect;
    TVorbisBitRate minimum_ = brAutoSelect;
    std::atomic<int> serial_{0}; // drawn on the worker when not fixed
    bool serialFixed_ = false;

    // The job's encoder state.
    std::vector<uint8_t> transfer_;
    int64_t carry_ = 0; // bytes of an incomplete frame kept for the next step
    int channels_ = 0;
    int bytesPerSample_ = 2;
    bool eos_ = false;          // the end-of-stream page has been written
    bool endSubmitted_ = false; // the encoder has been told the input ended
    bool encoderOpen_ = false;
    bool writeFailed_ = false; // a page could not be written
    bool appendedTo_ = false;  // FileName existed and is appended to
    int64_t startLength_ = 0;  // its length before this job
    ogg_stream_state os_{};
    ogg_page og_{};
    ogg_packet op_{};
    vorbis_info vi_{};
    vorbis_comment vc_{};
    vorbis_dsp_state vd_{};
    vorbis_block vb_{};
};
