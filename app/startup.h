// Process entry of the tool's logic: chooses the mode and runs it.
#pragma once

#include "common/wintypes.h"

enum StartupMode {
    STARTUP_MODE_INSTALL,
    STARTUP_MODE_UNINSTALL,
    STARTUP_MODE_RELAUNCH,
    // The command line or the module path cannot be trusted; nothing runs.
    STARTUP_MODE_NONE,
};

// commandLine is the command line without the program name. Returns the
// process exit code: 0 without switches, else what happened (ExitCode).
int RunStartup(HINSTANCE instance, LPCWSTR commandLine);

// Decides the mode once and sets InstallDirectory for it. modulePath
// (MAX_PATH characters) receives the executable's path when it was needed.
StartupMode PrepareStartup(LPCWSTR commandLine, WCHAR* modulePath);
