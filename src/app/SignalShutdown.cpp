#include "app/SignalShutdown.h"

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the handler, read by the UI thread. Handlers may only make async-signal-safe
// calls: write(2) of one byte, errno kept.
int gPipe[2] = {-1, -1};

void OnSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    (void)!::write(gPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TSignalShutdown::TSignalShutdown(std::initializer_list<int> signals, QObject* parent)
    : QObject(parent), signals_(signals)
{
    if (gPipe[0] < 0 && ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe, no handlers: the signals keep their default effect
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TSignalShutdown::Drain);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : signals_)
        ::sigaction(s, &sa, nullptr);
}

TSignalShutdown::~TSignalShutdown()
{
    for (int s : signals_)
        std::signal(s, SIG_DFL);
}

void TSignalShutdown::IgnoreWriteSignals()
{
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void TSignalShutdown::Drain()
{
    char bytes[64];
    bool any = false;
    while (::read(gPipe[0], bytes, sizeof bytes) > 0)
        any = true;
    if (!any)
        return;
    // A second signal while the windows close (a question is up) changes nothing.
    if (closing_)
        return;
    closing_ = true;
    CloseNext();
}

void TSignalShutdown::CloseNext()
{
    QWidget* top = QApplication::activePopupWidget();
    if (top == nullptr)
        top = QApplication::activeModalWidget();
    if (top != nullptr) {
        const QPointer<QWidget> window(top);
        window->close();
        if (window && window->isVisible()) {
            closing_ = false;
            return;
        }
        // Its modal loop ends once this call has returned.
        QTimer::singleShot(0, this, &TSignalShutdown::CloseNext);
        return;
    }
    // Closing one window may delete others.
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        windows << w;
    for (const QPointer<QWidget>& window : windows) {
        if (window && window->isVisible() && !window->close()) {
            closing_ = false;
            return;
        }
    }
    closing_ = false;
}
