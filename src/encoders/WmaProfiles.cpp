#include "encoders/WmaProfiles.h"

#include <array>

namespace {

struct Profile {
    const char* caption;
    const char* value;
};

constexpr std::array<Profile, WmaProfileCount> kProfiles{{
    {"48.000 kHz, 192 kbit/s, Stereo", "192_48_2"}, {"48.000 kHz, 160 kbit/s, Stereo", "160_48_2"},
    {"48.000 kHz, 128 kbit/s, Stereo", "128_48_2"}, {"44.100 kHz, 192 kbit/s, Stereo", "192_44_2"},
    {"44.100 kHz, 160 kbit/s, Stereo", "160_44_2"}, {"44.100 kHz, 128 kbit/s, Stereo", "128_44_2"},
    {"44.100 kHz,  96 kbit/s, Stereo", "96_44_2"},  {"44.100 kHz,  80 kbit/s, Stereo", "80_44_2"},
    {"44.100 kHz,  64 kbit/s, Stereo", "64_44_2"},  {"44.100 kHz,  48 kbit/s, Stereo", "48_44_2"},
    {"44.100 kHz,  32 kbit/s, Stereo", "32_44_2"},  {"44.100 kHz,  48 kbit/s, Mono", "48_44_1"},
    {"44.100 kHz,  32 kbit/s, Mono", "32_44_1"},    {"32.000 kHz,  48 kbit/s, Stereo", "48_32_2"},
    {"32.000 kHz,  40 kbit/s, Stereo", "40_32_2"},  {"32.000 kHz,  32 kbit/s, Stereo", "32_32_2"},
    {"32.000 kHz,  20 kbit/s, Mono", "20_32_1"},    {"22.050 kHz,  32 kbit/s, Stereo", "32_22_2"},
    {"22.050 kHz,  22 kbit/s, Stereo", "22_22_2"},  {"22.050 kHz,  20 kbit/s, Stereo", "20_22_2"},
    {"22.050 kHz,  20 kbit/s, Mono", "20_22_1"},    {"22.050 kHz,  16 kbit/s, Mono", "16_22_1"},
    {"16.000 kHz,  20 kbit/s, Stereo", "20_16_2"},  {"16.000 kHz,  16 kbit/s, Stereo", "16_16_2"},
    {"16.000 kHz,  16 kbit/s, Mono", "16_16_1"},    {"16.000 kHz,  12 kbit/s, Mono", "12_16_1"},
    {"16.000 kHz,  10 kbit/s, Mono", "10_16_1"},    {"11.025 kHz,  10 kbit/s, Mono", "10_11_1"},
    {"11.025 kHz,   8 kbit/s, Mono", "8_11_1"},     {" 8.000 kHz,  12 kbit/s, Stereo", "12_8_2"},
    {" 8.000 kHz,   8 kbit/s, Mono", "8_8_1"},      {" 8.000 kHz,   6 kbit/s, Mono", "6_8_1"},
    {" 8.000 kHz,   5 kbit/s, Mono", "5_8_1"},
}};

} // namespace

int32_t ValidWmaProfile(int32_t index)
{
    return index >= 0 && index < WmaProfileCount ? index : WmaDefaultProfile;
}

QString WmaProfileCaption(int32_t index)
{
    return QString::fromLatin1(kProfiles[static_cast<size_t>(ValidWmaProfile(index))].caption);
}

QString WmaProfileValue(int32_t index)
{
    return QString::fromLatin1(kProfiles[static_cast<size_t>(ValidWmaProfile(index))].value);
}

int WmaSizeRatio(int32_t index)
{
    static constexpr std::array<int, WmaProfileCount> kRatios = {
        7315,  8770,  10949, 7316,   8772,   10954,  14581,  17471,  21790,  28963,  43174,
        28963, 43134, 28999, 34720,  43214,  68873,  43134,  62208,  68264,  68264,  84458,
        67963, 84150, 84150, 110460, 131113, 133765, 165296, 113717, 167692, 220395, 261485};
    return kRatios[static_cast<size_t>(ValidWmaProfile(index))];
}
