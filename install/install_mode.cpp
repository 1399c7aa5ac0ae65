#include "app/startup.h"
#include "common/catalogue.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/platform.h"
#include "install/install_loop.h"
#include "res/resource.h"
#include "uninstall/component_inventory.h"

namespace {

void ShowUninstallerNotStarted(DWORD error)
{
    WCHAR uninstaller[MAX_PATH] = {0};
    WCHAR text[260] = {0};
    WCHAR caption[260] = {0};
    WCHAR message[768] = {0};
    // InstallDirectory ends with its backslash in install mode.
    FormatBounded(uninstaller, MAX_PATH, L"%wsunins000.exe", InstallDirectory);
    LoadText(IDS_UNINSTALLER_NOT_STARTED, text, 260);
    LoadText(IDS_MESSAGE_CAPTION, caption, 260);
    FormatBounded(message, 768, text, uninstaller, static_cast<int>(error));
    Os().MessageBoxW(nullptr, message, caption, MB_OK | MB_ICONERROR);
}

} // namespace

void RunInstallMode()
{
    CollectDriverPackages(&ComponentInventory);
    CollectPrinterDrivers(&ComponentInventory);
    // With a driver of the family installed the folder's uninstaller takes over.
    const PackageNode* head = ComponentInventory.packages;
    if (head != nullptr && head->driverCount != 0) {
        WCHAR commandLine[1024] = {0};
        FormatBounded(commandLine, 1024, L"\"%ws\\unins000.exe\"", InstallDirectory);
        if (!LaunchProcess(commandLine)) {
            DWORD error = Os().GetLastError();
            ShowUninstallerNotStarted(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
        }
        return;
    }
    RunInstallLoop();
}
