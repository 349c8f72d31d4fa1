#include <gtest/gtest.h>

#include "core/TextUtil.h"

TEST(TextUtil, TwoDigitsPadsOnlySingleDigits)
{
    EXPECT_EQ(TwoDigits(0), QStringLiteral("00"));
    EXPECT_EQ(TwoDigits(5), QStringLiteral("05"));
    EXPECT_EQ(TwoDigits(10), QStringLiteral("10"));
    EXPECT_EQ(TwoDigits(123), QStringLiteral("123"));
}

TEST(TextUtil, MmssKeepsMinutesBeyondAnHour)
{
    EXPECT_EQ(Mmss(0), QStringLiteral("00:00"));
    EXPECT_EQ(Mmss(65), QStringLiteral("01:05"));
    EXPECT_EQ(Mmss(4000), QStringLiteral("66:40"));
    EXPECT_EQ(Mmss(6000 * 60 + 7), QStringLiteral("6000:07"));
}

TEST(TextUtil, RoundsHalvesToEven)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(4122.5), 4122);
}

TEST(TextUtil, TrimAndParse)
{
    EXPECT_EQ(TrimControl(QStringLiteral("\t (14\r\n")), QStringLiteral("(14"));
    int32_t v = -7;
    EXPECT_TRUE(ParseDecimal(QStringLiteral("  42 "), v));
    EXPECT_EQ(v, 42);
    EXPECT_FALSE(ParseDecimal(QStringLiteral("4x"), v));
    EXPECT_FALSE(ParseDecimal(QStringLiteral("99999999999"), v));
    EXPECT_EQ(v, 42);
}
