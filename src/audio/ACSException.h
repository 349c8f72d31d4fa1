#pragma once

#include "core/AppException.h"

#include <exception>

/// Every error the audio stream library raises itself.
class EACSException : public EAppException {
public:
    using EAppException::EAppException;
};

/// Runs `step` and keeps what it throws in `first` unless an earlier failure is kept there.
/// Clean-up runs every step this way and still reports the failure that came first.
/// Returns whether the step succeeded.
template <class Step> bool KeepFirstFailure(std::exception_ptr& first, Step&& step) noexcept
{
    try {
        step();
        return true;
    } catch (...) {
        if (!first)
            first = std::current_exception();
        return false;
    }
}
