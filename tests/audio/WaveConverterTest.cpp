// The in-memory format converter: what it loads from a WAV file, the PCM image it writes,
// and MPEG decoding with libmpg123 in place of the platform's codec service.
#include <gtest/gtest.h>

#include "AudioTestUtil.h"
#include "audio/ACSMemoryStream.h"
#include "audio/ByteOrder.h"
#include "audio/WaveConverter.h"

namespace {

void Load(TWaveConverter& c, const Bytes& file)
{
    TACSMemoryStream s(file);
    c.ReadWaveFile(s);
}

Bytes MpegFmt30()
{
    Bytes extra = {12, 0, 1, 0, 2, 0, 0, 0, 0x80, 4, 1, 0, 0x71, 5};
    return TWavBuilder::Fmt(85, 2, 22050, 1, 0, extra);
}

} // namespace

TEST(AudioWaveConverter, LoadsTheFormatChunkAndTheData)
{
    TWaveConverter c;
    const Bytes data(500, 0x33);
    Load(c, TWavBuilder()
                .Chunk("fmt ", MpegFmt30())
                .Chunk("fact", TWavBuilder::U32(9))
                .Chunk("data", data)
                .Build());
    const Bytes fmt = MpegFmt30();
    ASSERT_EQ(fmt.size(), 30u);
    EXPECT_TRUE(std::equal(fmt.begin(), fmt.end(), c.SourceFormat.begin()));
    EXPECT_EQ(c.Data(), data);
    EXPECT_EQ(c.Position(), 0);

    // A 16-byte PCM format leaves the extra-size field at 0.
    TWaveConverter p;
    p.SourceFormat.fill(0xEE);
    Load(p, TWavBuilder()
                .Chunk("fmt ", TWavBuilder::Fmt(1, 1, 8000, 2, 16))
                .Chunk("data", data)
                .Build());
    EXPECT_EQ(GetLE16(p.SourceFormat.data()), 1);
    EXPECT_EQ(GetLE16(p.SourceFormat.data() + 16), 0);
}

TEST(AudioWaveConverter, RefusesWhatIsNotRiffWaveOrDoesNotFit)
{
    const Bytes data(500, 0x33);
    TWaveConverter lower;
    Load(lower, TWavBuilder().Chunk("fmt ", MpegFmt30()).Chunk("data", data).Build("riff", "WAVE"));
    EXPECT_EQ(lower.Size(), 0);
    EXPECT_TRUE(std::all_of(lower.SourceFormat.begin(), lower.SourceFormat.end(),
                            [](uint8_t b) { return b == 0; }));
    lower.TargetFormat[0] = 1;
    EXPECT_NE(lower.SuggestFormat(), 0);
    EXPECT_NE(lower.ConvertFormat(), 0);

    TWaveConverter big;
    Load(big, TWavBuilder()
                  .Chunk("fmt ", TWavBuilder::Fmt(85, 2, 22050, 1, 0, Bytes(200, 1)))
                  .Chunk("data", data)
                  .Build());
    EXPECT_EQ(big.Size(), 0);
    EXPECT_EQ(big.SourceFormat[0], 0);

    // A data size past the end takes what is there.
    Bytes file = TWavBuilder().Chunk("fmt ", MpegFmt30()).Chunk("data", data).Build();
    file[file.size() - data.size() - 2] = 0x7F;
    TWaveConverter past;
    Load(past, file);
    EXPECT_EQ(past.Data(), data);
}

TEST(AudioWaveConverter, ConvertsMpegAudioAndWritesAPcmImage)
{
    TWaveConverter c;
    Load(c, LoadBytes(AudioFixture("mp3_in_wav.wav")));
    const int64_t compressed = c.Size();
    c.TargetFormat[0] = 1;
    ASSERT_EQ(c.SuggestFormat(), 0);
    ASSERT_EQ(c.ConvertFormat(), 0);
    EXPECT_GT(c.Size(), 8 * compressed);
    EXPECT_EQ(GetLE16(c.SourceFormat.data()), 1);
    EXPECT_EQ(GetLE16(c.SourceFormat.data() + 2), 2);
    EXPECT_EQ(GetLE32(c.SourceFormat.data() + 4), 22050u);
    EXPECT_EQ(GetLE32(c.SourceFormat.data() + 8), 22050u * 4);
    EXPECT_EQ(GetLE16(c.SourceFormat.data() + 12), 4);
    EXPECT_EQ(GetLE16(c.SourceFormat.data() + 14), 16);

    TACSMemoryStream image;
    ASSERT_EQ(c.WriteWaveImage(image), 0);
    const Bytes& img = image.Data();
    ASSERT_EQ(img.size(), static_cast<size_t>(44 + c.Size()));
    EXPECT_TRUE(std::equal(img.begin(), img.begin() + 4, "RIFF"));
    EXPECT_EQ(GetLE32(&img[4]), img.size() - 8);
    EXPECT_EQ(GetLE32(&img[40]), static_cast<uint32_t>(c.Size()));
    EXPECT_TRUE(std::equal(c.Data().begin(), c.Data().end(), img.begin() + 44));
    // Trimmed to what was decoded: the last frame is not silence padding.
    const std::vector<int16_t> pcm = ToSamples(c.Data());
    EXPECT_TRUE(std::any_of(pcm.end() - 2000, pcm.end(), [](int16_t v) { return v != 0; }));
}

TEST(AudioWaveConverter, NonMpegSourcesAreNotConvertedAndNothingChanges)
{
    TWaveConverter c;
    const Bytes data(400, 0x10);
    Load(c, TWavBuilder()
                .Chunk("fmt ", TWavBuilder::Fmt(2, 1, 8000, 256, 4))
                .Chunk("data", data)
                .Build());
    c.TargetFormat[0] = 1;
    EXPECT_EQ(c.SuggestFormat(), TWaveConverter::kErrorNotPossible);
    EXPECT_NE(c.ConvertFormat(), 0);
    EXPECT_EQ(c.Data(), data);
    EXPECT_EQ(GetLE16(c.SourceFormat.data()), 2);
}
