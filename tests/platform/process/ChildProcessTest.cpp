// Child processes on pipes: arguments, descriptors, waiting, signals and reaping.
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/process/ChildProcess.h"
#include "platform/process/PosixPipe.h"

namespace {

// Reads everything the child wrote until it has ended and the pipe is empty.
std::string Collect(TChildProcess& child, TPosixPipe& out)
{
    std::string text;
    for (;;) {
        uint32_t n = 0;
        int err = 0;
        ASSERT_TRUE(PeekAvailable(out.ReadFd(), n, err)), text;
        if (n > 0) {
            std::string buf(n, '\0');
            const long got = ReadSome(out.ReadFd(), buf.data(), n, err);
            EXPECT_EQ(got, static_cast<long>(n));
            text += buf.substr(0, static_cast<size_t>(got > 0 ? got : 0));
            continue;
        }
        if (child.WaitForExit(100, {out.ReadFd()}) == TChildProcess::WaitResult::Exited) {
            uint32_t rest = 0;
            PeekAvailable(out.ReadFd(), rest, err);
            if (rest == 0)
                return text;
        }
    }
}

struct Pipes {
    Pipes()
    {
        EXPECT_EQ(in.Create(), 0);
        EXPECT_EQ(out.Create(), 0);
    }
    TPosixPipe in;
    TPosixPipe out;
};

} // namespace

TEST(ChildProcess, ArgumentsArriveUnchangedWithoutAShell)
{
    Pipes p;
    TChildProcess child;
    const std::vector<std::string> argv{
        "/bin/sh", "-c",          "for a in \"$@\"; do printf '[%s]' \"$a\"; done",
        "sh",      "two  blanks", "say \"hi\"",
        "$HOME",   "*",           ""};
    ASSERT_EQ(child.Spawn(argv, p.in.ReadFd(), p.out.WriteFd(), p.out.WriteFd()), 0);
    EXPECT_GT(child.Pid(), 0);
    EXPECT_EQ(Collect(child, p.out), "[two  blanks][say \"hi\"][$HOME][*][]");
    const int status = child.Reap();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(child.Reap(), status); // idempotent
}

TEST(ChildProcess, ProgramsAreSearchedOnPathAndMissingOnesGiveEnoent)
{
    Pipes p;
    TChildProcess found;
    ASSERT_EQ(found.Spawn({"echo", "x"}, p.in.ReadFd(), p.out.WriteFd(), p.out.WriteFd()), 0);
    EXPECT_EQ(Collect(found, p.out), "x\n");
    TChildProcess missing;
    EXPECT_EQ(
        missing.Spawn({"no-such-program-here"}, p.in.ReadFd(), p.out.WriteFd(), p.out.WriteFd()),
        ENOENT);
    EXPECT_FALSE(missing.Started());
    EXPECT_EQ(missing.Reap(), -1);
}

TEST(ChildProcess, ChildSeesOnlyItsStandardDescriptorsAndDefaultSigpipe)
{
    std::signal(SIGPIPE, SIG_IGN); // as the program does
    Pipes p;
    TPosixPipe extra; // must not leak into the child
    ASSERT_EQ(extra.Create(), 0);
    TChildProcess child;
    ASSERT_EQ(child.Spawn({"/bin/sh", "-c", "ls /proc/$$/fd; grep SigIgn /proc/$$/status"},
                          p.in.ReadFd(), p.out.WriteFd(), p.out.WriteFd()),
              0);
    const QString text = QString::fromStdString(Collect(child, p.out));
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    // Descriptors the test runner inherited may show up; none of our pipe ends may.
    const QStringList fds = lines.mid(0, lines.size() - 1);
    for (const int ours : {p.in.ReadFd(), p.in.WriteFd(), p.out.ReadFd(), p.out.WriteFd(),
                           extra.ReadFd(), extra.WriteFd()})
        EXPECT_FALSE(ours > 2 && fds.contains(QString::number(ours))) << ours << text.toStdString();
    EXPECT_TRUE(fds.contains(QStringLiteral("0")) && fds.contains(QStringLiteral("1")));
    const qulonglong ignored = lines.last().section(QLatin1Char('\t'), 1).toULongLong(nullptr, 16);
    EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0u) << text.toStdString();
}

TEST(ChildProcess, WaitWakesForOutputAndExitAndTimesOutOtherwise)
{
    Pipes p;
    TChildProcess child;
    ASSERT_EQ(child.Spawn({"/bin/sh", "-c", "sleep 0.3; echo hi; sleep 0.3"}, p.in.ReadFd(),
                          p.out.WriteFd(), p.out.WriteFd()),
              0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(child.WaitForExit(100, {p.out.ReadFd()}), TChildProcess::WaitResult::Timeout);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(90));
    EXPECT_FALSE(child.HasExited());
    // Output and the exit end a long wait at once, not when it times out.
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(child.WaitForExit(10000, {p.out.ReadFd()}), TChildProcess::WaitResult::Readable);
    char buf[8];
    int err = 0;
    EXPECT_EQ(ReadSome(p.out.ReadFd(), buf, 3, err), 3);
    EXPECT_EQ(child.WaitForExit(10000, {p.out.ReadFd()}), TChildProcess::WaitResult::Exited);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_TRUE(child.HasExited());
    EXPECT_FALSE(child.Reaped());
    child.Reap();
    EXPECT_TRUE(child.Reaped());
}

TEST(ChildProcess, SignalsReachTheWholeGroupAndStopAfterReaping)
{
    Pipes p;
    auto child = std::make_unique<TChildProcess>();
    ASSERT_EQ(child->Spawn({"/bin/sh", "-c", "sleep 30 & echo $!; wait"}, p.in.ReadFd(),
                           p.out.WriteFd(), p.out.WriteFd()),
              0);
    EXPECT_EQ(::getpgid(child->Pid()), child->Pid());
    std::string line;
    for (int i = 0; i < 200 && line.find('\n') == std::string::npos; ++i) {
        uint32_t n = 0;
        int err = 0;
        PeekAvailable(p.out.ReadFd(), n, err);
        if (n > 0) {
            std::string buf(n, '\0');
            ReadSome(p.out.ReadFd(), buf.data(), n, err);
            line += buf;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    const pid_t grandchild = std::stoi(line);
    child->Signal(SIGTERM);
    child->FinishTermination(2000);
    const int status = child->WaitStatus();
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    // The grandchild got it too (it may linger as an unreaped zombie of init).
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        const QByteArray stat = [&] {
            QFile f(QStringLiteral("/proc/%1/stat").arg(grandchild));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        gone = stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
    child->Signal(SIGKILL); // reaped: no effect, and no stray signal to a reused pid
    child.reset();
}

TEST(ChildProcess, DestructorEndsAndReapsARunningChild)
{
    Pipes p;
    pid_t pid = 0;
    {
        TChildProcess child;
        ASSERT_EQ(child.Spawn({"sleep", "30"}, p.in.ReadFd(), p.out.WriteFd(), p.out.WriteFd()), 0);
        pid = child.Pid();
    }
    EXPECT_NE(::kill(pid, 0), 0); // reaped, so no zombie is left either
}

TEST(PosixPipe, CloseIsIdempotentAndPeekOnAClosedPipeFails)
{
    TPosixPipe pipe;
    ASSERT_EQ(pipe.Create(), 0);
    const int fd = pipe.ReadFd();
    pipe.Close();
    pipe.Close();
    EXPECT_EQ(pipe.ReadFd(), -1);
    uint32_t n = 7;
    int err = 0;
    EXPECT_FALSE(PeekAvailable(fd, n, err));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(err, EBADF);
}
