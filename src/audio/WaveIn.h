#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/ACSFileIn.h"
#include "audio/ACSTypes.h"
#include "audio/ImaAdpcm.h"
#include "audio/WaveHeaderWalk.h"

/// Reads a RIFF WAVE file and delivers its audio as interleaved PCM: PCM (8 or 16 bits) as it
/// is; 24- and 32-bit PCM and 32- and 64-bit float (also behind the extensible header) rounded
/// to 16-bit without dither; IMA ADPCM and Microsoft ADPCM decoded to 16-bit; and MPEG audio in
/// WAV (tag 85) converted in memory first (TWaveConverter).
///
/// A file whose format is not supported, or is damaged (zero channels or block align, absurd
/// rates, chunks reaching past the end, ADPCM blocks that would not fit the decode buffer,
/// Microsoft ADPCM coefficient tables over 32 pairs or predictor indexes out of range), is
/// reported through Valid() = false and delivers no data.
class TWaveIn : public TACSFileIn {
public:
    TWaveIn();
    ~TWaveIn() override;

    int64_t GetData(void* buffer, int64_t bufferSize) override;
    void OpenFile() override;
    void CloseFile() override;
    bool Seek(int sampleNum) override;

    /// The format the header walk found (opens the file to find out).
    TWavType WavType();
    /// The file's own format as its header gives it ("format tag 3, 64 bits, 2 channels"), or
    /// what the header lacks; for telling the user why a file is refused.
    std::string FormatDescription();

    static constexpr int kBufferSize = 16384;

private:
    /// Raised when a read ends before bytes the file held at its opening: the file was cut
    /// short meanwhile, and what is left of it is no end of the audio.
    [[noreturn]] void ThrowCutShort() const;
    /// Refills the decode buffer; false at the end of the data.
    bool Refill();
    bool RefillPcm();
    /// Reads the next piece of PCM into the decode buffer (rounding wide samples to 16 bits);
    /// returns the bytes placed there.
    int64_t ReadPcm();
    bool RefillAdpcm();
    void ApplyHeader(const TWaveHeaderInfo& info);
    /// Frames an ADPCM block of `bytes` bytes (at most one block align) decodes to.
    int FramesInBlock(int bytes) const;
    /// Frames an ADPCM data chunk of dataBytes decodes to, a cut last block included.
    int64_t FramesInData(int64_t dataBytes) const;
    void OpenConverted();
    void MarkInvalid();

    std::vector<int16_t> buffer_; // decode buffer: bytes bufStart_..bufEnd_ (1-based) unread
    std::vector<uint8_t> block_;  // one compressed block, or raw wide samples
    TWavType type_ = wtUnsupported;
    TWaveHeaderInfo header_;
    int64_t firstAudioByte_ = 0;
    int64_t dataEnd_ = 0;  // stream offset just past the data chunk's audio
    bool deliver_ = false; // the data can be read (false for unsupported or failed files)
    int wideBytes_ = 0;    // bytes of one file sample rounded to 16 bits, 0 when none are
    // MPEG in WAV: the converted PCM image in memory, with the file stream set aside meanwhile.
    std::unique_ptr<TACSStream> converted_;
    TACSStream* asideStream_ = nullptr;
    std::unique_ptr<TACSStream> asideOwned_;
    bool asideAssigned_ = false;
};
