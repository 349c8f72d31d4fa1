#pragma once

#include <functional>
#include <vector>

#include <QObject>
#include <QString>

#include <sys/types.h>

/// One WM_JOBPROGRESS report as a window received it.
struct ReceivedReport {
    int32_t Percent = 0;
    QString ElapsedText;
    QString TotalText;
    int32_t ErrorCode = 0;
};

/// Stands in for the job window: records every report in arrival order and can react to one
/// (OnReport runs inside the delivery, as the window's handler would).
class ReportLog : public QObject {
public:
    std::vector<ReceivedReport> Reports;
    std::function<void(const ReceivedReport&)> OnReport;

    bool event(QEvent* e) override;

    /// Reports whose Percent is an end code (2000 or 5000).
    std::vector<ReceivedReport> Ends() const;
    /// Reports with Percent 1..100.
    std::vector<ReceivedReport> Progress() const;
};

/// Writes an executable /bin/sh script with the given body.
void WriteScript(const QString& path, const QByteArray& body);

/// Writes a 16-bit PCM WAV with a sine tone.
void WriteSineWav(const QString& path, double seconds, int rate = 44100, int channels = 2);

/// True once no process with this id runs (it ended; a zombie counts as ended).
bool ProcessGone(pid_t pid);

/// Waits until every watcher thread of every runner has ended.
bool WaitForWatchers(int timeoutMs = 10000);

/// What a program run to its end printed, and how it ended.
struct ProgramResult {
    int ExitCode = -1; ///< -1 when it did not exit normally
    QByteArray Out;
    QByteArray Err;
};

/// Runs a program (searched on PATH) to its end. Uses the program's own process layer rather
/// than QProcess, whose child start confuses ThreadSanitizer in a process with threads.
/// onStarted, when given, runs once the child is there and gets its process id.
ProgramResult RunProgram(const QString& program, const QStringList& args,
                         const std::function<void(pid_t)>& onStarted = {});

/// Runs a program and returns its standard output (empty on failure).
QByteArray RunAndCapture(const QString& program, const QStringList& args, int* exitCode = nullptr);
