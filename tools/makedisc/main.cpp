// makedisc: writes an audio CD image (NAME.bin + NAME.cue) from a list of track lengths.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DiscImageWriter.h"

namespace {

int Usage()
{
    std::fprintf(
        stderr,
        "usage: makedisc [--seed N] [--pregap SECTORS] [--toc] OUTDIR NAME LENGTH...\n"
        "  LENGTH is a track length in sectors (75 a second) or in seconds with an\n"
        "  \"s\" suffix (\"25s\"). Writes OUTDIR/NAME.bin and OUTDIR/NAME.cue (or .toc).\n");
    return 2;
}

bool ParseCount(const char* text, long long limit, long long& value)
{
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && value >= 0 && value <= limit;
}

} // namespace

int main(int argc, char** argv)
{
    makedisc::DiscImageOptions options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long long value = 0;
        if (arg == "--seed" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 0xffffffffLL, value))
                return Usage();
            options.Seed = static_cast<uint32_t>(value);
        } else if (arg == "--pregap" && i + 1 < argc) {
            if (!ParseCount(argv[++i], 75LL * 60, value))
                return Usage();
            options.PregapSectors = static_cast<int>(value);
        } else if (arg == "--toc") {
            options.TocSheet = true;
        } else if (arg.rfind("--", 0) == 0) {
            return Usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() < 3)
        return Usage();
    std::vector<int64_t> lengths;
    for (size_t i = 2; i < positional.size(); ++i) {
        int64_t sectors = 0;
        if (!makedisc::ParseLength(positional[i], sectors)) {
            std::fprintf(stderr, "makedisc: bad track length \"%s\"\n", positional[i].c_str());
            return 2;
        }
        lengths.push_back(sectors);
    }
    std::string error;
    if (!makedisc::WriteDiscImage(positional[0], positional[1], lengths, options, &error)) {
        std::fprintf(stderr, "makedisc: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
