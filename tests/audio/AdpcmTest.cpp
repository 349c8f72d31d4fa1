// ADPCM decoding details that real files rarely reach: clamps, truncation, adaptation, block
// sizes, and blocks or tables that would take the decoder out of bounds.
#include <gtest/gtest.h>

#include "AudioTestUtil.h"
#include "audio/ACSMemoryStream.h"
#include "audio/ImaAdpcm.h"
#include "audio/MsAdpcm.h"
#include "audio/WaveIn.h"

namespace {

void Put16(Bytes& b, size_t at, int v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

Bytes MsFmt(uint16_t channels, uint16_t blockAlign, uint16_t spb,
            const std::vector<std::pair<int, int>>& coefs)
{
    Bytes extra{0, 0};
    Put16(extra, 0, static_cast<int>(4 + 4 * coefs.size()));
    extra.resize(2 + 4);
    Put16(extra, 2, spb);
    Put16(extra, 4, static_cast<int>(coefs.size()));
    for (auto [c1, c2] : coefs) {
        const size_t at = extra.size();
        extra.resize(at + 4);
        Put16(extra, at, c1);
        Put16(extra, at + 2, c2);
    }
    return TWavBuilder::Fmt(2, channels, 8000, blockAlign, 4, extra);
}

const std::vector<std::pair<int, int>> kStandardCoefs = {
    {256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};

std::vector<int16_t> ReadMem(const Bytes& file, bool* valid = nullptr)
{
    TACSMemoryStream stream(file);
    TWaveIn in;
    in.SetStream(&stream);
    std::vector<int16_t> out = ToSamples(ReadAll(in));
    if (valid)
        *valid = in.Valid();
    return out;
}

} // namespace

TEST(AudioAdpcm, ImaPredictorClampsAtMinus32767)
{
    Bytes block(8, 0);
    Put16(block, 0, -32700);
    block[2] = 88;   // step 32767
    block[4] = 0x7F; // codes F (down, full) then 7 (up, full)
    block[5] = 0x00;
    int16_t out[9];
    ASSERT_EQ(ImaAdpcm::DecodeMono(block.data(), 8, out), 9);
    EXPECT_EQ(out[0], -32700);
    EXPECT_EQ(out[1], -32767); // -32700 - 61436, clamped one above the 16-bit minimum
    EXPECT_EQ(out[2], -32767 + 61436 > 32767 ? 32767 : -32767 + 61436);
    // A step index beyond the table is clamped rather than read past it.
    block[2] = 200;
    EXPECT_EQ(ImaAdpcm::DecodeMono(block.data(), 8, out), 9);
}

TEST(AudioAdpcm, A512ByteStereoImaBlockIs505Frames)
{
    Bytes block(512, 0x11);
    Put16(block, 0, 100);
    Put16(block, 4, -100);
    block[2] = block[6] = 10;
    const Bytes file = TWavBuilder()
                           .Chunk("fmt ", TWavBuilder::Fmt(17, 2, 22050, 512, 4, {2, 0, 0xF9, 1}))
                           .Chunk("fact", TWavBuilder::U32(505))
                           .Chunk("data", block)
                           .Build();
    bool valid = false;
    const std::vector<int16_t> s = ReadMem(file, &valid);
    EXPECT_TRUE(valid);
    ASSERT_EQ(s.size() * 2, 2020u);
    EXPECT_EQ(s[0], 100);
    EXPECT_EQ(s[1], -100);
    // Left codes come from the first four bytes of each group, right from the next four.
    int16_t direct[1010];
    ASSERT_EQ(ImaAdpcm::DecodeStereo(block.data(), 512, direct), 505);
    EXPECT_TRUE(std::equal(s.begin(), s.end(), direct));
    EXPECT_EQ(ImaAdpcm::DecodeStereo(block.data(), 7, direct), 0); // headers incomplete
}

TEST(AudioAdpcm, MsPredictionTruncatesTowardZeroAndDeltaAdapts)
{
    // Coefficient pair (1, 0): prediction = sample1 / 256, truncated toward zero.
    Bytes block(7 + 3, 0);
    block[0] = 0;
    Put16(block, 1, 16);   // delta
    Put16(block, 3, -300); // sample 1
    Put16(block, 5, 0);    // sample 2
    block[7] = 0x00;       // codes 0, 0
    block[8] = 0x77;       // codes 7, 7
    block[9] = 0x80;       // codes 8 (-8), 0
    const TMsAdpcmCoef coefs[1] = {{1, 0}};
    int16_t out[8];
    ASSERT_EQ(MsAdpcm::DecodeBlock(block.data(), 10, 1, 8, coefs, 1, out), 8);
    EXPECT_EQ(out[0], 0); // sample 2 first
    EXPECT_EQ(out[1], -300);
    EXPECT_EQ(out[2], -1);  // -300/256 -> -1 (a floor would give -2); delta 16*230/256 -> 16
    EXPECT_EQ(out[3], 0);   // -1/256 -> 0
    EXPECT_EQ(out[4], 112); // 0 + 7*16; delta 16*614/256 = 38
    EXPECT_EQ(out[5], 266); // 112/256 = 0, + 7*38; delta 38*614/256 = 91
    EXPECT_EQ(out[6], 1 - 8 * 91);
    EXPECT_EQ(out[7], (1 - 8 * 91) / 256);
}

TEST(AudioAdpcm, MsSamplesClampTo16Bits)
{
    Bytes block(8, 0);
    block[0] = 1; // (512, -256): 2 x sample1 - sample2
    Put16(block, 1, 2000);
    Put16(block, 3, 30000);
    Put16(block, 5, 10000);
    block[7] = 0x79; // 7 then -7
    int16_t out[4];
    const std::vector<TMsAdpcmCoef> coefs = {{256, 0}, {512, -256}};
    ASSERT_EQ(MsAdpcm::DecodeBlock(block.data(), 8, 1, 4, coefs.data(), 2, out), 4);
    EXPECT_EQ(out[2], 32767); // 2*30000 - 10000 + 7*2000 clamped
    // The clamped value is what predicts the next: 2*32767 - 30000 - 7*(2000*614/256).
    EXPECT_EQ(out[3], 2 * 32767 - 30000 - 7 * (2000 * 614 / 256));
}

TEST(AudioAdpcm, MsFilesWithBadTablesOrIndexesAreNotValid)
{
    auto file = [](const Bytes& fmt, const Bytes& data) {
        return TWavBuilder()
            .Chunk("fmt ", fmt)
            .Chunk("fact", TWavBuilder::U32(100))
            .Chunk("data", data)
            .Build();
    };
    Bytes goodBlock(32, 0x12);
    goodBlock[0] = 1;
    Put16(goodBlock, 1, 16);

    bool valid = true;
    EXPECT_FALSE(ReadMem(file(MsFmt(1, 32, 52, kStandardCoefs), goodBlock), &valid).empty());
    EXPECT_TRUE(valid);

    std::vector<std::pair<int, int>> tooMany(33, {256, 0});
    EXPECT_TRUE(ReadMem(file(MsFmt(1, 32, 52, tooMany), goodBlock), &valid).empty());
    EXPECT_FALSE(valid);

    // More codes declared per block than the block holds.
    EXPECT_TRUE(ReadMem(file(MsFmt(1, 32, 200, kStandardCoefs), goodBlock), &valid).empty());
    EXPECT_FALSE(valid);

    // The second block names predictor 9 of a 7-pair table: the first block is delivered, then
    // the file is reported not valid and ends.
    Bytes twoBlocks = goodBlock;
    twoBlocks.insert(twoBlocks.end(), goodBlock.begin(), goodBlock.end());
    twoBlocks[32] = 9;
    TACSMemoryStream stream(file(MsFmt(1, 32, 52, kStandardCoefs), twoBlocks));
    TWaveIn in;
    in.SetStream(&stream);
    in.Init();
    int16_t buf[200];
    EXPECT_EQ(in.GetData(buf, sizeof buf), 52 * 2);
    EXPECT_EQ(in.GetData(buf, sizeof buf), 0);
    EXPECT_FALSE(in.Valid());
    in.Flush();
}

TEST(AudioAdpcm, BlocksThatWouldOverrunTheDecodeBufferAreNotValid)
{
    auto ima = [](uint16_t channels, uint16_t blockAlign) {
        return TWavBuilder()
            .Chunk("fmt ", TWavBuilder::Fmt(17, channels, 22050, blockAlign, 4, {2, 0, 0xF9, 1}))
            .Chunk("fact", TWavBuilder::U32(100000))
            .Chunk("data", Bytes(blockAlign, 0x33))
            .Build();
    };
    bool valid = true;
    EXPECT_FALSE(ReadMem(ima(1, 4096), &valid).empty()); // 8185 samples: fits 16384 bytes
    EXPECT_TRUE(valid);
    EXPECT_TRUE(ReadMem(ima(1, 4100), &valid).empty()); // 8193 samples: would not
    EXPECT_FALSE(valid);
    EXPECT_FALSE(ReadMem(ima(2, 4096), &valid).empty());
    EXPECT_TRUE(valid);
    EXPECT_TRUE(ReadMem(ima(2, 4104), &valid).empty());
    EXPECT_FALSE(valid);
    // Stereo code groups are 8 bytes; a block that ends inside one is refused.
    EXPECT_TRUE(ReadMem(ima(2, 516), &valid).empty());
    EXPECT_FALSE(valid);
    EXPECT_TRUE(ReadMem(ima(3, 512), &valid).empty());
    EXPECT_FALSE(valid);

    const Bytes msHuge = TWavBuilder()
                             .Chunk("fmt ", MsFmt(1, 8000, 15988, kStandardCoefs))
                             .Chunk("fact", TWavBuilder::U32(15988))
                             .Chunk("data", Bytes(8000, 0))
                             .Build();
    EXPECT_TRUE(ReadMem(msHuge, &valid).empty()); // 15988 samples of 8192 possible
    EXPECT_FALSE(valid);
}

TEST(AudioAdpcm, ATruncatedLastBlockDecodesWhatIsThere)
{
    Bytes data(512 + 100, 0x21);
    data[2] = data[512 + 2] = 5;
    const Bytes file = TWavBuilder()
                           .Chunk("fmt ", TWavBuilder::Fmt(17, 1, 22050, 512, 4, {2, 0, 0xF9, 3}))
                           .Chunk("fact", TWavBuilder::U32(2034))
                           .Chunk("data", data)
                           .Build();
    bool valid = false;
    const std::vector<int16_t> s = ReadMem(file, &valid);
    EXPECT_TRUE(valid);
    EXPECT_EQ(s.size(), 1017u + 1 + 2 * 96);
}
