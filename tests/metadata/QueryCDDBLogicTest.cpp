#include <gtest/gtest.h>

#include "metadata/QueryCDDBLogic.h"
#include "support/TestSupport.h"

TEST(QueryCDDBLogic, ServersAndFieldsOnShow) {
    const QStringList& servers = CddbServerList();
    ASSERT_EQ(servers.size(), 12);
    EXPECT_EQ(servers.front(), QStringLiteral("gnudb.gnudb.org"));
    QStringList unique = servers;
    EXPECT_EQ(unique.removeDuplicates(), 0);

    TQueryCDDB s;
    s.Server = servers[3];
    s.Script = QStringLiteral("/cgi/x.cgi");
    s.UseProxy = true;
    s.ProxyAddress = QStringLiteral("proxy.lan");
    s.Port = QStringLiteral("3128");
    TQueryCDDBFields f = TQueryCDDBFields::FromSettings(s);
    EXPECT_EQ(f.ServerIndex, 3);
    EXPECT_EQ(f.ServerText, servers[3]);
    EXPECT_EQ(f.Script, s.Script);
    EXPECT_TRUE(f.ProxyFieldsEnabled());
    EXPECT_EQ(f.Address, s.ProxyAddress);
    EXPECT_EQ(f.Port, s.Port);

    // A server not in the list (typed by the user) shows entry 0 again; comparison is exact.
    s.Server = QStringLiteral("127.0.0.1:8880");
    EXPECT_EQ(TQueryCDDBFields::FromSettings(s).ServerIndex, 0);
    EXPECT_EQ(TQueryCDDBFields::FromSettings(s).ServerText, servers[0]);
    s.Server = QStringLiteral("GNUDB.gnudb.org");
    EXPECT_EQ(TQueryCDDBFields::FromSettings(s).ServerIndex, 0);
}

TEST(QueryCDDBLogic, DefaultAndStore) {
    TQueryCDDBFields f;
    f.ServerIndex = 5;
    f.ServerText = QStringLiteral("typed.example:8880");
    f.Script = QStringLiteral("/x");
    f.UseProxy = true;
    f.Address = QStringLiteral("proxy.lan");
    f.Port = QStringLiteral("8080");
    TQueryCDDB s;
    f.Store(s);
    EXPECT_EQ(s.Server, QStringLiteral("typed.example:8880")); // as typed
    EXPECT_TRUE(s.UseProxy);
    EXPECT_EQ(s.Port, QStringLiteral("8080"));

    f.Reset();
    EXPECT_EQ(f.ServerIndex, 0);
    EXPECT_EQ(f.ServerText, QStringLiteral("gnudb.gnudb.org"));
    EXPECT_EQ(f.Script, QStringLiteral("/~cddb/cddb.cgi"));
    EXPECT_FALSE(f.UseProxy);
    EXPECT_EQ(f.Address, QStringLiteral("proxy.lan")); // address and port stay
    EXPECT_EQ(f.Port, QStringLiteral("8080"));
}

TEST(QueryCDDBLogic, ProxyPortNumber) {
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("3128")), 3128);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral(" 8080 ")), 8080);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("http")), 80);
    EXPECT_EQ(ProxyPortNumber(QString()), 80);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("0x50")), 80);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("0")), 80);
    EXPECT_EQ(ProxyPortNumber(QStringLiteral("70000")), 80);
}
