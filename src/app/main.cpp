#include <cstdio>

#include <QElapsedTimer>
#include <QTimer>

#include "app/MainForm.h"
#include "app/PlatterlyApplication.h"
#include "app/SignalShutdown.h"
#include "app/StartupTiming.h"
#include "audio/VorbisApi.h"
#include "core/AppPaths.h"
#include "core/QtDialogServices.h"
#include "core/ThreadHandoff.h"
#include "metadata/QueryCDDBThread.h"

int main(int argc, char** argv)
{
    TSignalShutdown::IgnoreWriteSignals();
    TPlatterlyApplication app(argc, argv);
    const TSignalShutdown shutdown;
    InstallHandoffObserver(&app);
    // Ogg Vorbis output needs these; without them the job windows report which one is missing.
    LoadVorbisLibraries();
    // An installed program's first start gets the demo disc into its own data folder.
    ProvideDemoDisc();
    QtMessageBoxService boxes;
    QtFileDialogService pickers;
    InstallMessageBoxService(&boxes);
    InstallFileDialogService(&pickers);

    int rc = 0;
    {
        TMainForm form;
        // "platterly /dev/sr1": the desktop offers the program for a disc just inserted, and
        // names its drive (Qt has taken its own options out of the list already).
        const QStringList args = app.arguments().mid(1);
        for (const QString& arg : args) {
            if (!arg.startsWith(QLatin1Char('-'))) {
                form.Controller().SetStartDevice(arg);
                break;
            }
        }
        form.show();
        ReportStartupTiming(form);
        rc = app.exec();
    }
    // A lookup stopped just before closing may still be leaving its network call.
    TQueryCDDBThread::StopAllAndWait(std::chrono::seconds(2));
    InstallFileDialogService(nullptr);
    InstallMessageBoxService(nullptr);
    return rc;
}
