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
// process exit code, always 0.
int RunStartup(HINSTANCE instance, LPCWSTR commandLine);

// Starts a process from a command line of at most 1024 characters and does
// not wait for it; the outcome is not examined.
void LaunchProcess(LPCWSTR commandLine);

// Mode entries, supplied by the install and uninstall sides.
void RunInstallMode();
void UninstallDialog();
