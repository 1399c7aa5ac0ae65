// Stopping and starting the print spooler service, always with bounded waits.
#pragma once

#include "common/wintypes.h"

// Something to do while the spooler is stopped, with its one argument.
typedef BOOL (*SpoolerAction)(const WCHAR* argument);

// 1 when the service was running and was seen stopped within the wait; else 0.
BOOL StopSpooler();
// 1 when the service was stopped and was seen running within the wait; else 0.
BOOL StartSpooler();
// With the service running: stop it, run the action (when both it and its
// argument are given) and start it again. A service not running is left alone.
void CycleSpooler(SpoolerAction action, const WCHAR* argument);
// Copies a file into the system directory under its own name, overwriting.
BOOL CopyToSystemDirectory(const WCHAR* path);
