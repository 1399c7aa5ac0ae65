// The printer's queue: the local queue on the printer's port with its driver,
// whatever it is called, and the name a new one gets.
#pragma once

#include "common/wintypes.h"
#include "install/install_request.h"

// 1 when a queue of that name can be opened, else 0.
BOOL PrinterExists(const WCHAR* printerName);
// 1 when a local queue with the request's driver lists the request's port;
// its name then goes into request->printerName. Plug and Play calls a second
// device's queue "<model> (Copy 1)" and users rename queues, so a name alone
// proves nothing. A list that cannot be read finds nothing.
BOOL FindPrinterQueue(InstallRequest* request);
// Puts into request->printerName the name Windows gives a new queue of the
// model: the model's own, else "<model> (Copy N)" with the first N no queue
// has. 0 when none of them is free.
BOOL NameNewPrinterQueue(InstallRequest* request);
