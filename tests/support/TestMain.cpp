// Shared main: every test runs with a QApplication (offscreen platform) so event delivery,
// timers and widgets work the same as in the program.
#include <csignal>

#include <QApplication>

#include <gtest/gtest.h>

#include "app/SettingsStore.h"
#include "core/ThreadHandoff.h"
#include "platform/cdaccess/CdAccess.h"

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallHandoffObserver(&app);
    // Tests work with the disc images they make, not with a drive the machine may have.
    SetSystemDrivesListedForTests(false);
    // Nothing leaves the machine: a disc a test loads is looked up only where the test points
    // the lookup at a server of its own.
    SetAutoLookupDefaultForTests(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
