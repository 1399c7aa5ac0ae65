#include "uninstall/component_inventory.h"

#include <cstring>
#include <cwchar>

#include "common/enumeration.h"
#include "common/format.h"
#include "common/platform.h"

PackageNode* ComponentInventory;
BYTE* DriverEnumerationBuffer;
BYTE* PrinterEnumerationBuffer;
int InventoryGaps;

namespace {

const WCHAR kFamilyInf[] = L"qxvprtv6.inf";
const WCHAR kFamilyRenderDll[] = L"qxvprtdrv6.dll";
// At most 1024 bytes of a Windows path value: 512 characters on every host.
const DWORD kStorePathBytes = 512 * sizeof(WCHAR);

const WCHAR* SpoolerEnvironment()
{
    SYSTEM_INFO system = {};
    Os().GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
        return L"Windows NT x86";
    case PROCESSOR_ARCHITECTURE_ARM:
        return L"Windows ARM";
    case PROCESSOR_ARCHITECTURE_AMD64:
        return L"Windows x64";
    case PROCESSOR_ARCHITECTURE_ARM64:
        return L"Windows ARM64";
    default:
        return nullptr;
    }
}

template <typename Record> Record* NewRecord()
{
    return static_cast<Record*>(Os().LocalAlloc(LPTR, sizeof(Record)));
}

bool HasText(const WCHAR* text)
{
    return text != nullptr && text[0] != 0;
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

void AddPackageFromKey(HKEY packages, const WCHAR* subkeyName, WCHAR* path)
{
    HKEY package = nullptr;
    if (Os().RegOpenKeyW(packages, subkeyName, &package) != ERROR_SUCCESS) {
        return;
    }
    // A read that fails must not leave the previous package's path behind.
    std::memset(path, 0, 1024 * sizeof(WCHAR));
    DWORD size = kStorePathBytes;
    LSTATUS read = Os().RegGetValueW(package, nullptr, L"DriverStorePath", RRF_RT_REG_MULTI_SZ, nullptr, path, &size);
    Os().RegCloseKey(package);
    if (read != ERROR_SUCCESS || wcsstr(path, kFamilyInf) == nullptr) {
        return;
    }
    PackageNode* node = NewRecord<PackageNode>();
    if (node == nullptr) {
        ++InventoryGaps;
        return;
    }
    FormatBounded(node->infPath, 1024, L"%ws", path);
    const WCHAR* lastBackslash = wcsrchr(path, L'\\');
    if (lastBackslash != nullptr) {
        FormatBounded(node->infFileName, 50, L"%ws", lastBackslash + 1);
    }
    ReadDriverVer(node);
    node->next = ComponentInventory;
    ComponentInventory = node;
}

bool IsFamilyDriver(const DRIVER_INFO_8W& driver)
{
    return driver.pDriverPath != nullptr && wcsstr(driver.pDriverPath, kFamilyRenderDll) != nullptr;
}

// Attaches a copy of the record to every package node; the number attached.
int AttachToEveryPackage(DRIVER_INFO_8W* record)
{
    int attached = 0;
    for (PackageNode* node = ComponentInventory; node != nullptr; node = node->next) {
        if (node->infPath[0] == 0 && HasText(record->pszInfPath)) {
            FormatBounded(node->infPath, 1024, L"%ws", record->pszInfPath);
        }
        DriverEntry* entry = NewRecord<DriverEntry>();
        if (entry == nullptr) {
            continue;
        }
        entry->next = node->drivers;
        node->drivers = entry;
        auto* copy = static_cast<DRIVER_INFO_8W*>(Os().LocalAlloc(LPTR, sizeof(DRIVER_INFO_8W)));
        if (copy != nullptr) {
            std::memcpy(copy, record, sizeof(*copy));
            entry->info = copy;
            ++node->driverCount;
            ++attached;
        }
    }
    return attached;
}

void AddOrphanPackage(DRIVER_INFO_8W* record)
{
    DriverEntry* entry = NewRecord<DriverEntry>();
    PackageNode* node = NewRecord<PackageNode>();
    if (entry == nullptr || node == nullptr) {
        Os().LocalFree(entry);
        Os().LocalFree(node);
        ++InventoryGaps;
        return;
    }
    entry->info = record;
    node->drivers = entry;
    node->driverCount = 1;
    node->next = ComponentInventory;
    ComponentInventory = node;
}

} // namespace

void CollectDriverPackages()
{
    const WCHAR* environment = SpoolerEnvironment();
    if (environment == nullptr) {
        return;
    }
    WCHAR path[1024] = {0};
    FormatBounded(path, 1024,
                  L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\%ws\\DriverPackages",
                  environment);
    HKEY packages = nullptr;
    if (Os().RegOpenKeyW(HKEY_LOCAL_MACHINE, path, &packages) != ERROR_SUCCESS) {
        return;
    }
    WCHAR name[MAX_PATH];
    for (DWORD index = 0; Os().RegEnumKeyW(packages, index, name, MAX_PATH) == ERROR_SUCCESS; ++index) {
        AddPackageFromKey(packages, name, path);
    }
    Os().RegCloseKey(packages);
}

void CollectPrinterDrivers()
{
    DWORD count = 0;
    DriverEnumerationBuffer = EnumerateRecords(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return Os().EnumPrinterDriversW(nullptr, nullptr, 8, buffer, size, needed, returned);
        },
        &count);
    auto* drivers = reinterpret_cast<DRIVER_INFO_8W*>(DriverEnumerationBuffer);
    for (DWORD i = 0; i < count; ++i) {
        DRIVER_INFO_8W* record = &drivers[i];
        if (!IsFamilyDriver(*record)) {
            continue;
        }
        if (ComponentInventory == nullptr) {
            if (!HasText(record->pszInfPath)) {
                AddOrphanPackage(record);
                continue;
            }
            ComponentInventory = NewRecord<PackageNode>();
            if (ComponentInventory == nullptr) {
                AddOrphanPackage(record);
                continue;
            }
        }
        if (AttachToEveryPackage(record) == 0) {
            AddOrphanPackage(record);
        }
    }
}

void AttachPrinters()
{
    DWORD count = 0;
    PrinterEnumerationBuffer = EnumerateRecords(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return Os().EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
        },
        &count);
    auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(PrinterEnumerationBuffer);
    for (DWORD i = 0; i < count; ++i) {
        PRINTER_INFO_2W* printer = &printers[i];
        for (PackageNode* node = ComponentInventory; node != nullptr; node = node->next) {
            for (DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
                if (entry->info == nullptr || entry->info->pName == nullptr || printer->pDriverName == nullptr ||
                    wcscmp(printer->pDriverName, entry->info->pName) != 0) {
                    continue;
                }
                PrinterEntry* attached = NewRecord<PrinterEntry>();
                if (attached == nullptr) {
                    ++InventoryGaps;
                    continue;
                }
                attached->info = printer;
                attached->next = entry->printers;
                entry->printers = attached;
                ++entry->printerCount;
            }
        }
    }
}
