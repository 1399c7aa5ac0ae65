// What a read inventory says, and its end.
#include "family/component_inventory.h"

#include "common/platform.h"
#include "family/family.h"

bool IsFamilyMonitor(const Inventory& inventory, const WCHAR* name)
{
    const auto* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(inventory.monitorBuffer);
    for (DWORD i = 0; name != nullptr && i < inventory.monitorCount; ++i) {
        if (monitors[i].pName != nullptr && EqualsIgnoringAsciiCase(monitors[i].pName, name) &&
            IsFamilyMonitorDll(monitors[i].pDLLName)) {
            return true;
        }
    }
    return false;
}

bool InventoryIsClean(const Inventory& inventory)
{
    return inventory.gaps == 0 && inventory.packages == nullptr && inventory.monitors == nullptr;
}

void FreeInventory(Inventory* inventory)
{
    for (PackageNode* node = inventory->packages; node != nullptr;) {
        for (DriverEntry* entry = node->drivers; entry != nullptr;) {
            for (PrinterEntry* printer = entry->printers; printer != nullptr;) {
                PrinterEntry* next = printer->next;
                Os().LocalFree(printer);
                printer = next;
            }
            DriverEntry* next = entry->next;
            Os().LocalFree(entry->info);
            Os().LocalFree(entry);
            entry = next;
        }
        PackageNode* next = node->next;
        Os().LocalFree(node);
        node = next;
    }
    for (MonitorEntry* entry = inventory->monitors; entry != nullptr;) {
        MonitorEntry* next = entry->next;
        Os().LocalFree(entry);
        entry = next;
    }
    for (BYTE* buffer : inventory->driverBuffers) {
        Os().LocalFree(buffer);
    }
    Os().LocalFree(inventory->printerBuffer);
    Os().LocalFree(inventory->monitorBuffer);
    *inventory = Inventory{};
}
