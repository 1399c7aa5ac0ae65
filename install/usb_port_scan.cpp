#include "install/usb_port_scan.h"

#include <cwchar>

#include "common/format.h"
#include "common/platform.h"
#include "install/hardware_id_checksum.h"

UsbPortRecord* UsbPortList;

namespace {

const GUID kUsbPrintClass = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const WCHAR kParametersKeyTemplate[] =
    L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\##?#%ws\\#\\Device "
    L"Parameters";
const size_t kVendorIdOffset = 12;  // right after "\\?\usb#vid_"
const size_t kPathPrefixLength = 4; // "\\?\"

// The interface path of one enumerated interface, in a block the caller frees;
// null when it cannot be fetched.
SP_DEVICE_INTERFACE_DETAIL_DATA_W* FetchInterfaceDetail(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                        DWORD* detailSize)
{
    DWORD needed = 0;
    Os().SetupDiGetDeviceInterfaceDetailW(devices, interfaceData, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return nullptr;
    }
    // One more character of zeros, so the path is terminated whatever the call wrote.
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(Os().LocalAlloc(LPTR, needed + sizeof(WCHAR)));
    if (detail == nullptr) {
        return nullptr;
    }
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA deviceInfo = {};
    deviceInfo.cbSize = sizeof(deviceInfo);
    if (!Os().SetupDiGetDeviceInterfaceDetailW(devices, interfaceData, detail, needed, nullptr, &deviceInfo)) {
        Os().LocalFree(detail);
        return nullptr;
    }
    *detailSize = needed;
    return detail;
}

// A string value, cut to its first 32 characters; empty when it cannot be read.
void ReadStringValue(HKEY key, const WCHAR* name, WCHAR* field, size_t capacity)
{
    DWORD size = 0;
    if (Os().RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) {
        return;
    }
    auto* text = static_cast<WCHAR*>(Os().LocalAlloc(LPTR, size + sizeof(WCHAR)));
    if (text == nullptr) {
        return;
    }
    if (Os().RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS) {
        FormatBounded(field, capacity, L"%.32ws", text);
    }
    Os().LocalFree(text);
}

bool ReadPortNumber(HKEY key, DWORD* portNumber)
{
    DWORD size = sizeof(*portNumber);
    return Os().RegGetValueW(key, nullptr, L"Port Number", RRF_RT_REG_DWORD, nullptr, portNumber, &size) ==
           ERROR_SUCCESS;
}

// Checksum of the description in the system's ANSI code page, as "%04x".
void FormatChecksum(UsbPortRecord* record)
{
    // Only a description terminated within 255 characters is converted.
    size_t length = wcsnlen(record->description, 256);
    BYTE ansi[256] = {0};
    int converted = 0;
    if (length > 0 && length <= 255) {
        converted = Os().WideCharToMultiByte(CP_ACP, 0, record->description, static_cast<int>(length),
                                             reinterpret_cast<LPSTR>(ansi), 255, nullptr, nullptr);
    }
    WORD checksum = HardwareIdChecksum(ansi, converted > 0 ? static_cast<size_t>(converted) : 0);
    FormatBounded(record->checksumText, 5, L"%04x", checksum);
}

void FormatHardwareId(UsbPortRecord* record)
{
    FormatBounded(record->hardwareId, 260, L"usbprint\\%ws%ws", record->description, record->checksumText);
    for (WCHAR* c = record->hardwareId; *c != 0; ++c) {
        if (*c >= L'A' && *c <= L'Z') {
            *c = static_cast<WCHAR>(*c - L'A' + L'a');
        }
    }
}

// Builds the record of one interface from its parameters key; null when the
// key cannot be opened or the port is unknown.
UsbPortRecord* ReadPortRecord(const WCHAR* devicePath, const WCHAR* vendorId, DWORD detailSize)
{
    size_t keyCapacity = detailSize / sizeof(WCHAR) + sizeof(kParametersKeyTemplate) / sizeof(WCHAR);
    auto* keyPath = static_cast<WCHAR*>(Os().LocalAlloc(LPTR, keyCapacity * sizeof(WCHAR)));
    if (keyPath == nullptr) {
        return nullptr;
    }
    FormatBounded(keyPath, keyCapacity, kParametersKeyTemplate, devicePath + kPathPrefixLength);
    HKEY key = nullptr;
    LSTATUS opened = Os().RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key);
    Os().LocalFree(keyPath);
    if (opened != ERROR_SUCCESS) {
        return nullptr;
    }

    UsbPortRecord* record = nullptr;
    DWORD portNumber = 0;
    // Nothing can be installed on a port whose number is unknown, nor on one
    // whose number "%d" would print negative ("USB-001" names no port).
    if (ReadPortNumber(key, &portNumber) && portNumber <= 0x7FFFFFFF) {
        record = static_cast<UsbPortRecord*>(Os().LocalAlloc(LPTR, sizeof(UsbPortRecord)));
    }
    if (record != nullptr) {
        ReadStringValue(key, L"Port Description", record->description, 260);
        FormatBounded(record->portName, 260, L"USB%.3d", static_cast<int>(portNumber));
        ReadStringValue(key, L"Serial Number", record->serialNumber, 260);
        FormatBounded(record->vendorId, 5, L"%ws", vendorId);
        FormatChecksum(record);
        record->valid = 1;
        FormatHardwareId(record);
    }
    Os().RegCloseKey(key);
    return record;
}

void FreeUsbPortList()
{
    while (UsbPortList != nullptr) {
        UsbPortRecord* next = UsbPortList->next;
        Os().LocalFree(UsbPortList);
        UsbPortList = next;
    }
}

} // namespace

int ScanUsbPrinterPorts()
{
    FreeUsbPortList();
    HDEVINFO devices =
        Os().SetupDiGetClassDevsW(&kUsbPrintClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int count = 0;
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof(interfaceData);
    for (DWORD index = 0; Os().SetupDiEnumDeviceInterfaces(devices, nullptr, &kUsbPrintClass, index, &interfaceData);
         ++index) {
        DWORD detailSize = 0;
        SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = FetchInterfaceDetail(devices, &interfaceData, &detailSize);
        if (detail == nullptr) {
            continue;
        }
        const WCHAR* path = detail->DevicePath;
        WCHAR vendorId[5] = {0};
        // A path too short to hold a vendor ID has none.
        if (wcsnlen(path, kVendorIdOffset) == kVendorIdOffset) {
            FormatBounded(vendorId, 5, L"%.4ws", path + kVendorIdOffset);
        }
        if (wcscmp(vendorId, L"7A3E") == 0 || wcscmp(vendorId, L"7a3e") == 0) {
            UsbPortRecord* record = ReadPortRecord(path, vendorId, detailSize);
            if (record != nullptr) {
                record->next = UsbPortList;
                UsbPortList = record;
                ++count;
            }
        }
        Os().LocalFree(detail);
    }
    Os().SetupDiDestroyDeviceInfoList(devices);
    return count;
}

const UsbPortRecord* FindUsbPort(const WCHAR* portName)
{
    for (const UsbPortRecord* record = UsbPortList; record != nullptr; record = record->next) {
        if (wcscmp(record->portName, portName) == 0) {
            return record;
        }
    }
    return nullptr;
}
