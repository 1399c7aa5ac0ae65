// Installing one matched printer through the driver store and Plug and Play,
// with the manual procedure as fallback.
#pragma once

#include "common/wintypes.h"
#include "install/install_request.h"

#define INSTALL_QUEUE_EXISTED 3

// INSTALL_QUEUE_EXISTED when the printer's queue (on its port, with its
// driver) was there already; 1 when it exists at the end; either way its name
// is then in request->printerName. 0 when it cannot be created.
int InstallPrinter(InstallRequest* request, const WCHAR* sourceInfPath);

// Uploads the package to the driver store; logs and returns the HRESULT.
HRESULT DoUploadDriverPackage(const WCHAR* sourceInfPath);
