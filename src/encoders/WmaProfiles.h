#pragma once

#include <cstdint>

#include <QString>

/// The 33 encoding profiles of the WMA tool, indexed by the setting WMAOptions.BitRate.
inline constexpr int32_t WmaProfileCount = 33;
/// The index used when the stored one is out of range.
inline constexpr int32_t WmaDefaultProfile = 8;

/// Entry of the options dialog's profile list ("44.100 kHz,  64 kbit/s, Stereo").
QString WmaProfileCaption(int32_t index);
/// Value passed after -a_setting: kbit/s, kHz without fraction, channels ("64_44_2").
QString WmaProfileValue(int32_t index);
/// index when it is a valid profile, else WmaDefaultProfile.
int32_t ValidWmaProfile(int32_t index);

/// Per-mille ratio of WAV input to WMA output size of a profile (the default profile's for an
/// invalid one): the output is expected to be input x 1000 / ratio bytes.
int WmaSizeRatio(int32_t index);
