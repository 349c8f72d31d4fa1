#include <gtest/gtest.h>

#include "metadata/QueryCDDBLogic.h"
#include "support/TestSupport.h"

TEST(QueryCDDBLogic, ProxyPortNumber)
{
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("3128")), 3128);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral(" 8080 ")), 8080);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("http")), 80);
    EXPECT_EQ(ProxyPortNumber(QString()), 80);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("0x50")), 80);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("0")), 80);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("70000")), 80);
}
