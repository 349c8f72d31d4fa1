#include "core/FileDialogService.h"

namespace {

class CancellingFileDialogService : public IFileDialogService {
public:
    QStringList Pick(const FileDialogRequest&) override { return {}; }
};

CancellingFileDialogService g_cancelling;
IFileDialogService* g_fileDialogs = &g_cancelling;

} // namespace

IFileDialogService& FileDialogs()
{
    return *g_fileDialogs;
}

IFileDialogService* InstallFileDialogService(IFileDialogService* service)
{
    IFileDialogService* previous = g_fileDialogs;
    g_fileDialogs = service != nullptr ? service : &g_cancelling;
    return previous;
}

QString QtFilterFromWindows(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString name = parts.at(i).trimmed();
        QString patterns = parts.at(i + 1).trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the parentheses that end the name; a name that shows them
        // already ("Sound file(*.wav)") is kept as it is, any other gets them added.
        const QString shown = QLatin1Char('(') + patterns + QLatin1Char(')');
        if (name.endsWith(shown))
            out << name;
        else
            out << name + QLatin1Char(' ') + shown;
    }
    return out.join(QStringLiteral(";;"));
}

ScriptedFileDialogService::ScriptedFileDialogService() : previous_(InstallFileDialogService(this))
{
}

ScriptedFileDialogService::~ScriptedFileDialogService()
{
    InstallFileDialogService(previous_);
}

QStringList ScriptedFileDialogService::Pick(const FileDialogRequest& request)
{
    requests_.push_back(request);
    if (planned_.empty())
        return {};
    QStringList a = planned_.front();
    planned_.pop_front();
    return a;
}
