#include "app/PlatterlyApplication.h"

#include <QIcon>

#include "core/ErrorHandler.h"

TPlatterlyApplication::TPlatterlyApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Platterly"));
    setApplicationVersion(QStringLiteral("2.0"));
    // The desktop matches the window to its menu entry (and its icon) by this id.
    setDesktopFileName(QStringLiteral("example.platterly.Platterly"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("example.platterly.Platterly"),
                                   QIcon(QStringLiteral(":/app/platterly-256.png"))));
}

bool TPlatterlyApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        HandleUnknownException();
    }
    return false;
}
