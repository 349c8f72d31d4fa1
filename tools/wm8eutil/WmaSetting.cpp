#include "WmaSetting.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

bool ParseInt(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 6)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    value = std::atoi(text.c_str());
    return true;
}

int SampleRateOfKhz(int khz)
{
    switch (khz) {
    case 8:
        return 8000;
    case 11:
        return 11025;
    case 16:
        return 16000;
    case 22:
        return 22050;
    case 32:
        return 32000;
    case 44:
        return 44100;
    case 48:
        return 48000;
    default:
        return 0;
    }
}

} // namespace

bool ParseWmaSetting(const std::string& text, WmaSetting& setting, std::string& reason)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t sep = text.find('_', start);
        parts.push_back(
            text.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
        if (sep == std::string::npos)
            break;
        start = sep + 1;
    }
    int kbps = 0;
    int khz = 0;
    int channels = 0;
    if (parts.size() != 3 || !ParseInt(parts[0], kbps) || !ParseInt(parts[1], khz) ||
        !ParseInt(parts[2], channels)) {
        reason = "malformed audio setting \"" + text + "\" (expected KBPS_KHZ_CHANNELS)";
        return false;
    }
    const int rate = SampleRateOfKhz(khz);
    if (kbps <= 0 || kbps > 320 || rate == 0 || channels < 1 || channels > 2) {
        reason = "unsupported audio setting \"" + text + "\"";
        return false;
    }
    setting.RequestedKbps = kbps;
    setting.BitRate = std::max(kbps * 1000, MinWmaBitRate);
    setting.SampleRate = rate;
    setting.Channels = channels;
    return true;
}
