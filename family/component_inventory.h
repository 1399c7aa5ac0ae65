// What of the driver family is installed: its driver packages, under each
// package its printer drivers, under each driver the queues that use it; and
// the print monitors registered with the family's monitor DLL that no driver
// of the family takes along.
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
    const WCHAR* environment; // of a package kept for other computers; null: this machine's
    int removed;
    WCHAR status[256];
    PackageNode* next;
};

struct MonitorEntry {
    MONITOR_INFO_2W* info; // in the monitor enumeration buffer
    int removed;
    WCHAR status[256];
    MonitorEntry* next;
};

// One reading of the machine. Records are zero-filled heap blocks linked at
// the head of their list; entries point into the enumeration buffers.
struct Inventory {
    PackageNode* packages; // null while no package or driver of the family was found
    MonitorEntry* monitors; // left over: no listed driver names them
    BYTE* driverBuffers[3]; // one per environment: this machine's, then those kept for others
    BYTE* printerBuffer;
    BYTE* monitorBuffer;
    DWORD monitorCount; // records in the monitor buffer: every registered monitor
    // What could not be read or held (a failed enumeration, registry read or
    // allocation): while there is any, nothing can be called removed.
    int gaps;
};

// The inventory the dialog shows and the removal works on. Install mode reads
// its first two steps to learn whether the family is installed.
extern Inventory ComponentInventory;

// Adds a package node for each package of the family the spooler recorded.
void CollectDriverPackages(Inventory* inventory);
// Adds a driver entry under every package for each installed driver of the
// family, creating a package node where there is none.
void CollectPrinterDrivers(Inventory* inventory);
// Adds a printer entry under every driver entry whose driver a local queue uses.
void AttachPrinters(Inventory* inventory);
// Adds a monitor entry for each registered monitor whose DLL is the family's,
// unless a listed driver names it (it goes with that driver): run it last.
void CollectFamilyMonitors(Inventory* inventory);
// All four steps, into an empty inventory.
void ReadInventory(Inventory* inventory);
// A registered monitor of that name whose DLL is the family's.
bool IsFamilyMonitor(const Inventory& inventory, const WCHAR* name);
// Nothing of the family found, and nothing that could not be read.
bool InventoryIsClean(const Inventory& inventory);
// Frees every record and buffer, and empties the inventory.
void FreeInventory(Inventory* inventory);
