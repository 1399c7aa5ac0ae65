// The driver folder sent to the Recycle Bin, as much of it as its verdict allows.
#pragma once

#include "common/wintypes.h"
#include "uninstall/folder_verdict.h"

// Sends to the Recycle Bin what the verdict on InstallDirectory allows, with
// the shell's own confirmation; a refusal or a partial clean-up is logged.
void RecycleDriverFolder(HWND owner);

// The uninstaller's hand-over: waits (a minute at most) until the process
// that ran from the folder has ended, then sends the folder to the Recycle
// Bin. Returns the exit code.
int RecycleWhenEnded(DWORD processId);
