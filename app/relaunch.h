// The uninstaller's relaunch: a copy of the tool, in a folder only
// administrators may change, runs uninstall mode for the tool's folder.
#pragma once

#include "common/wintypes.h"

// Starts "<copy>" -u <InstallDirectory>: ERROR_SUCCESS, or the error that
// kept the copy from being made or started (nothing of it is then left
// behind). Without switches it returns at once. With switches the copy gets
// them, and this waits for its outcome (*outcome); when the folder is to go,
// the copy is started once more to send it to the Recycle Bin as soon as
// this process, which runs from the folder, has ended.
DWORD RelaunchFromProtectedCopy(LPCWSTR modulePath, int* outcome);
