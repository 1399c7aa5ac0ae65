// What of the driver family is installed: its driver packages, under each
// package its printer drivers, under each driver the queues that use it.
#pragma once

#include "common/wintypes.h"

struct PrinterEntry {
    PRINTER_INFO_2W* info; // in the printer enumeration buffer
    int removed;
    WCHAR status[256];
    PrinterEntry* next;
};

struct DriverEntry {
    DRIVER_INFO_8W* info; // the entry's own copy; for an orphan package the enumeration's record; null if not copied
    PrinterEntry* printers;
    int printerCount;
    int removed;
    WCHAR status[256];
    DriverEntry* next;
};

struct PackageNode {
    WCHAR infFileName[50];
    WCHAR infPath[1024]; // empty for an orphan package
    WCHAR driverVer[50];
    DriverEntry* drivers;
    int driverCount; // entries that received their record
    int removed;
    WCHAR status[256];
    PackageNode* next;
};

// Head of the package list; null while nothing of the family was found.
// Built once per process; records and enumeration buffers live until it ends.
extern PackageNode* ComponentInventory;
extern BYTE* DriverEnumerationBuffer;
extern BYTE* PrinterEnumerationBuffer;
// Records of the family the inventory found but could not hold (out of
// memory): while there are any, no removal can be called complete.
extern int InventoryGaps;

// Adds a package node for each package of the family the spooler recorded.
void CollectDriverPackages();
// Adds a driver entry under every package for each installed driver of the
// family, creating a package node where there is none.
void CollectPrinterDrivers();
// Adds a printer entry under every driver entry whose driver a local queue uses.
void AttachPrinters();
