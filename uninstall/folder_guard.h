// The driver folder sent to the Recycle Bin, as much of it as its verdict allows.
#pragma once

#include "common/wintypes.h"
#include "uninstall/folder_verdict.h"

// Sends to the Recycle Bin what the verdict on InstallDirectory allows, with
// the shell's own confirmation; a refusal or a partial clean-up is logged.
void RecycleDriverFolder(HWND owner);
