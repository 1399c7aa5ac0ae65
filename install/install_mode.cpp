#include "app/startup.h"
#include "common/globals.h"
#include "common/platform.h"
#include "res/resource.h"

// Install mode arrives with the installation work; until then the tool says
// so instead of pretending to install.
void RunInstallMode()
{
    WCHAR caption[260] = {0};
    Os().LoadStringW(InstanceHandle, IDS_MESSAGE_CAPTION, caption, 260);
    Os().MessageBoxW(nullptr, L"Installing printers is not available in this build yet.", caption,
                     MB_OK | MB_ICONERROR);
}
