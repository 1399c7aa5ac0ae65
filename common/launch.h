// Starting another program, as install mode and the uninstaller's relaunch do.
#pragma once

#include "common/wintypes.h"

// Starts a process from a command line of at most 1024 characters and does
// not wait for it; it takes over the instance guard. FALSE, with the thread's last error, when it cannot start.
BOOL LaunchProcess(LPCWSTR commandLine);
