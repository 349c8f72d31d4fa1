#include "platform/shell/Shell.h"

#include <QDesktopServices>
#include <QProcess>

#include "core/AppPaths.h"

namespace {
std::function<bool(const QString&)> g_hook;
}

bool ShellOpenUrl(const QUrl& url)
{
    if (g_hook)
        return g_hook(url.toString());
    return QDesktopServices::openUrl(url);
}

bool ShellOpenPath(const QString& path)
{
    return ShellOpenUrl(QUrl::fromLocalFile(path));
}

bool ShellStartDetached(const QString& program, const QStringList& args)
{
    if (g_hook)
        return g_hook((QStringList{program} + args).join(QLatin1Char(' ')));
    return QProcess::startDetached(program, args);
}

QUrl ManualUrl(const QString& section)
{
    QUrl url = QUrl::fromLocalFile(ManualPath());
    if (!section.isEmpty())
        url.setFragment(section);
    return url;
}

void SetShellHookForTests(std::function<bool(const QString&)> hook)
{
    g_hook = std::move(hook);
}
