// "Remove": deletes the inventory bottom-up (queues, drivers with their
// monitor, packages), then the monitor file, and sends the driver folder to
// the Recycle Bin.
#pragma once

#include "common/wintypes.h"

DWORD WINAPI RemovalThread(LPVOID dialog);
// The same without a window (/VERYSILENT): reads the inventory, removes it
// and returns the exit code. The folder is left to the uninstaller's hand-over.
int RemoveWithoutDialog();
// The box that tells the user the uninstall failed and may be tried again.
void ShowUninstallFailed(HWND dialog);
