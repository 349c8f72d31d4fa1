// Line splitting and the three output parsers, fed the way the pipes deliver text.
#include <gtest/gtest.h>

#include "encoders/LameOutput.h"
#include "encoders/ToolOutput.h"
#include "encoders/WmaOutput.h"

namespace {

QString L(const char* s)
{
    return QString::fromLatin1(s);
}

// A lame encode progress line as the program prints it: "%" in column 18.
const char* kLameLine86 =
    "   100/116    (86%)|    0:01/    0:02|    0:03/    0:04|   73.407x|    0:00 ";
const char* kLameLine100 =
    "   116/116   (100%)|    0:02/    0:02|    0:02/    0:02|   71.716x|    0:00 ";

} // namespace

TEST(ToolOutput, SplitsEveryKindOfLineBreakAndDropsBlankLines)
{
    EXPECT_EQ(SplitToolOutput("a\rb\r\nc\n"), (QStringList{L("a"), L("b"), L("c")}));
    EXPECT_EQ(SplitToolOutput("\r\n\r\n \t\r\nx\n\n\ry"), (QStringList{L("x"), L("y")}));
    // Lines keep their own blanks; only the breaks go.
    EXPECT_EQ(SplitToolOutput("  lead\rtrail  "), (QStringList{L("  lead"), L("trail  ")}));
    // The text ends at the first zero byte.
    EXPECT_EQ(SplitToolOutput(QByteArray("one\ntwo\0three\n", 14)),
              (QStringList{L("one"), L("two")}));
    EXPECT_TRUE(SplitToolOutput(QByteArray()).isEmpty());
    EXPECT_TRUE(SplitToolOutput(QByteArray("\0abc", 4)).isEmpty());
}

TEST(ToolOutput, BinaryGarbageNeverBreaksTheSplitter)
{
    QByteArray junk;
    for (int i = 1; i < 256; ++i)
        junk.append(static_cast<char>(i));
    junk.append("\xff\xfe\xc3", 3); // cut UTF-8 sequence at the end
    const QStringList lines = SplitToolOutput(junk);
    ASSERT_FALSE(lines.isEmpty());
    for (const QString& line : lines) {
        EXPECT_FALSE(line.contains(QLatin1Char('\r')));
        EXPECT_FALSE(line.contains(QLatin1Char('\n')));
    }
}

TEST(LameEncodeParser, FindsTheColumnOnTheFirstPercentLineAndReadsTheTexts)
{
    int32_t column = 0;
    EXPECT_FALSE(ParseLameEncodeLine(L("LAME 3.100 64bits (http://lame.sf.net)"), column));
    EXPECT_EQ(column, 0);
    const auto r =
        ParseLameEncodeLine(L("     7/116    (14%)|    0:00/    0:01|    0:00/    0:01|"), column);
    EXPECT_EQ(column, 15);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Percent, 14);
    EXPECT_EQ(r->ElapsedText, L("0:00"));
    EXPECT_EQ(r->TotalText, L("0:01"));

    const auto r86 = ParseLameEncodeLine(L(kLameLine86), column);
    ASSERT_TRUE(r86);
    EXPECT_EQ(r86->Percent, 86);
    EXPECT_EQ(r86->ElapsedText, L("0:01"));
    EXPECT_EQ(r86->TotalText, L("0:02"));
    const auto r100 = ParseLameEncodeLine(L(kLameLine100), column);
    ASSERT_TRUE(r100);
    EXPECT_EQ(r100->Percent, 100);
    // The statistics lines lame prints in between have "%" signs but blanks at the column.
    EXPECT_FALSE(ParseLameEncodeLine(L("   kbps      %     %"), column));
    EXPECT_EQ(column, 15);
}

TEST(LameEncodeParser, ColumnEdgeCases)
{
    // "%" in column 3: nothing found yet, the next "%" line is examined afresh.
    int32_t column = 0;
    EXPECT_FALSE(ParseLameEncodeLine(L("50%"), column));
    EXPECT_EQ(column, 0);
    EXPECT_TRUE(ParseLameEncodeLine(L(kLameLine86), column));
    EXPECT_EQ(column, 15);

    // "%" in column 1 fixes the column at -2: the first three characters are read.
    column = 0;
    EXPECT_FALSE(ParseLameEncodeLine(L("%"), column));
    EXPECT_EQ(column, -2);
    const auto r = ParseLameEncodeLine(L("42 is the % here"), column);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Percent, 42);

    // Fixed once, never searched again, even when "%" moves.
    column = 0;
    ParseLameEncodeLine(L(kLameLine86), column);
    EXPECT_FALSE(ParseLameEncodeLine(L("(50%)"), column));
    EXPECT_EQ(column, 15);
    // An opening parenthesis and two blanks read as 0: no report.
    EXPECT_FALSE(ParseLameEncodeLine(L("     0/116    (  %)|"), column));
    // Above 100 and non-numbers are discarded.
    EXPECT_FALSE(ParseLameEncodeLine(L("     0/116   (101%)|"), column));
    EXPECT_FALSE(ParseLameEncodeLine(L("     0/116    (ab%)|"), column));
    // A line shorter than the column.
    EXPECT_FALSE(ParseLameEncodeLine(L("x%"), column));
}

TEST(LameEncodeParser, HalvesOfALineCutByAReadAreParsedOnTheirOwn)
{
    const QString whole = L(kLameLine86);
    // Cut inside the digits: the first half has no "%", the second fixes a column of its own
    // whose characters are no number. Neither reports.
    int32_t column = 0;
    EXPECT_FALSE(ParseLameEncodeLine(whole.left(16), column));
    EXPECT_FALSE(ParseLameEncodeLine(whole.mid(16), column));
    EXPECT_EQ(column, -1);
    // Cut just after the "%": the first half alone matches; the rest has no "%".
    column = 0;
    const auto first = ParseLameEncodeLine(whole.left(18), column);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Percent, 86);
    EXPECT_EQ(first->ElapsedText, QString());
    EXPECT_FALSE(ParseLameEncodeLine(whole.mid(18), column));
    // The decode line cut between done and total.
    column = 0;
    EXPECT_FALSE(ParseLameDecodeLine(L("Frame#  1234/"), column, 1));
    EXPECT_FALSE(ParseLameDecodeLine(L("5678   128 kbps"), column, 1));
}

TEST(LameDecodeParser, ReadsDoneAndTotalAfterTheHash)
{
    int32_t column = 0;
    const auto r = ParseLameDecodeLine(L("Frame#  1234/5678"), column, 10);
    EXPECT_EQ(column, 7);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Percent, 21);
    EXPECT_EQ(r->ElapsedText, L("00:10"));
    EXPECT_EQ(r->TotalText, L("00:48")); // 10 x 100 / 21 = 47.6
    // The real program's line, backspaces and all.
    const auto real =
        ParseLameDecodeLine(L("Frame#    58/116    128 kbps   MS    \b\b\b\b"), column, 1);
    ASSERT_TRUE(real);
    EXPECT_EQ(real->Percent, 50);
}

TEST(LameDecodeParser, EdgeCases)
{
    int32_t column = 0;
    EXPECT_FALSE(ParseLameDecodeLine(L("input:  x.mp3  (44.1 kHz, 2 channels)"), column, 0));
    EXPECT_EQ(column, 0);
    // Total 0, done above total, done 0, non-numbers: no report.
    EXPECT_FALSE(ParseLameDecodeLine(L("Frame#    10/0     "), column, 1));
    EXPECT_EQ(column, 7);
    EXPECT_FALSE(ParseLameDecodeLine(L("Frame#   200/100   "), column, 1));
    EXPECT_FALSE(ParseLameDecodeLine(L("Frame#     0/100   "), column, 1));
    EXPECT_FALSE(ParseLameDecodeLine(L("Frame#    ab/100   "), column, 1));
    EXPECT_FALSE(ParseLameDecodeLine(L("Frame#"), column, 1));
    // 0 s at 50 %: both texts 00:00.
    const auto zero = ParseLameDecodeLine(L("Frame#    50/100   "), column, 0);
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->ElapsedText, L("00:00"));
    EXPECT_EQ(zero->TotalText, L("00:00"));
    // Minutes are not reduced to hours.
    const auto long_ = ParseLameDecodeLine(L("Frame#   100/100   "), column, 4000);
    ASSERT_TRUE(long_);
    EXPECT_EQ(long_->Percent, 100);
    EXPECT_EQ(long_->ElapsedText, L("66:40"));
    EXPECT_EQ(long_->TotalText, L("66:40"));
    // Huge numbers do not overflow into a report.
    EXPECT_FALSE(ParseLameDecodeLine(L("Frame#999999/1     "), column, 1));
}

TEST(WmaParser, ClassifiesErrorAndDoneLines)
{
    EXPECT_EQ(ClassifyWmaLine(L("ERROR: cannot open input file")), TWmaLine::Error);
    EXPECT_EQ(ClassifyWmaLine(L("xxERRORxx")), TWmaLine::Error);
    EXPECT_EQ(ClassifyWmaLine(L("error: lower case is not one")), TWmaLine::Other);
    EXPECT_EQ(ClassifyWmaLine(L("100%")), TWmaLine::Done);
    EXPECT_EQ(ClassifyWmaLine(L("  100% done")), TWmaLine::Done);
    EXPECT_EQ(ClassifyWmaLine(L("99%")), TWmaLine::Other);
    EXPECT_EQ(ClassifyWmaLine(L("ERROR at 100%")), TWmaLine::Error);
}
