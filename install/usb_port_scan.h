// The USB printers of the maker's vendor ID that are present right now, with
// what the USB printing class recorded about each one's port.
#pragma once

#include "common/wintypes.h"

struct UsbPortRecord {
    UsbPortRecord* next;     // older discovery
    WCHAR vendorId[5];       // as it stands in the interface path
    WCHAR checksumText[5];   // "%04x" of the description's checksum
    WCHAR portName[260];     // USB001, USB012, USB123, USB1234
    WCHAR description[260];  // at most the first 32 characters of "Port Description"
    WCHAR serialNumber[260]; // at most the first 32 characters of "Serial Number"
    WCHAR hardwareId[260];   // "usbprint\" + description + checksumText, lower-cased
    WORD valid;
};

// The records of the last scan, newest first. A scan frees the previous list,
// so a record is valid only until the next scan.
extern UsbPortRecord* UsbPortList;

// Rebuilds UsbPortList; returns the number of records.
int ScanUsbPrinterPorts();

// The first record of the last scan on that port, or null.
const UsbPortRecord* FindUsbPort(const WCHAR* portName);
