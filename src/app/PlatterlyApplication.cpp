#include "app/PlatterlyApplication.h"

#include "core/ErrorHandler.h"

TPlatterlyApplication::TPlatterlyApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Platterly"));
    setApplicationVersion(QStringLiteral("2.0"));
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
