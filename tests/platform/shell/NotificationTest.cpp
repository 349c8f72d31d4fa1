#include <csignal>

#include <QDBusConnection>
#include <QStringList>
#include <QVariantMap>

#include <gtest/gtest.h>

#include "encoders/EncoderTestSupport.h"
#include "platform/shell/DesktopNotification.h"
#include "support/TestSupport.h"

/// Stands in for the desktop's notification service.
class StandInNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList Received;

public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int)
    {
        Received << app + QLatin1Char('|') + summary + QLatin1Char('|') + body;
        return uint(Received.size());
    }
};

namespace {

/// A session bus of the test's own, never the desktop's.
class PrivateBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ProgramResult r =
            RunProgram(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--fork"),
                        QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
        const QStringList lines =
            QString::fromUtf8(r.Out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << r.Err.toStdString();
        address = lines[0];
        pid = lines[1].toInt();
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        if (pid > 0)
            ::kill(pid, SIGTERM);
    }
    QDBusConnection Connect(const QString& name)
    {
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;
    int pid = 0;
};

TEST_F(PrivateBus, TheServiceReceivesTheJobsEnd)
{
    QDBusConnection service = Connect(QStringLiteral("service"));
    ASSERT_TRUE(service.isConnected());
    StandInNotifications standIn;
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &standIn,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QDBusConnection client = Connect(QStringLiteral("client"));
    EXPECT_TRUE(SendDesktopNotification(client, QStringLiteral("Platterly"),
                                        QStringLiteral("Rip finished"),
                                        QStringLiteral("10 done, 0 failed")));
    ASSERT_TRUE(WaitUntil([&] { return !standIn.Received.isEmpty(); }));
    EXPECT_EQ(standIn.Received,
              QStringList{QStringLiteral("Platterly|Rip finished|10 done, 0 failed")});
}

TEST_F(PrivateBus, NothingHappensWithoutAService)
{
    QDBusConnection client = Connect(QStringLiteral("client"));
    ASSERT_TRUE(client.isConnected());
    EXPECT_FALSE(SendDesktopNotification(client, QStringLiteral("Platterly"),
                                         QStringLiteral("Rip finished"), QString()));
    EXPECT_FALSE(SendDesktopNotification(QDBusConnection(QStringLiteral("none")),
                                         QStringLiteral("Platterly"),
                                         QStringLiteral("Rip finished"), QString()));
}

} // namespace

#include "NotificationTest.moc"
