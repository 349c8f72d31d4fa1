#pragma once

#include "core/AppException.h"

/// Every error the audio stream library raises itself.
class EACSException : public EAppException {
public:
    using EAppException::EAppException;
};
