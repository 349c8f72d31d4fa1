#pragma once

#include <QApplication>

/// The application object: no exception thrown by a handler may cross the event loop, so the
/// last-resort catch here hands it to the general error handler.
class TPlatterlyApplication : public QApplication {
    Q_OBJECT
public:
    TPlatterlyApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
