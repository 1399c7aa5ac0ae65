#include "app/startup.h"
#include "common/globals.h"
#include "common/platform.h"
#include "res/resource.h"

// The uninstall dialog arrives with the removal work; until then the tool says
// so and touches nothing.
void UninstallDialog()
{
    WCHAR caption[260] = {0};
    Os().LoadStringW(InstanceHandle, IDS_MESSAGE_CAPTION, caption, 260);
    Os().MessageBoxW(nullptr, L"Uninstalling is not available in this build yet.", caption, MB_OK | MB_ICONERROR);
}
