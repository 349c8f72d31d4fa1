#include "platform/shell/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {
const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
} // namespace

bool SendDesktopNotification(const QDBusConnection& bus, const QString& appName,
                             const QString& summary, const QString& body)
{
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    // Asked of the bus itself, which always answers; a missing service is no error.
    if (!bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kService), QStringLiteral("Notify"));
    call << appName << uint{0} << QString() << summary << body << QStringList() << QVariantMap()
         << int{-1};
    // Never a blocking call from the UI thread: a hung service must not freeze the window.
    call.setAutoStartService(false);
    return bus.send(call);
}
