#include "install/install_mode.h"

#include "common/catalogue.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/launch.h"
#include "common/platform.h"
#include "common/run_options.h"
#include "family/component_inventory.h"
#include "install/progress_window.h"
#include "res/resource.h"

int RunInstallMode()
{
    CollectDriverPackages(&ComponentInventory);
    CollectPrinterDrivers(&ComponentInventory);
    // With a driver of the family installed the folder's uninstaller takes over.
    const PackageNode* head = ComponentInventory.packages;
    // A run with switches installs over the family instead: the uninstaller would ask the user, and its
    // outcome is not this run's to report.
    if (head != nullptr && head->driverCount != 0 && !Options.switched) {
        WCHAR commandLine[1024] = {0};
        FormatBounded(commandLine, 1024, L"\"%ws\\unins000.exe\"", InstallDirectory);
        if (!LaunchProcess(commandLine)) {
            DWORD error = LastFailure();
            // InstallDirectory ends with its backslash in install mode.
            WCHAR uninstaller[MAX_PATH] = {0};
            FormatBounded(uninstaller, MAX_PATH, L"%wsunins000.exe", InstallDirectory);
            ShowMessage(IDS_UNINSTALLER_NOT_STARTED, MB_OK | MB_ICONERROR, uninstaller, static_cast<int>(error));
            return EXIT_FAILED;
        }
        return EXIT_OK;
    }
    return RunInstallLoopWithProgress();
}
