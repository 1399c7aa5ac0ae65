#include "app/startup.h"
#include "common/platform.h"

// Install mode arrives with the installation work; until then the tool says
// so instead of pretending to install.
void RunInstallMode()
{
    Os().MessageBoxW(nullptr, L"Installing printers is not available in this build yet.", L"Printer Setup",
                     MB_OK | MB_ICONERROR);
}
