#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>

#include <sys/types.h>

#include "encoders/EncodeInvocation.h"
#include "encoders/ToolCommand.h"

/// Runs one external command-line tool at a time with its standard streams on pipes, turns its
/// output into progress reports and reports the end of each run to NotifyWindow as
/// WM_JOBPROGRESS events. The MP3 and WMA runners derive from it.
///
/// The object lives on the UI thread, and every member is used there only. One watcher thread
/// per run peeks at the pipes and has this object read, parse and end the run on the UI thread
/// (see TEncodeThread). Stop and the destructor never wait for a watcher.
///
/// End outcomes (StepOutcome): Declined (the user declined to overwrite; WMA: tool not found),
/// OutputInUse, ToolExited (the tool exited with status 0 and left its output), ErrorLine (WMA:
/// the tool printed an error line), ToolFailed (a failing exit status, a signal, or no output;
/// the end event's ElapsedText says which). Every run ends with at most one end event; Stop
/// ends a run without one.
class TEncodeProcess : public QObject, private IEncodeRequestHandler {
    Q_OBJECT
public:
    explicit TEncodeProcess(QObject* parent = nullptr);
    ~TEncodeProcess() override;

    // Set by the caller before each Start.
    bool Active = false; ///< cleared only by Stop
    bool Encode = true;  ///< false: decode (MP3 only)
    uint8_t JobKind = 0; ///< the calling job's kind (1 CD rip, 2 WAV->MP3, ...)
    QString InputFile;
    QString OutputFile; ///< the file the run makes: asked about, checked for use
    /// Where the tool writes, when not OutputFile: the caller's temporary name, which it renames
    /// to OutputFile once the run has succeeded.
    QString WriteFile;
    QPointer<QObject> NotifyWindow;
    /// The caller asked about replacing OutputFile before its job began: Start asks no more.
    bool OverwriteAsked = false;

    /// The path the tool is given to write.
    const QString& WritePath() const { return WriteFile.isEmpty() ? OutputFile : WriteFile; }

    /// Starts the tool on InputFile. Ends any earlier run of this object first (as Stop does,
    /// without an event). Reports outcome 0 or 1 itself when it does not launch. Throws
    /// EAppException when a pipe or the process cannot be made, or no watcher can start.
    void Start();

    /// Aborts the running tool, if Active; no end event follows. exitCode is accepted for
    /// callers' sake: a POSIX process is ended by signal (SIGTERM to its process group, SIGKILL
    /// when it has not ended after a grace period).
    void Stop(int exitCode = 0);

    /// The command Start would run with the current settings and fields. May update
    /// settings it finds out of range (WMA profile).
    TToolCommand Command();

    /// 1-based column the parser fixed on its first matching line; 0 = not yet (reset by Start).
    int32_t ProgressColumn() const { return progressColumn_; }
    /// Process id of the running tool, 0 when none runs.
    pid_t ProcessId() const;
    /// A run is in progress (started, not yet ended or stopped).
    bool IsRunning() const { return current_ != nullptr; }
    /// Wait status of the last tool that ended by itself (-1 before any): lets a caller tell
    /// a clean exit from a failure, which outcome 2 does not.
    int LastWaitStatus() const { return lastWaitStatus_; }

protected:
    /// The run's executable, or empty when it is missing.
    virtual QString FindProgram() const = 0;
    /// Called when FindProgram came back empty, before the run is skipped with outcome 0.
    virtual void ToolMissing() {}
    virtual TToolCommand BuildCommand(const QString& program) = 0;
    /// The overwrite question is not asked for this JobKind.
    virtual bool SkipsOverwriteQuestion() const = 0;
    /// Hands a chunk read from either pipe to the tool's parser.
    virtual void ParseOutput(const QByteArray& chunk) = 0;
    /// Reports an end outcome (posted or sent, by tool); text goes to the record's ElapsedText.
    virtual void ReportEnd(int32_t outcome, const QString& text) = 0;
    /// The smallest output a successful run leaves, in bytes.
    virtual qint64 MinimumOutputBytes() const { return 1; }
    /// Empty when the output a tool left is whole, else why not (after the tool's name). Some
    /// tools exit 0 after failed writes, so the exit status alone does not tell.
    virtual QString IncompleteOutput() const { return {}; }

    /// Posts a progress report to NotifyWindow.
    void PostProgress(int32_t percent, const QString& elapsed, const QString& total);
    /// Whole seconds since the tool was launched.
    int64_t ElapsedSinceStart() const;
    /// After an error end event: the rest of this run is read but neither parsed nor reported.
    void EndReporting();
    bool ReportingEnded() const;

    int32_t progressColumn_ = 0;

private:
    QObject* RequestContext() override { return this; }
    void HandleRequest(const std::shared_ptr<TEncodeInvocation>& inv, TEncodeRequest request,
                       uint32_t count) override;
    void CreatePipes(TEncodeInvocation& inv);
    /// Lets go of the current run: the watcher is told to stop and the pipes close once it has
    /// let go too.
    void ClosePipes();
    /// Read what the watcher found in the pipe and hand it to the parser.
    void ReadStdOut(TEncodeInvocation& inv, uint32_t count);
    void ReadStdErr(TEncodeInvocation& inv, uint32_t count);
    void ReadPipe(TEncodeInvocation& inv, bool stdErr, uint32_t count);
    void ProcessEnded(TEncodeInvocation& inv);
    /// Why the run that just ended failed, or empty when it succeeded.
    QString RunFailure() const;
    /// Ends the current run, if any, without an event (SIGTERM to the tool).
    void EndRun();

    std::shared_ptr<TEncodeInvocation> current_;
    /// The input as the tool was started on it; a tool reading a file cut short meanwhile
    /// takes the early end for the file's end and exits 0.
    struct stat inputAtStart_ {};
    bool inputStatted_ = false;
    std::chrono::steady_clock::time_point startTime_{};
    int lastWaitStatus_ = -1;
    QString program_;
};
