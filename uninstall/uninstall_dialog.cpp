#include "app/startup.h"
#include "common/platform.h"

// The uninstall dialog arrives with the removal work; until then the tool says
// so and touches nothing.
void UninstallDialog()
{
    Os().MessageBoxW(nullptr, L"Uninstalling is not available in this build yet.", L"Printer Setup",
                     MB_OK | MB_ICONERROR);
}
