#include "encoders/EncodeProcess.h"

#include <csignal>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <system_error>
#include <vector>

#include <QFile>

#include "core/AppEvents.h"
#include "core/AppException.h"
#include "core/FileUtil.h"
#include "core/MessageBoxService.h"
#include "core/TextUtil.h"
#include "encoders/EncodeThread.h"

namespace {

EAppException ErrorWithCode(const char* text, int code)
{
    return EAppException(QString::fromLatin1(text) + QString::number(code));
}

} // namespace

TEncodeProcess::TEncodeProcess(QObject* parent) : QObject(parent) {}

TEncodeProcess::~TEncodeProcess()
{
    // Also ends a run whose Active mark the caller cleared by hand. Calls the watcher queued
    // to this object are dropped by ~QObject, which releases the watcher.
    Active = false;
    EndRun();
}

void TEncodeProcess::Start()
{
    // One run at a time: an earlier run still going (after an error line, say) ends here.
    EndRun();

    if (FileExists(OutputFile) && !SkipsOverwriteQuestion()) {
        if (!OverwriteAsked && AskYesNo(OutputFile + QStringLiteral(" has existed,overite it?"),
                                        MbIcon::Information, MbAnswer::Yes) != MbAnswer::Yes) {
            ReportEnd(StepOutcome::Declined, {});
            return;
        }
        if (IsFileInUse(OutputFile)) {
            ReportEnd(StepOutcome::OutputInUse, {});
            return;
        }
    }

    const QString program = FindProgram();
    if (program.isEmpty()) {
        ToolMissing();
        ReportEnd(StepOutcome::Declined, {});
        return;
    }

    auto inv = std::make_shared<TEncodeInvocation>();
    CreatePipes(*inv);
    const TToolCommand command = BuildCommand(program);
    progressColumn_ = 0;

    program_ = program;
    inputStatted_ = ::stat(QFile::encodeName(InputFile).constData(), &inputAtStart_) == 0;
    std::vector<std::string> argv;
    argv.reserve(static_cast<size_t>(command.Arguments.size()));
    for (const QString& a : command.Arguments)
        argv.push_back(QFile::encodeName(a).toStdString());
    const int rc =
        inv->Child.Spawn(argv, inv->StdIn.ReadFd(), inv->StdOut.WriteFd(), inv->StdErr.WriteFd());
    if (rc != 0)
        throw ErrorWithCode("Error while creating mp3 encoding process!", rc);
    startTime_ = std::chrono::steady_clock::now();

    inv->Attach(this);
    try {
        TEncodeThread::Launch(inv);
    } catch (const std::system_error& e) {
        inv->Detach();
        inv->Child.Signal(SIGKILL); // the invocation's end reaps it
        throw ErrorWithCode("Error while creating mp3 encoding process!", e.code().value());
    }
    current_ = std::move(inv);
}

void TEncodeProcess::Stop(int exitCode)
{
    (void)exitCode;
    if (!Active)
        return;
    Active = false;
    EndRun();
}

TToolCommand TEncodeProcess::Command()
{
    return BuildCommand(FindProgram());
}

pid_t TEncodeProcess::ProcessId() const
{
    return current_ ? current_->Child.Pid() : 0;
}

void TEncodeProcess::PostProgress(int32_t percent, const QString& elapsed, const QString& total)
{
    PostAppEvent(NotifyWindow.data(), MakeJobProgress(percent, elapsed, total, 0));
}

int64_t TEncodeProcess::ElapsedSinceStart() const
{
    return ElapsedSeconds(startTime_);
}

void TEncodeProcess::EndReporting()
{
    if (current_)
        current_->ReportingEnded = true;
}

bool TEncodeProcess::ReportingEnded() const
{
    return !current_ || current_->ReportingEnded;
}

void TEncodeProcess::CreatePipes(TEncodeInvocation& inv)
{
    if (const int e = inv.StdIn.Create())
        throw ErrorWithCode("Error on STDIN pipe creation : ", e);
    if (const int e = inv.StdOut.Create())
        throw ErrorWithCode("Error on STDOUT pipe creation : ", e);
    if (const int e = inv.StdErr.Create())
        throw ErrorWithCode("Error on STDERR pipe creation : ", e);
}

void TEncodeProcess::ClosePipes()
{
    if (!current_)
        return;
    current_->Detach();
    current_.reset();
}

void TEncodeProcess::EndRun()
{
    if (!current_)
        return;
    const std::shared_ptr<TEncodeInvocation> inv = current_;
    ClosePipes();
    // The watcher reaps it, killing the group if it ignores this.
    inv->Child.Signal(SIGTERM);
}

void TEncodeProcess::HandleRequest(const std::shared_ptr<TEncodeInvocation>& inv,
                                   TEncodeRequest request, uint32_t count)
{
    // A request of a run that was stopped or replaced after the watcher posted it.
    if (inv != current_ || inv->StopRequested.load())
        return;
    switch (request) {
    case TEncodeRequest::ReadStdOut:
        ReadStdOut(*inv, count);
        break;
    case TEncodeRequest::ReadStdErr:
        ReadStdErr(*inv, count);
        break;
    case TEncodeRequest::ProcessEnded:
        ProcessEnded(*inv);
        break;
    }
}

void TEncodeProcess::ReadStdOut(TEncodeInvocation& inv, uint32_t count)
{
    ReadPipe(inv, false, count);
}

void TEncodeProcess::ReadStdErr(TEncodeInvocation& inv, uint32_t count)
{
    ReadPipe(inv, true, count);
}

void TEncodeProcess::ReadPipe(TEncodeInvocation& inv, bool stdErr, uint32_t count)
{
    QByteArray buffer(static_cast<qsizetype>(count), Qt::Uninitialized);
    int err = 0;
    const long n = ReadSome(stdErr ? inv.StdErr.ReadFd() : inv.StdOut.ReadFd(), buffer.data(),
                            static_cast<size_t>(count), err);
    if (n < 0) {
        ClosePipes();
        throw ErrorWithCode(
            stdErr ? "Error reading STDERR pipe : " : "Error reading STDOUT pipe : ", err);
    }
    buffer.truncate(n);
    if (!inv.ReportingEnded)
        ParseOutput(buffer);
}

void TEncodeProcess::ProcessEnded(TEncodeInvocation& inv)
{
    lastWaitStatus_ = inv.Child.WaitStatus();
    const bool report = !inv.ReportingEnded;
    ClosePipes();
    if (!report)
        return;
    const QString failure = RunFailure();
    if (failure.isEmpty())
        ReportEnd(StepOutcome::ToolExited, {});
    else
        ReportEnd(StepOutcome::ToolFailed, failure);
}

QString TEncodeProcess::RunFailure() const
{
    const QString tool = ExtractFileName(program_);
    const int status = lastWaitStatus_;
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        return tool + QStringLiteral(" was ended by signal %1 (%2).")
                          .arg(sig)
                          .arg(QString::fromLocal8Bit(::strsignal(sig)));
    }
    if (!WIFEXITED(status))
        return tool + QStringLiteral(" ended in an unknown way.");
    if (WEXITSTATUS(status) != 0)
        return tool + QStringLiteral(" failed with exit code %1.").arg(WEXITSTATUS(status));
    // The same file, shorter now: what the tool took for its end was not the end. (A file
    // deleted or replaced meanwhile was read whole through the tool's own descriptor.)
    struct stat now {};
    if (inputStatted_ && ::stat(QFile::encodeName(InputFile).constData(), &now) == 0 &&
        now.st_dev == inputAtStart_.st_dev && now.st_ino == inputAtStart_.st_ino &&
        now.st_size < inputAtStart_.st_size)
        return InputFile + QStringLiteral(" was cut short while ") + tool +
               QStringLiteral(" read it.");
    // A tool that says it succeeded but left nothing to play did not succeed.
    if (FileSizeOrMinus1(WritePath()) < MinimumOutputBytes())
        return tool + QStringLiteral(" left no output in ") + OutputFile + QLatin1Char('.');
    if (const QString why = IncompleteOutput(); !why.isEmpty())
        return tool + why;
    return {};
}
