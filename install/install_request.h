// What one installation attempt works on: a matched port and its model.
#pragma once

#include "common/wintypes.h"
#include "install/model_table.h"
#include "install/usb_port_scan.h"

struct InstallRequest {
    WCHAR driverName[260];  // "<manufacturer> <model>": the driver's registered name
    WCHAR printerName[260]; // the same text: the queue's name
    WCHAR portName[260];
    WCHAR hardwareId[260];
    BYTE flags; // the model's flags
};

void BuildInstallRequest(const UsbPortRecord* port, const ModelEntry* model, InstallRequest* request);
