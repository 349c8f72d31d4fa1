#pragma once

#include <csignal>
#include <initializer_list>
#include <vector>

#include <QObject>

class QSocketNotifier;

/// Ends the program on SIGTERM and SIGINT (a logout, kill, Ctrl+C) as the user's closing would:
/// the windows close one after the other, the topmost first, each through its own close path,
/// so a recording is stopped and kept and the settings are saved. The signal handler only
/// writes the signal's number into a pipe, which the event loop reads. One per process.
class TSignalShutdown : public QObject {
    Q_OBJECT
public:
    explicit TSignalShutdown(std::initializer_list<int> signals = {SIGTERM, SIGINT},
                             QObject* parent = nullptr);
    /// Puts the signals' default handling back.
    ~TSignalShutdown() override;
    TSignalShutdown(const TSignalShutdown&) = delete;
    TSignalShutdown& operator=(const TSignalShutdown&) = delete;

    /// Signals that must not end the program: SIGPIPE (a tool that exits early) and SIGXFSZ
    /// (a file-size limit: the write fails with EFBIG instead, and is reported as a full disk).
    static void IgnoreWriteSignals();

private:
    void Drain();
    /// Closes the topmost window and comes back for the next once its modal loop has ended. A
    /// window that stays open (the user kept it) ends the shutdown.
    void CloseNext();

    QSocketNotifier* notifier_ = nullptr;
    std::vector<int> signals_;
    bool closing_ = false;
};
