#pragma once

#include <stdexcept>
#include <string>

#include <QString>

/// Base of every error the program raises itself; the general error handler shows its text.
class EAppException : public std::runtime_error {
public:
    explicit EAppException(const std::string& message) : std::runtime_error(message) {}
    explicit EAppException(const QString& message) : std::runtime_error(message.toStdString()) {}
    explicit EAppException(const char* message) : std::runtime_error(message) {}

    QString text() const { return QString::fromUtf8(what()); }
};
