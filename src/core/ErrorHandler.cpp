#include "core/ErrorHandler.h"

#include "core/MessageBoxService.h"

void HandleException(const std::exception& e)
{
    try {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        // The error box itself failed; there is nobody left to tell.
    }
}

void HandleUnknownException()
{
    try {
        ShowError(QStringLiteral("Unknown error"));
    } catch (...) {
    }
}

bool GuardedCall(const std::function<void()>& fn)
{
    try {
        fn();
        return true;
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        HandleUnknownException();
    }
    return false;
}

bool SwallowErrors(const std::function<void()>& fn)
{
    try {
        fn();
        return true;
    } catch (...) {
        return false;
    }
}
