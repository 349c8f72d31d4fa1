// WM8EUTIL: encodes one WAV file to WMA (wmav2 in ASF).
//   WM8EUTIL -input IN -output OUT -a_setting KBPS_KHZ_CHANNELS [-author A] [-description D]
// Prints "NN%" lines as it works and "100%" when done; on any failure one line containing
// "ERROR", a non-zero exit code and no output file left behind.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

extern "C" {
#include <libavutil/log.h>
}

#include "WavToWma.h"
#include "WmaSetting.h"

namespace {

volatile std::sig_atomic_t g_abort = 0;

void OnSignal(int)
{
    g_abort = 1;
}

int Failed(const std::string& reason)
{
    std::printf("ERROR: %s\n", reason.c_str());
    std::fflush(stdout);
    return 1;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    av_log_set_level(AV_LOG_QUIET);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    WavToWmaJob job;
    std::string setting;
    bool haveInput = false, haveOutput = false, haveSetting = false;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            return Failed("missing value after " + name);
        const std::string value = argv[++i];
        if (name == "-input") {
            job.Input = value;
            haveInput = true;
        } else if (name == "-output") {
            job.Output = value;
            haveOutput = true;
        } else if (name == "-a_setting") {
            setting = value;
            haveSetting = true;
        } else if (name == "-author") {
            job.Author = value;
        } else if (name == "-description") {
            job.Description = value;
        } else {
            return Failed("unknown switch " + name);
        }
    }
    if (!haveInput || !haveOutput || !haveSetting || job.Input.empty() || job.Output.empty())
        return Failed("usage: WM8EUTIL -input IN -output OUT -a_setting KBPS_KHZ_CHANNELS "
                      "[-author A] [-description D]");
    std::string reason;
    if (!ParseWmaSetting(setting, job.Setting, reason))
        return Failed(reason);
    struct stat st {};
    if (::stat(job.Input.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Failed("input file \"" + job.Input + "\" does not exist");
    if (SameFile(job.Input, job.Output))
        return Failed("input and output are the same file");

    auto progress = [](int percent) { std::printf("%d%%\n", percent); };
    if (!EncodeWavToWma(job, progress, g_abort, reason))
        return Failed(reason);
    std::printf("100%%\n");
    return 0;
}
