#include "EncoderTestSupport.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <sys/wait.h>

#include <QFile>
#include <QtEndian>

#include "core/AppEvents.h"
#include "encoders/EncodeThread.h"
#include "platform/process/ChildProcess.h"
#include "platform/process/PosixPipe.h"
#include "support/TestSupport.h"

bool ReportLog::event(QEvent* e)
{
    if (e->type() != static_cast<QEvent::Type>(WM_JOBPROGRESS))
        return QObject::event(e);
    const TProcessInfo& info = *static_cast<JobProgressEvent*>(e)->Info;
    ReceivedReport r{info.Percent, info.ElapsedText, info.TotalText, info.ErrorCode};
    Reports.push_back(r);
    if (OnReport)
        OnReport(r);
    return true;
}

std::vector<ReceivedReport> ReportLog::Ends() const
{
    std::vector<ReceivedReport> out;
    for (const ReceivedReport& r : Reports)
        if (r.Percent == JobCode::Mp3Ended || r.Percent == JobCode::WmaEnded)
            out.push_back(r);
    return out;
}

std::vector<ReceivedReport> ReportLog::Progress() const
{
    std::vector<ReceivedReport> out;
    for (const ReceivedReport& r : Reports)
        if (r.Percent >= 1 && r.Percent <= 100)
            out.push_back(r);
    return out;
}

void WriteScript(const QString& path, const QByteArray& body)
{
    WriteWholeFile(path, QByteArray("#!/bin/sh\n") + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup);
}

void WriteSineWav(const QString& path, double seconds, int rate, int channels)
{
    const auto frames = static_cast<uint32_t>(seconds * rate);
    const uint32_t dataSize = frames * static_cast<uint32_t>(channels) * 2;
    QByteArray wav(44, '\0');
    auto put32 = [&](int at, uint32_t v) { qToLittleEndian(v, wav.data() + at); };
    auto put16 = [&](int at, uint16_t v) { qToLittleEndian(v, wav.data() + at); };
    wav.replace(0, 4, "RIFF");
    put32(4, 36 + dataSize);
    wav.replace(8, 8, "WAVEfmt ");
    put32(16, 16);
    put16(20, 1);
    put16(22, static_cast<uint16_t>(channels));
    put32(24, static_cast<uint32_t>(rate));
    put32(28, static_cast<uint32_t>(rate * channels * 2));
    put16(32, static_cast<uint16_t>(channels * 2));
    put16(34, 16);
    wav.replace(36, 4, "data");
    put32(40, dataSize);
    wav.resize(44 + static_cast<qsizetype>(dataSize));
    char* p = wav.data() + 44;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(8000.0 * std::sin(2.0 * M_PI * 440.0 * i / rate));
        for (int c = 0; c < channels; ++c, p += 2)
            qToLittleEndian(s, p);
    }
    WriteWholeFile(path, wav);
}

bool ProcessGone(pid_t pid)
{
    if (pid <= 0)
        return false;
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return true;
    // An orphan that has ended but whose new parent does not reap it is gone all the same.
    const QByteArray stat = ReadWholeFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype paren = stat.lastIndexOf(')');
    return paren > 0 && stat.size() > paren + 2 && stat.at(paren + 2) == 'Z';
}

bool WaitForWatchers(int timeoutMs)
{
    return WaitUntil([] { return TEncodeThread::LiveCount() == 0; },
                     std::chrono::milliseconds(timeoutMs));
}

ProgramResult RunProgram(const QString& program, const QStringList& args,
                         const std::function<void(pid_t)>& onStarted)
{
    ProgramResult result;
    TPosixPipe in, out, err;
    if (in.Create() != 0 || out.Create() != 0 || err.Create() != 0)
        return result;
    std::vector<std::string> argv{QFile::encodeName(program).toStdString()};
    for (const QString& a : args)
        argv.push_back(QFile::encodeName(a).toStdString());
    TChildProcess child;
    if (child.Spawn(argv, in.ReadFd(), out.WriteFd(), err.WriteFd()) != 0)
        return result;
    in.Close();
    if (onStarted)
        onStarted(child.Pid());
    auto drain = [](int fd, QByteArray& into) {
        uint32_t n = 0;
        int e = 0;
        if (!PeekAvailable(fd, n, e) || n == 0)
            return false;
        QByteArray buf(static_cast<qsizetype>(n), Qt::Uninitialized);
        const long got = ReadSome(fd, buf.data(), n, e);
        if (got > 0)
            into.append(buf.constData(), got);
        return got > 0;
    };
    for (;;) {
        const bool a = drain(out.ReadFd(), result.Out);
        const bool b = drain(err.ReadFd(), result.Err);
        if (a || b)
            continue;
        if (child.WaitForExit(100, {out.ReadFd(), err.ReadFd()}) ==
                TChildProcess::WaitResult::Exited &&
            !drain(out.ReadFd(), result.Out) && !drain(err.ReadFd(), result.Err))
            break;
    }
    const int status = child.Reap();
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

QByteArray RunAndCapture(const QString& program, const QStringList& args, int* exitCode)
{
    const ProgramResult r = RunProgram(program, args);
    if (exitCode != nullptr)
        *exitCode = r.ExitCode;
    return r.Out;
}
