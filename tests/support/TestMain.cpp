// Shared main: every test runs with a QApplication (offscreen platform) so event delivery,
// timers and widgets work the same as in the program.
#include <csignal>

#include <QApplication>

#include <gtest/gtest.h>

#include "core/ThreadHandoff.h"

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallHandoffObserver(&app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
