// Process-wide state that startup sets once and every mode reads.
#pragma once

#include "common/wintypes.h"

// The module's instance handle, used for every string and dialog resource.
extern HINSTANCE InstanceHandle;

// The folder that holds the driver files. In install and relaunch mode the
// executable's own folder with a trailing backslash; in uninstall mode the
// text after "-u " on the command line, verbatim.
extern WCHAR InstallDirectory[MAX_PATH];

// Shared text buffers of the uninstall side, for loading and formatting strings.
extern WCHAR TextBufferA[1024];
extern WCHAR TextBufferB[1024];

// A driver file in use is replaced at the next restart: until then the
// installation is not complete, and the user is told so.
extern BOOL RestartRequired;
