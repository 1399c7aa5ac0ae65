// The uninstaller's relaunch: a copy of the tool, in a folder only
// administrators may change, runs uninstall mode for the tool's folder.
#pragma once

#include "common/wintypes.h"

// Starts "<copy>" -u <InstallDirectory> and returns without waiting:
// ERROR_SUCCESS, or the error that kept the copy from being made or started
// (nothing of it is then left behind).
DWORD RelaunchFromProtectedCopy(LPCWSTR modulePath);
