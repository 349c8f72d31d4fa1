#pragma once

#include <vector>

#include <QObject>
#include <QStringList>

#include "core/MessageBoxService.h"
#include "pipeline/JobQuestions.h"
#include "pipeline/RipJob.h"

class QSocketNotifier;

/// Writes a line to stderr, first ending a progress bar drawn on the terminal.
void CliError(const QString& line);

/// The message boxes of a command line: each box's text goes to stderr, and every question is
/// answered no (or cancel): nothing is replaced or removed that the command did not ask for.
class TCliMessages : public IMessageBoxService {
public:
    TCliMessages();
    ~TCliMessages() override;
    TCliMessages(const TCliMessages&) = delete;
    TCliMessages& operator=(const TCliMessages&) = delete;
    MbAnswer Show(const MessageBoxRequest& request) override;

private:
    IMessageBoxService* previous_;
};

/// A rip's question about files that exist: replaced only with --overwrite, else refused.
class TCliQuestions : public IJobQuestions {
public:
    explicit TCliQuestions(bool overwrite) : overwrite_(overwrite) {}
    TOverwriteAnswer AskOverwrite(const QStringList& existing) override;

private:
    bool overwrite_;
};

/// Ctrl+C and SIGTERM, through a pipe the event loop reads (a handler may only write(2)).
class TCliInterrupt : public QObject {
    Q_OBJECT
public:
    explicit TCliInterrupt(QObject* parent = nullptr);
    ~TCliInterrupt() override;
    bool Interrupted() const { return interrupted_; }

Q_SIGNALS:
    void Raised();

private:
    QSocketNotifier* notifier_ = nullptr;
    bool interrupted_ = false;
};

/// How a job run from the command line ended.
struct TCliJobResult {
    std::vector<bool> Succeeded; ///< per entry
    bool Interrupted = false;    ///< stopped by a signal
    QStringList Verified;        ///< a rip's per-entry AccurateRip result; empty: none
    QString VerifySummary;       ///< the rip's verification summary; empty: none
    bool VerifyWarning = false;  ///< a mismatch, uncorrected sectors, or the log not written
};

/// Runs a conversion job to its end on the calling (main) thread and draws its progress: a bar
/// on a terminal, a line per step otherwise. A step that can never end (the drive refused its
/// set-up, an error at the edge of a report) stops the job, as the user's Stop would, rather
/// than waiting for good. A signal stops it too. partials: per entry, the file an interrupted
/// or failed extraction leaves behind, removed once the job is over.
TCliJobResult RunCliJob(int kind, int cdHandle, const QStringList& entries, TJobRunners runners,
                        const QStringList& partials, TCliInterrupt& interrupt);

/// An exception reached the event loop: says what it was, and stops the running job, which
/// cannot go on from it.
void CliLoopFailure(const QString& what);
