// The platform interface over the real Windows API.
#pragma once

#include "common/platform.h"

// Restricts DLL loading to the system directory and loads the system DLLs
// that are not KnownDLLs (spooler, device setup, common controls) from there.
// Operations whose DLL or export is missing fail with ERROR_PROC_NOT_FOUND.
void InitWin32Platform();

PlatformApi& Win32Platform();
