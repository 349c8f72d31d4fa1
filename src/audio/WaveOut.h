#pragma once

#include <vector>

#include "audio/ACSFileOut.h"
#include "audio/ImaAdpcm.h"
#include "audio/WaveHeaderWalk.h"

/// Writes its Input into a RIFF WAVE file as PCM (the bytes as they come) or IMA ADPCM, and
/// can append to an existing WAV file of the same kind and format.
///
/// A failure to read the input, write the file, rewrite its header sizes or close it ends the
/// job as failed: OnThreadException, never OnDone (see TACSOutput). The file is then left
/// closed with the sizes in its header patched to what it really holds, where that is possible.
/// Header sizes written up front are corrected in Done when the data written turns out
/// different (unknown input size, short input, padded ADPCM).
class TWaveOut : public TACSFileOut {
public:
    TWaveOut();
    ~TWaveOut() override;

    bool DoOutput(bool abort) override;
    void SetFileMode(TFileOutputMode value) override;

    TWavType WavType() const { return wavType_; }
    /// Accepts wtPCM and wtDVIADPCM only, and only while not Busy.
    void SetWavType(TWavType value);
    int BlockSize() const { return blockSize_; }
    /// Bytes per ADPCM block: ignores 0, values that are not a multiple of 4, and any value
    /// while Busy. Stereo blocks use the largest multiple of 8 not above it (at least 8).
    void SetBlockSize(int value);

    static constexpr int kTransferSize = 16384;

protected:
    void DoPrepare() override;
    void DoDone() override;

private:
    [[noreturn]] void FailPrepare(const char* message);
    void WritePcmHeader();
    void WriteImaHeader();
    bool WritePcmStep();
    bool WriteImaStep();
    void PatchSizes();
    void Put32At(int64_t offset, uint32_t value);
    int SamplesPerBlock(int channels) const;

    bool endOfInput_ = false;
    std::vector<uint8_t> transfer_;
    TWavType wavType_ = wtPCM;
    ImaAdpcm::TChannelState left_, right_;
    int blockSize_ = 512;

    // The job: what Prepare found and wrote, and what has been written since.
    TWavType jobType_ = wtPCM;
    int jobBlockSize_ = 512;
    int channels_ = 0;
    int bits_ = 0;
    bool appending_ = false;
    TWaveHeaderInfo existing_;   // the append parse's findings
    int64_t inputSize_ = 0;      // Input.Size when the header was written
    int64_t headerDataSize_ = 0; // data size the fresh header states
    int64_t headerFrames_ = 0;   // frames the fresh ADPCM header's fact chunk states
    int64_t framesIn_ = 0;       // input frames taken into ADPCM blocks (padding excluded)
    std::vector<int16_t> imaIn_;
    std::vector<uint8_t> imaOut_;
};
