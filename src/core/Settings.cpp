#include "core/Settings.h"

namespace {
TOptionsSetting g_options;
}

TOptionsSetting& OptionsSetting()
{
    return g_options;
}

void ResetOptionsSetting()
{
    g_options = TOptionsSetting{};
}
