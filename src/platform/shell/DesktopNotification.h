#pragma once

#include <QString>

class QDBusConnection;

/// Sends a notification to the desktop's notification service (org.freedesktop.Notifications)
/// on the given bus, without waiting for its answer. Returns false, having done nothing, when
/// the bus is not connected or no notification service runs on it.
bool SendDesktopNotification(const QDBusConnection& bus, const QString& appName,
                             const QString& summary, const QString& body);
