// The driver's files copied into the spooler's driver directory; a file in use
// there is replaced at the next restart by a copy made now.
#pragma once

#include "common/wintypes.h"

// Copies one file of the architecture's folder into the spooler's driver
// directory; non-zero when it is in place or its replacement at the next
// restart was registered.
BOOL CopyDriverFile(const WCHAR* fileName);
// The data file, from the folder's dat subfolder.
BOOL CopyDataFile();
// Forgets the files an earlier printer left waiting for the restart.
void ForgetPendingDriverFiles();
// Whether a copied file waits for the restart.
bool DriverFilesPending();
// Has the restart replace the spooler's own copies of the waiting files that
// the driver record names; 0 when one of them cannot be.
BOOL ReplaceDriverCopiesAtRestart(const DRIVER_INFO_8W& driver);
