#include "app/startup.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/platform.h"
#include "install/install_loop.h"
#include "uninstall/component_inventory.h"

void RunInstallMode()
{
    CollectDriverPackages(&ComponentInventory);
    CollectPrinterDrivers(&ComponentInventory);
    // With a driver of the family installed the folder's uninstaller takes over.
    const PackageNode* head = ComponentInventory.packages;
    if (head != nullptr && head->driverCount != 0) {
        WCHAR commandLine[1024] = {0};
        FormatBounded(commandLine, 1024, L"\"%ws\\unins000.exe\"", InstallDirectory);
        LaunchProcess(commandLine);
        return;
    }
    RunInstallLoop();
}
