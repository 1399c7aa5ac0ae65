// Starting another program, as install mode and the uninstaller's relaunch do.
#pragma once

#include "common/wintypes.h"

// Starts a process from a command line of at most 1024 characters and does
// not wait for it; it takes over the instance guard. FALSE, with the thread's last error, when it cannot start.
BOOL LaunchProcess(LPCWSTR commandLine);

// Starts a process as LaunchProcess does and waits until it has ended.
// FALSE, with the thread's last error, when it cannot start (*started false)
// or be waited for; otherwise its exit code is in *exitCode.
BOOL LaunchAndWait(LPCWSTR commandLine, DWORD* exitCode, bool* started);
