#pragma once

#include <exception>
#include <functional>

#include <QString>

/// The general error handler: shows the exception's text in an error box captioned with the
/// product name. Never throws.
void HandleException(const std::exception& e);
void HandleUnknownException();

/// Runs fn and hands anything it throws to the general error handler, so no exception can
/// cross the event loop. Returns false when fn threw.
bool GuardedCall(const std::function<void()>& fn);

/// Runs fn and swallows anything it throws (for the places that deliberately ignore errors).
bool SwallowErrors(const std::function<void()>& fn);
