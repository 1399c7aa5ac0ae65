// Registry operations of the simulated machine.
#include "sim/sim_platform.h"

namespace sim {

LSTATUS SimPlatform::RegOpenKeyW(HKEY key, LPCWSTR subKey, PHKEY result)
{
    DWORD error = ERROR_SUCCESS;
    if (Injected("RegOpenKeyW", &error)) {
        return static_cast<LSTATUS>(error);
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return machine_.registry.Open(key, subKey, result);
}

LSTATUS SimPlatform::RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM, PHKEY result)
{
    DWORD error = ERROR_SUCCESS;
    if (Injected("RegOpenKeyExW", &error)) {
        return static_cast<LSTATUS>(error);
    }
    if (options != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return machine_.registry.Open(key, subKey, result);
}

LSTATUS SimPlatform::RegEnumKeyW(HKEY key, DWORD index, LPWSTR name, DWORD capacity)
{
    DWORD error = ERROR_SUCCESS;
    if (Injected("RegEnumKeyW", &error)) {
        return static_cast<LSTATUS>(error);
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return machine_.registry.EnumKey(key, index, name, capacity);
}

LSTATUS SimPlatform::RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, LPDWORD type, PVOID data,
                                  LPDWORD size)
{
    DWORD error = ERROR_SUCCESS;
    if (Injected("RegGetValueW", &error)) {
        return static_cast<LSTATUS>(error);
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return machine_.registry.GetValue(key, subKey, valueName, flags, type, data, size);
}

LSTATUS SimPlatform::RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                      LPDWORD size)
{
    DWORD error = ERROR_SUCCESS;
    if (Injected("RegQueryValueExW", &error)) {
        return static_cast<LSTATUS>(error);
    }
    if (reserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return machine_.registry.QueryValue(key, valueName, type, data, size);
}

LSTATUS SimPlatform::RegCloseKey(HKEY key)
{
    DWORD error = ERROR_SUCCESS;
    if (Injected("RegCloseKey", &error)) {
        return static_cast<LSTATUS>(error);
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    LSTATUS result = machine_.registry.Close(key);
    if (result != ERROR_SUCCESS) {
        machine_.ReportViolation("RegCloseKey of a key that is not open");
    }
    return result;
}

} // namespace sim
