// A whole CDDB lookup against a server on this machine (query + one read), from the wait
// window's start to the track list updated, through the real worker, events and window.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "app/MainController.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "core/ThreadHandoff.h"
#include "makedisc/DiscImageWriter.h"
#include "metadata/QueryCDDBThread.h"
#include "metadata/dialogs/frmStopQuery.h"
#include "platform/cdaccess/CdAccess.h"
#include "support/CddbTestServer.h"

namespace {

TCddbTestAnswer Answers(const TCddbTestRequest& r)
{
    const QString id = QStringLiteral("07003202");
    TCddbTestAnswer a;
    if (r.Command.startsWith(QStringLiteral("cddb query")))
        a.Body = CddbAnswers::Exact(QStringLiteral("rock"), id,
                                    QStringLiteral("Some Band / First Record"));
    else
        a.Body = CddbAnswers::Record(
            QStringLiteral("rock"), id,
            CddbAnswers::RecordLines(id, QStringLiteral("Some Band / First Record"),
                                     QStringLiteral("1999"), QStringLiteral("Rock"),
                                     {QStringLiteral("Opening"), QStringLiteral("Closing")}));
    return a;
}

void BM_WholeLookup(benchmark::State& state)
{
    QTemporaryDir dir;
    SetProgramDirForTests(dir.path());
    QDir().mkpath(dir.filePath(QStringLiteral("discs")));
    std::string error;
    if (!makedisc::WriteDiscImage(QDir(dir.filePath(QStringLiteral("discs"))).path().toStdString(),
                                  "Disc", {2250, 1510}, {}, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    TCddbTestServer server(Answers);
    TMainController controller;
    controller.Create();
    controller.Show();
    OptionsSetting().QueryCDDB.Server = server.Address();
    int n = 0;
    for (auto _ : state) {
        controller.RenameRow(1, QStringLiteral("Before %1").arg(n++));
        TfrmStopQuery wait(nullptr, 1, 2, controller.CDHandle());
        wait.ApplyResult = [&](const TDiscNames& r) {
            controller.ApplyNames(r, controller.LoadedDiscKey());
        };
        wait.exec();
        if (controller.Tracks().Row(1).Title != QStringLiteral("Closing")) {
            state.SkipWithError("the lookup did not update the list");
            break;
        }
    }
    TQueryCDDBThread::StopAllAndWait(std::chrono::seconds(5));
    if (controller.CDHandle() != 0)
        CloseCDHandle(controller.CDHandle());
    SetProgramDirForTests(QString());
}
BENCHMARK(BM_WholeLookup)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallHandoffObserver(&app);
    SetSystemDrivesListedForTests(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
