#pragma once

#include <functional>

#include <QString>
#include <QStringList>
#include <QUrl>

class QObject;

/// Opens a file, folder or web page with the desktop's associated program.
bool ShellOpenUrl(const QUrl& url);
bool ShellOpenPath(const QString& path);

/// Opens url as above and tells when that fails: failed(reason) runs on the UI thread at once
/// when no launcher could be started, or later when the desktop's launcher (xdg-open) ends with
/// an error in its first seconds, which a detached start cannot see. Nothing is reported once
/// context is gone; the launcher and what it starts outlive the program.
void ShellOpenUrl(const QUrl& url, QObject* context,
                  std::function<void(const QString& reason)> failed);

/// Starts a program detached (the desktop mixer, for instance). False when it cannot start.
bool ShellStartDetached(const QString& program, const QStringList& args);

/// The manual beside the program, at a section (empty: its top).
QUrl ManualUrl(const QString& section = QString());

/// Test seam: while set, opening and starting go to the hook instead of the desktop.
/// The hook gets the URL (or "program arg1 arg2") and returns the result to report.
void SetShellHookForTests(std::function<bool(const QString&)> hook);
