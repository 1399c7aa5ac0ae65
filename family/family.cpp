#include "family/family.h"

#include <cwchar>

#include "family/driver_files.h"

bool IsFamilyDriver(const DRIVER_INFO_8W& driver)
{
    return driver.pDriverPath != nullptr && wcsstr(driver.pDriverPath, DRIVER_RENDER_DLL) != nullptr;
}

bool EqualsIgnoringAsciiCase(const WCHAR* a, const WCHAR* b)
{
    for (; *a != 0 && *b != 0; ++a, ++b) {
        const WCHAR lowerA = (*a >= L'A' && *a <= L'Z') ? static_cast<WCHAR>(*a + 32) : *a;
        const WCHAR lowerB = (*b >= L'A' && *b <= L'Z') ? static_cast<WCHAR>(*b + 32) : *b;
        if (lowerA != lowerB) {
            return false;
        }
    }
    return *a == 0 && *b == 0;
}

bool IsFamilyMonitorDll(const WCHAR* dll)
{
    if (dll == nullptr) {
        return false;
    }
    const WCHAR* name = wcsrchr(dll, L'\\') != nullptr ? wcsrchr(dll, L'\\') + 1 : dll;
    return EqualsIgnoringAsciiCase(name, DRIVER_MONITOR_DLL);
}

bool IsFamilyPackage(const WCHAR* storedInfPath)
{
    return wcsstr(storedInfPath, DRIVER_INF_FILE) != nullptr;
}
