#include "common/platform.h"

namespace {
PlatformApi* g_platform = nullptr;
}

PlatformApi& Os()
{
    return *g_platform;
}

void SetPlatform(PlatformApi* platform)
{
    g_platform = platform;
}
