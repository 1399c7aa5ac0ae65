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

DWORD LastFailure()
{
    DWORD error = Os().GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}
