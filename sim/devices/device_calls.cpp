// Device setup operations of the simulated machine: the USB printer class's
// device interfaces.
#include <cstddef>
#include <cstring>

#include "sim/sim_platform.h"

namespace sim {

namespace {

bool SameGuid(const GUID* a, const GUID& b)
{
    return a != nullptr && std::memcmp(a, &b, sizeof(GUID)) == 0;
}

const DWORD kInvalidUserBuffer = 1784; // ERROR_INVALID_USER_BUFFER

// The interfaces of an open set, for an interface record of the right size;
// null with the last error set otherwise (badRecord for the record).
const std::vector<std::wstring>* InterfacesOf(Devices& devices, HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                              DWORD badRecord)
{
    const std::vector<std::wstring>* interfaces = devices.Set(set);
    if (interfaces == nullptr) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
    } else if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastErrorCode(badRecord);
        interfaces = nullptr;
    }
    return interfaces;
}

} // namespace

HDEVINFO SimPlatform::SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND, DWORD flags)
{
    if (Injected("SetupDiGetClassDevsW")) {
        return INVALID_HANDLE_VALUE;
    }
    if (!SameGuid(classGuid, kUsbPrintInterfaceClass) || enumerator != nullptr ||
        flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
        machine_.ReportViolation("SetupDiGetClassDevsW other than for present USB printer interfaces");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return machine_.devices.OpenSet();
}

BOOL SimPlatform::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, const GUID* classGuid,
                                              DWORD index, PSP_DEVICE_INTERFACE_DATA data)
{
    if (Injected("SetupDiEnumDeviceInterfaces")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    const std::vector<std::wstring>* interfaces = InterfacesOf(machine_.devices, set, data, kInvalidUserBuffer);
    if (interfaces == nullptr) {
        return FALSE;
    }
    if (deviceInfo != nullptr || !SameGuid(classGuid, kUsbPrintInterfaceClass) || index >= interfaces->size()) {
        SetLastErrorCode(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->InterfaceClassGuid = kUsbPrintInterfaceClass;
    data->Flags = 1; // SPINT_ACTIVE
    data->Reserved = index + 1;
    return TRUE;
}

BOOL SimPlatform::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                   PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                   PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo)
{
    if (Injected("SetupDiGetDeviceInterfaceDetailW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    const std::vector<std::wstring>* interfaces = InterfacesOf(machine_.devices, set, data, ERROR_INVALID_PARAMETER);
    if (interfaces == nullptr) {
        return FALSE;
    }
    if (data->Reserved == 0 || data->Reserved > interfaces->size()) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::wstring& path = (*interfaces)[data->Reserved - 1];
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR));
    if (requiredSize != nullptr) {
        *requiredSize = needed;
    }
    if (detail == nullptr) {
        if (detailSize != 0) {
            SetLastErrorCode(kInvalidUserBuffer);
            return FALSE;
        }
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // The size field must hold the size of the record for this platform's layout.
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        SetLastErrorCode(kInvalidUserBuffer);
        return FALSE;
    }
    if (detailSize < needed) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (deviceInfo != nullptr) {
        if (deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastErrorCode(kInvalidUserBuffer);
            return FALSE;
        }
        deviceInfo->DevInst = static_cast<DWORD>(data->Reserved);
        deviceInfo->Reserved = data->Reserved;
    }
    std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL SimPlatform::SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    if (Injected("SetupDiDestroyDeviceInfoList")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (!machine_.devices.CloseSet(set)) {
        machine_.ReportViolation("SetupDiDestroyDeviceInfoList of a set that is not open");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

} // namespace sim
