#include "app/startup.h"

#include <cstring>
#include <cwchar>

#include "app/relaunch.h"
#include "common/catalogue.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/path.h"
#include "common/platform.h"
#include "install/install_mode.h"
#include "res/resource.h"
#include "uninstall/uninstall_dialog.h"

namespace {

const WCHAR kUninstallSwitch[] = L"-u ";
const WCHAR kUninstallerName[] = L"unins000";

// Uninstall mode takes the folder verbatim from the command line. A folder
// that does not fit InstallDirectory is refused: cutting it would name a
// different folder, and uninstall mode sends its folder to the Recycle Bin.
StartupMode TakeUninstallFolder(LPCWSTR commandLine, bool* found)
{
    *found = false;
    LPCWSTR match = commandLine != nullptr ? wcsstr(commandLine, kUninstallSwitch) : nullptr;
    if (match == nullptr) {
        return STARTUP_MODE_INSTALL;
    }
    LPCWSTR folder = match + (sizeof(kUninstallSwitch) / sizeof(WCHAR) - 1);
    if (*folder == 0) {
        return STARTUP_MODE_INSTALL;
    }
    *found = true;
    if (wcslen(folder) >= MAX_PATH) {
        return STARTUP_MODE_NONE;
    }
    FormatBounded(InstallDirectory, MAX_PATH, L"%ws", folder);
    return STARTUP_MODE_UNINSTALL;
}

// Sets InstallDirectory from the executable's own path and tells whether the
// executable is the folder's uninstaller.
StartupMode TakeOwnFolder(WCHAR* modulePath)
{
    DWORD length = Os().GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    // Without the whole path the folder is unknown; installing from a guessed
    // folder could pick up someone else's files.
    if (length == 0 || length >= MAX_PATH) {
        return STARTUP_MODE_NONE;
    }
    WCHAR drive[3] = {0};
    WCHAR directory[256] = {0};
    WCHAR name[MAX_PATH] = {0};
    WCHAR extension[256] = {0};
    if (!SplitPath(modulePath, drive, 3, directory, 256, name, MAX_PATH, extension, 256)) {
        return STARTUP_MODE_NONE;
    }
    FormatBounded(InstallDirectory, MAX_PATH, L"%ws%ws", drive, directory);
    return wcscmp(name, kUninstallerName) == 0 ? STARTUP_MODE_RELAUNCH : STARTUP_MODE_INSTALL;
}

} // namespace

StartupMode PrepareStartup(LPCWSTR commandLine, WCHAR* modulePath)
{
    bool uninstallSwitch = false;
    StartupMode mode = TakeUninstallFolder(commandLine, &uninstallSwitch);
    return uninstallSwitch ? mode : TakeOwnFolder(modulePath);
}

int RunStartup(HINSTANCE instance, LPCWSTR commandLine)
{
    InstanceHandle = instance;
    WCHAR modulePath[MAX_PATH] = {0};
    switch (PrepareStartup(commandLine, modulePath)) {
    case STARTUP_MODE_UNINSTALL:
        UninstallDialog();
        break;
    case STARTUP_MODE_RELAUNCH:
        // The user started the uninstaller and nothing would happen: say why.
        if (DWORD error = RelaunchFromProtectedCopy(modulePath)) {
            ShowMessage(IDS_RELAUNCH_FAILED, MB_OK | MB_ICONERROR, static_cast<int>(error));
        }
        break;
    case STARTUP_MODE_INSTALL:
        RunInstallMode();
        break;
    case STARTUP_MODE_NONE:
        break;
    }
    return 0;
}
