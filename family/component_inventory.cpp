#include "family/component_inventory.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "common/enumeration.h"
#include "common/format.h"
#include "common/platform.h"
#include "family/environments.h"
#include "family/family.h"

Inventory ComponentInventory;

namespace {

// At most 1024 bytes of a Windows path value: 512 characters on every host.
const DWORD kStorePathBytes = 512 * sizeof(WCHAR);

template <typename Record> Record* NewRecord()
{
    return static_cast<Record*>(Os().LocalAlloc(LPTR, sizeof(Record)));
}

bool HasText(const WCHAR* text)
{
    return text != nullptr && text[0] != 0;
}

// A registry read that failed for any reason but absence leaves something unread.
void CountFailedRead(Inventory* inventory, LSTATUS status)
{
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        ++inventory->gaps;
    }
}

void ReadDriverVer(PackageNode* node)
{
    DWORD size = 0;
    Os().SetupGetInfInformationW(node->infPath, INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &size);
    if (size == 0) {
        return;
    }
    auto* information = static_cast<SP_INF_INFORMATION*>(Os().LocalAlloc(LPTR, size));
    if (information == nullptr) {
        return;
    }
    if (!Os().SetupGetInfInformationW(node->infPath, INFINFO_INF_NAME_IS_ABSOLUTE, information, size, nullptr) ||
        !Os().SetupQueryInfVersionInformationW(information, 0, L"DriverVer", node->driverVer, 50, nullptr)) {
        node->driverVer[0] = 0;
    }
    Os().LocalFree(information);
}

void AddPackageFromKey(Inventory* inventory, HKEY packages, const WCHAR* subkeyName, WCHAR* path)
{
    HKEY package = nullptr;
    LSTATUS opened = Os().RegOpenKeyW(packages, subkeyName, &package);
    if (opened != ERROR_SUCCESS) {
        CountFailedRead(inventory, opened);
        return;
    }
    // A read that fails must not leave the previous package's path behind.
    std::memset(path, 0, 1024 * sizeof(WCHAR));
    DWORD size = kStorePathBytes;
    LSTATUS read = Os().RegGetValueW(package, nullptr, L"DriverStorePath", RRF_RT_REG_MULTI_SZ, nullptr, path, &size);
    Os().RegCloseKey(package);
    CountFailedRead(inventory, read);
    if (read != ERROR_SUCCESS || !IsFamilyPackage(path)) {
        return;
    }
    PackageNode* node = NewRecord<PackageNode>();
    if (node == nullptr) {
        ++inventory->gaps;
        return;
    }
    FormatBounded(node->infPath, 1024, L"%ws", path);
    const WCHAR* lastBackslash = wcsrchr(path, L'\\');
    if (lastBackslash != nullptr) {
        FormatBounded(node->infFileName, 50, L"%ws", lastBackslash + 1);
    }
    ReadDriverVer(node);
    node->next = inventory->packages;
    inventory->packages = node;
}

// A monitor of the family that a listed driver names goes with that driver.
bool TakenAlongByADriver(const Inventory& inventory, const WCHAR* monitor)
{
    for (const PackageNode* node = inventory.packages; node != nullptr; node = node->next) {
        for (const DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
            if (entry->info != nullptr && entry->info->pMonitorName != nullptr &&
                EqualsIgnoringAsciiCase(entry->info->pMonitorName, monitor)) {
                return true;
            }
        }
    }
    return false;
}

// A driver entry with its own copy of the record, linked under the node; a
// gap when it cannot be had.
bool AttachCopy(Inventory* inventory, PackageNode* node, const DRIVER_INFO_8W* record)
{
    DriverEntry* entry = NewRecord<DriverEntry>();
    auto* copy = static_cast<DRIVER_INFO_8W*>(Os().LocalAlloc(LPTR, sizeof(DRIVER_INFO_8W)));
    if (entry == nullptr || copy == nullptr) {
        Os().LocalFree(entry);
        Os().LocalFree(copy);
        ++inventory->gaps;
        return false;
    }
    std::memcpy(copy, record, sizeof(*copy));
    entry->info = copy;
    entry->next = node->drivers;
    node->drivers = entry;
    ++node->driverCount;
    return true;
}

// Attaches a copy of the record to every package node; the number attached.
int AttachToEveryPackage(Inventory* inventory, const DRIVER_INFO_8W* record)
{
    int attached = 0;
    for (PackageNode* node = inventory->packages; node != nullptr; node = node->next) {
        if (node->infPath[0] == 0 && HasText(record->pszInfPath)) {
            FormatBounded(node->infPath, 1024, L"%ws", record->pszInfPath);
        }
        attached += AttachCopy(inventory, node, record) ? 1 : 0;
    }
    return attached;
}

// A package node of its own for a driver no other node holds.
void AddOrphanPackage(Inventory* inventory, const DRIVER_INFO_8W* record)
{
    PackageNode* node = NewRecord<PackageNode>();
    if (node == nullptr) {
        ++inventory->gaps;
        return;
    }
    if (!AttachCopy(inventory, node, record)) {
        Os().LocalFree(node);
        return;
    }
    node->next = inventory->packages;
    inventory->packages = node;
}

void CollectPackagesOf(Inventory* inventory, const WCHAR* environment)
{
    WCHAR path[1024] = {0};
    FormatBounded(path, 1024,
                  L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\%ws\\DriverPackages",
                  environment);
    HKEY packages = nullptr;
    LSTATUS opened = Os().RegOpenKeyW(HKEY_LOCAL_MACHINE, path, &packages);
    if (opened != ERROR_SUCCESS) {
        CountFailedRead(inventory, opened);
        return;
    }
    PackageNode* before = inventory->packages;
    WCHAR name[MAX_PATH];
    LSTATUS listed = ERROR_SUCCESS;
    for (DWORD index = 0; (listed = Os().RegEnumKeyW(packages, index, name, MAX_PATH)) == ERROR_SUCCESS; ++index) {
        AddPackageFromKey(inventory, packages, name, path);
    }
    inventory->gaps += listed == ERROR_NO_MORE_ITEMS ? 0 : 1;
    Os().RegCloseKey(packages);
    for (PackageNode* node = inventory->packages; node != before; node = node->next) {
        node->environment = IsForeignEnvironment(environment) ? environment : nullptr;
    }
}

void CollectFamilyDrivers(Inventory* inventory, const DRIVER_INFO_8W* drivers, DWORD count)
{
    for (DWORD i = 0; i < count; ++i) {
        const DRIVER_INFO_8W* record = &drivers[i];
        if (!IsFamilyDriver(*record)) {
            continue;
        }
        if (inventory->packages == nullptr && HasText(record->pszInfPath)) {
            inventory->packages = NewRecord<PackageNode>();
        }
        if (AttachToEveryPackage(inventory, record) == 0) {
            AddOrphanPackage(inventory, record);
        }
    }
}

template <typename Call> BYTE* ReadRecords(Inventory* inventory, Call enumerate, DWORD* count)
{
    bool complete = false;
    BYTE* buffer = EnumerateRecords(enumerate, count, &complete);
    inventory->gaps += complete ? 0 : 1;
    return buffer;
}

} // namespace

void CollectDriverPackages(Inventory* inventory)
{
    for (const WCHAR* const* environment = SpoolerEnvironments(); *environment != nullptr; ++environment) {
        CollectPackagesOf(inventory, *environment);
    }
}

void CollectPrinterDrivers(Inventory* inventory)
{
    const WCHAR* const* environments = SpoolerEnvironments();
    for (int e = 0; e < 3 && environments[e] != nullptr; ++e) {
        // This machine's drivers are asked for without a name, as the spooler expects.
        LPWSTR asked = e == 0 ? nullptr : const_cast<LPWSTR>(environments[e]);
        DWORD count = 0;
        inventory->driverBuffers[e] = ReadRecords(
            inventory,
            [asked](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
                if (Os().EnumPrinterDriversW(nullptr, asked, 8, buffer, size, needed, returned)) {
                    return TRUE;
                }
                // An environment this spooler does not know holds nothing.
                return asked != nullptr && Os().GetLastError() == ERROR_INVALID_ENVIRONMENT && (*needed = 0, true)
                           ? TRUE
                           : FALSE;
            },
            &count);
        CollectFamilyDrivers(inventory, reinterpret_cast<DRIVER_INFO_8W*>(inventory->driverBuffers[e]), count);
    }
}

void AttachPrinters(Inventory* inventory)
{
    DWORD count = 0;
    inventory->printerBuffer = ReadRecords(
        inventory,
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return Os().EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
        },
        &count);
    auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(inventory->printerBuffer);
    if (count == 0) {
        return;
    }
    // The named driver entries, sorted by name: each queue finds its driver's
    // entries in one search, so a print server's thousands of queues cost
    // nothing per driver.
    size_t named = 0;
    for (PackageNode* node = inventory->packages; node != nullptr; node = node->next) {
        for (DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
            named += entry->info != nullptr && entry->info->pName != nullptr ? 1 : 0;
        }
    }
    if (named == 0) {
        return;
    }
    auto* byName = static_cast<DriverEntry**>(Os().LocalAlloc(LPTR, named * sizeof(DriverEntry*)));
    if (byName == nullptr) {
        ++inventory->gaps; // the queues are not known: the inventory is not whole
        return;
    }
    size_t filled = 0;
    for (PackageNode* node = inventory->packages; node != nullptr; node = node->next) {
        for (DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
            if (entry->info != nullptr && entry->info->pName != nullptr) {
                byName[filled++] = entry;
            }
        }
    }
    const auto before = [](const DriverEntry* a, const DriverEntry* b) {
        return wcscmp(a->info->pName, b->info->pName) < 0;
    };
    std::sort(byName, byName + named, before);
    for (DWORD i = 0; i < count; ++i) {
        PRINTER_INFO_2W* printer = &printers[i];
        if (printer->pDriverName == nullptr) {
            continue;
        }
        const auto below = [](const DriverEntry* entry, const WCHAR* name) {
            return wcscmp(entry->info->pName, name) < 0;
        };
        for (DriverEntry** match = std::lower_bound(byName, byName + named, printer->pDriverName, below);
             match != byName + named && wcscmp((*match)->info->pName, printer->pDriverName) == 0; ++match) {
            PrinterEntry* attached = NewRecord<PrinterEntry>();
            if (attached == nullptr) {
                ++inventory->gaps;
                continue;
            }
            attached->info = printer;
            attached->next = (*match)->printers;
            (*match)->printers = attached;
            ++(*match)->printerCount;
        }
    }
    Os().LocalFree(byName);
}

void CollectFamilyMonitors(Inventory* inventory)
{
    DWORD count = 0;
    inventory->monitorBuffer = ReadRecords(
        inventory,
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return Os().EnumMonitorsW(nullptr, 2, buffer, size, needed, returned);
        },
        &count);
    inventory->monitorCount = count;
    auto* monitors = reinterpret_cast<MONITOR_INFO_2W*>(inventory->monitorBuffer);
    for (DWORD i = 0; i < count; ++i) {
        if (monitors[i].pName == nullptr || !IsFamilyMonitorDll(monitors[i].pDLLName) ||
            TakenAlongByADriver(*inventory, monitors[i].pName)) {
            continue;
        }
        MonitorEntry* entry = NewRecord<MonitorEntry>();
        if (entry == nullptr) {
            ++inventory->gaps;
            continue;
        }
        entry->info = &monitors[i];
        entry->next = inventory->monitors;
        inventory->monitors = entry;
    }
}

void ReadInventory(Inventory* inventory)
{
    CollectDriverPackages(inventory);
    CollectPrinterDrivers(inventory);
    AttachPrinters(inventory);
    CollectFamilyMonitors(inventory);
}
