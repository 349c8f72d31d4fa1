#pragma once

#include <functional>

#include <QString>
#include <QStringList>
#include <QUrl>

/// Opens a file, folder or web page with the desktop's associated program.
bool ShellOpenUrl(const QUrl& url);
bool ShellOpenPath(const QString& path);

/// Starts a program detached (the desktop mixer, for instance). False when it cannot start.
bool ShellStartDetached(const QString& program, const QStringList& args);

/// The manual beside the program, at a section (empty: its top).
QUrl ManualUrl(const QString& section = QString());

/// Test seam: while set, opening and starting go to the hook instead of the desktop.
/// The hook gets the URL (or "program arg1 arg2") and returns the result to report.
void SetShellHookForTests(std::function<bool(const QString&)> hook);
