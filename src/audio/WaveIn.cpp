#include "audio/WaveIn.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/ACSException.h"
#include "audio/ACSFileStream.h"
#include "audio/ACSMemoryStream.h"
#include "audio/ByteOrder.h"
#include "audio/MsAdpcm.h"
#include "audio/WaveConverter.h"

namespace {

constexpr uint32_t kMaxSampleRate = 1000000;

int16_t Clamp16(int64_t v)
{
    return static_cast<int16_t>(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

/// A wider integer sample to 16 bits: the dropped low bits round half to even.
int16_t FromWide(int32_t v, int shift)
{
    const int64_t q = static_cast<int64_t>(v) >> shift;
    const int64_t rest = static_cast<int64_t>(v) - (q << shift);
    const int64_t half = int64_t{1} << (shift - 1);
    return Clamp16(q + (rest > half || (rest == half && (q & 1)) ? 1 : 0));
}

/// Full scale is +-1.0; NaN carries no level and becomes silence, infinities clip.
int16_t FromFloat(double x)
{
    if (std::isnan(x))
        return 0;
    const double scaled = x * 32768.0;
    if (scaled >= INT16_MAX)
        return INT16_MAX;
    if (scaled <= INT16_MIN)
        return INT16_MIN;
    return static_cast<int16_t>(std::nearbyint(scaled)); // round-to-nearest-even by default
}

/// count samples of sampleBytes each, PCM or float, to 16 bits.
void Narrow(const uint8_t* in, int64_t count, int sampleBytes, bool isFloat, int16_t* out)
{
    for (int64_t i = 0; i < count; ++i, in += sampleBytes) {
        if (isFloat && sampleBytes == 8) {
            uint64_t bits =
                static_cast<uint64_t>(GetLE32(in)) | (static_cast<uint64_t>(GetLE32(in + 4)) << 32);
            double d;
            std::memcpy(&d, &bits, sizeof d);
            out[i] = FromFloat(d);
        } else if (isFloat) {
            const uint32_t bits = GetLE32(in);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            out[i] = FromFloat(f);
        } else if (sampleBytes == 3) {
            // Sign-extend the 24-bit value through the top of a 32-bit word.
            const auto v = static_cast<int32_t>((static_cast<uint32_t>(in[0]) << 8) |
                                                (static_cast<uint32_t>(in[1]) << 16) |
                                                (static_cast<uint32_t>(in[2]) << 24));
            out[i] = FromWide(v >> 8, 8);
        } else {
            out[i] = FromWide(static_cast<int32_t>(GetLE32(in)), 16);
        }
    }
}

} // namespace

TWaveIn::TWaveIn() : buffer_(kBufferSize / 2) {}

TWaveIn::~TWaveIn()
{
    NotifyRemoval();
    std::lock_guard lock(openMutex_);
    while (openCount_ > 0)
        CloseFile();
}

TWavType TWaveIn::WavType()
{
    return WithOpenFile([this] { return type_; });
}

std::string TWaveIn::FormatDescription()
{
    return WithOpenFile([this] { return DescribeWaveFormat(header_); });
}

void TWaveIn::MarkInvalid()
{
    valid_ = false;
    deliver_ = false;
    SetSize(0);
    totalSamples_ = 0;
}

void TWaveIn::ApplyHeader(const TWaveHeaderInfo& info)
{
    header_ = info;
    type_ = info.found ? info.type : wtUnsupported;
    channels_ = info.channels;
    sampleRate_ = static_cast<int>(std::min<uint32_t>(info.sampleRate, INT32_MAX));
    bits_ = info.bitsPerSample;
    firstAudioByte_ = info.firstAudioByte;
    deliver_ = type_ != wtUnsupported;
    wideBytes_ = 0;
    totalSamples_ = 0;
    if (type_ == wtUnsupported || info.channels == 0 || info.blockAlign == 0 ||
        info.sampleRate == 0 || info.sampleRate > kMaxSampleRate) {
        type_ = wtUnsupported;
        MarkInvalid();
        return;
    }
    // The data chunk holds what the file holds, whatever its size field claims; nothing after
    // it (a pad byte, the next chunk) is ever decoded.
    const int64_t available = std::max<int64_t>(stream_->Size() - info.firstAudioByte, 0);
    const int64_t dataBytes = std::min<int64_t>(info.dataSize, available);
    dataEnd_ = info.firstAudioByte + dataBytes;

    switch (type_) {
    case wtPCM:
    case wtFloat: {
        if (type_ == wtPCM && (bits_ == 8 || bits_ == 16)) {
            SetSize(dataBytes);
            totalSamples_ = dataBytes / ((bits_ / 8) * channels_);
            break;
        }
        const bool wide = type_ == wtPCM ? bits_ == 24 || bits_ == 32 : bits_ == 32 || bits_ == 64;
        // One refill must hold at least one whole frame.
        if (!wide || channels_ * 2 > kBufferSize) {
            MarkInvalid();
            return;
        }
        // Delivered as 16-bit: only whole frames count, a cut last frame is dropped.
        wideBytes_ = bits_ / 8;
        bits_ = 16;
        totalSamples_ = dataBytes / (static_cast<int64_t>(wideBytes_) * channels_);
        dataEnd_ = info.firstAudioByte + totalSamples_ * wideBytes_ * channels_;
        SetSize(totalSamples_ * channels_ * 2);
        break;
    }
    case wtACM:
        break;
    case wtDVIADPCM: {
        const int ba = info.blockAlign;
        const bool fits = channels_ == 1
                              ? ba >= 4 && ImaAdpcm::MonoSamplesPerBlock(ba) * 2 <= kBufferSize
                              : channels_ == 2 && ba >= 8 && (ba - 8) % 8 == 0 &&
                                    ImaAdpcm::StereoFramesPerBlock(ba) * 4 <= kBufferSize;
        if (!fits || info.samplesPerBlock == 0) {
            type_ = wtUnsupported;
            MarkInvalid();
            return;
        }
        // A 3-bit (or other) IMA file is flagged but, as a 4-bit one, still decoded.
        if (bits_ != 4)
            valid_ = false;
        bits_ = 16;
        totalSamples_ = std::min<int64_t>(info.factValue, FramesInData(dataBytes));
        SetSize(channels_ * totalSamples_ * 2);
        break;
    }
    case wtMSADPCM: {
        const int ba = info.blockAlign;
        const int spb = info.samplesPerBlock;
        const int frames = MsAdpcm::FramesPerBlock(channels_, spb);
        const int codeBytes = channels_ == 1 ? (spb - 2) / 2 : spb - 2;
        const bool fits = (channels_ == 1 || channels_ == 2) && spb >= 2 &&
                          ba >= MsAdpcm::HeaderBytes(channels_) + codeBytes &&
                          frames * channels_ * 2 <= kBufferSize && info.coefsFit &&
                          info.coefCount >= 1;
        if (!fits) {
            type_ = wtUnsupported;
            MarkInvalid();
            return;
        }
        bits_ = 16;
        totalSamples_ = std::min<int64_t>(info.factValue, FramesInData(dataBytes));
        SetSize(channels_ * totalSamples_ * 2);
        break;
    }
    default:
        break;
    }
}

int TWaveIn::FramesInBlock(int bytes) const
{
    const int ba = header_.blockAlign;
    if (type_ == wtDVIADPCM) {
        if (channels_ == 1) {
            if (bytes < 4)
                return 0;
            // A cut block keeps only whole 4-byte words of codes (8 samples each), as other
            // decoders read it.
            return bytes >= ba ? ImaAdpcm::MonoSamplesPerBlock(ba) : 1 + 8 * ((bytes - 4) / 4);
        }
        return bytes < 8 ? 0 : 1 + 8 * ((std::min(bytes, ba) - 8) / 8);
    }
    const int spb = header_.samplesPerBlock;
    if (channels_ == 1)
        return bytes < 7 ? 0 : 2 + 2 * std::min((spb - 2) / 2, bytes - 7);
    return bytes < 14 ? 0 : 2 + std::min(spb - 2, bytes - 14);
}

int64_t TWaveIn::FramesInData(int64_t dataBytes) const
{
    const int ba = header_.blockAlign;
    return dataBytes / ba * FramesInBlock(ba) + FramesInBlock(static_cast<int>(dataBytes % ba));
}

void TWaveIn::OpenFile()
{
    std::lock_guard lock(openMutex_);
    if (openCount_ == 0) {
        valid_ = true;
        type_ = wtUnsupported;
        if (!streamAssigned_) {
            ownedStream_ = TACSFileStream::Open(FileName(), TACSFileStream::Mode::Read);
            stream_ = ownedStream_.get();
        }
        stream_->Seek(0);
        ApplyHeader(WalkWaveHeader(*stream_, TWaveWalkMode::Reader));
        if (type_ == wtACM)
            OpenConverted();
    }
    ++openCount_;
}

void TWaveIn::OpenConverted()
{
    TWaveConverter converter;
    stream_->Seek(0);
    converter.ReadWaveFile(*stream_);
    converter.TargetFormat[0] = 1;
    converter.TargetFormat[1] = 0;
    if (converter.SuggestFormat() != 0 || converter.ConvertFormat() != 0) {
        MarkInvalid();
        return;
    }
    auto image = std::make_unique<TACSMemoryStream>();
    if (converter.WriteWaveImage(*image) != 0) {
        MarkInvalid();
        return;
    }
    // The image stands in for the file until CloseFile puts the file back.
    asideStream_ = stream_;
    asideOwned_ = std::move(ownedStream_);
    asideAssigned_ = streamAssigned_;
    converted_ = std::move(image);
    stream_ = converted_.get();
    streamAssigned_ = false;
    stream_->Seek(0);
    ApplyHeader(WalkWaveHeader(*stream_, TWaveWalkMode::Reader));
    if (type_ != wtPCM) {
        MarkInvalid();
        type_ = wtACM;
        return;
    }
    type_ = wtACM;
}

void TWaveIn::CloseFile()
{
    std::lock_guard lock(openMutex_);
    if (openCount_ == 1) {
        if (converted_) {
            converted_.reset();
            stream_ = asideStream_;
            ownedStream_ = std::move(asideOwned_);
            streamAssigned_ = asideAssigned_;
            asideStream_ = nullptr;
        }
        if (!streamAssigned_) {
            ownedStream_.reset();
            stream_ = nullptr;
        } else if (seekable_ && stream_) {
            stream_->Seek(0);
        }
    }
    if (openCount_ > 0)
        --openCount_;
}

bool TWaveIn::Seek(int sampleNum)
{
    if (!seekable_)
        return false;
    std::lock_guard lock(openMutex_);
    OpenFile();
    bool moved = false;
    if (deliver_) {
        if (type_ == wtPCM || type_ == wtFloat) {
            const int sampleBytes = wideBytes_ != 0 ? wideBytes_ : bits_ / 8;
            stream_->Seek(static_cast<int64_t>(sampleNum) * sampleBytes * channels_ +
                          firstAudioByte_);
            moved = true;
        } else if (type_ == wtDVIADPCM || type_ == wtMSADPCM) {
            stream_->Seek(static_cast<int64_t>(sampleNum / header_.samplesPerBlock) *
                              header_.blockAlign +
                          firstAudioByte_);
            moved = true;
        }
    }
    CloseFile();
    return moved;
}

int64_t TWaveIn::GetData(void* buffer, int64_t bufferSize)
{
    if (!Busy())
        throw EACSException("The Stream is not opened");
    if (bufStart_ > bufEnd_ && !Refill())
        return 0;
    const int64_t n = std::min<int64_t>(bufferSize, bufEnd_ - bufStart_ + 1);
    if (n <= 0)
        return 0;
    std::memcpy(buffer, reinterpret_cast<const uint8_t*>(buffer_.data()) + bufStart_ - 1,
                static_cast<size_t>(n));
    bufStart_ += static_cast<int>(n);
    SetPosition(Position() + n);
    return n;
}

bool TWaveIn::Refill()
{
    if (!deliver_)
        return false;
    switch (type_) {
    case wtPCM:
    case wtFloat:
    case wtACM:
        return RefillPcm();
    case wtDVIADPCM:
    case wtMSADPCM:
        return RefillAdpcm();
    default:
        return false;
    }
}

void TWaveIn::ThrowCutShort() const
{
    throw EACSException(FileName() + QStringLiteral(" was cut short while it was read."));
}

int64_t TWaveIn::ReadPcm()
{
    if (wideBytes_ == 0) {
        const int64_t want =
            std::min<int64_t>({kBufferSize, Size() - Position(), dataEnd_ - stream_->Position()});
        if (want <= 0)
            return 0;
        const int64_t got = stream_->Read(reinterpret_cast<uint8_t*>(buffer_.data()), want);
        if (got < want)
            ThrowCutShort();
        return got;
    }
    const int64_t fileFrame = static_cast<int64_t>(wideBytes_) * channels_;
    const int64_t frames =
        std::min<int64_t>({kBufferSize / (channels_ * 2), (Size() - Position()) / (channels_ * 2),
                           (dataEnd_ - stream_->Position()) / fileFrame});
    if (frames <= 0)
        return 0;
    block_.resize(static_cast<size_t>(frames * fileFrame));
    const int64_t got = stream_->Read(block_.data(), frames * fileFrame) / fileFrame;
    if (got < frames)
        ThrowCutShort();
    Narrow(block_.data(), got * channels_, wideBytes_, type_ == wtFloat, buffer_.data());
    return got * channels_ * 2;
}

bool TWaveIn::RefillPcm()
{
    int64_t count = ReadPcm();
    if (count <= 0) {
        if (!Loop())
            return false;
        Flush();
        Init();
        Seek(StartSample()); // also when another open kept the stream where it was
        count = ReadPcm();
        if (count <= 0)
            return false;
    }
    bufStart_ = 1;
    bufEnd_ = static_cast<int>(count);
    return true;
}

bool TWaveIn::RefillAdpcm()
{
    if (Position() >= Size()) {
        if (!Loop())
            return false;
        Flush();
        Init();
        if (!deliver_)
            return false;
    }
    const int ba = header_.blockAlign;
    block_.resize(static_cast<size_t>(ba));
    // A last block cut short by the end of the data chunk is decoded as far as it goes.
    const int64_t left = dataEnd_ - stream_->Position();
    if (left <= 0)
        return false;
    const int64_t want = std::min<int64_t>(ba, left);
    int got = static_cast<int>(stream_->Read(block_.data(), want));
    if (got < want)
        ThrowCutShort();
    int16_t* out = buffer_.data();
    int frames;
    if (type_ == wtDVIADPCM) {
        if (channels_ == 1 && got < ba && got > 4)
            got = 4 + (FramesInBlock(got) - 1) / 2; // whole code words only
        frames = channels_ == 1 ? ImaAdpcm::DecodeMono(block_.data(), got, out)
                                : ImaAdpcm::DecodeStereo(block_.data(), got, out);
    } else {
        frames = MsAdpcm::DecodeBlock(block_.data(), got, channels_, header_.samplesPerBlock,
                                      header_.coefs.data(), header_.coefCount, out);
        if (frames < 0) {
            // A predictor index outside the table: the file is not valid from here on.
            valid_ = false;
            deliver_ = false;
            return false;
        }
    }
    if (frames <= 0)
        return false;
    bufStart_ = 1;
    bufEnd_ = frames * channels_ * 2;
    return true;
}
