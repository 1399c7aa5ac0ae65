// Installing a printer without the driver store: copy the driver files,
// register the language monitor and the driver, create the queue. Also the
// small spooler queries the package path uses.
#pragma once

#include "common/wintypes.h"
#include "install/install_request.h"

// 1 when an installed driver of the current environment has exactly that name.
BOOL DriverExists(const WCHAR* driverName);
// 1 when the driver was registered and became visible.
BOOL AddDriver(const InstallRequest* request);
// 1 when the language monitor is registered (also when it was already).
BOOL InstallPrinterLanguageMonitor();
// 1 when the printer's queue exists at the end (its name then in
// request->printerName), else 0.
BOOL InstallDriverManually(InstallRequest* request);
