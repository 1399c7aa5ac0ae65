#include "sim/devices/devices.h"

#include <algorithm>

#include "sim/kernel/wide.h"

namespace sim {

const GUID kUsbPrintInterfaceClass = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

namespace {

const wchar_t kClassText[] = L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

} // namespace

std::wstring Devices::InterfacePath(const UsbPrinter& printer)
{
    return L"\\\\?\\usb#vid_" + printer.vendorId + L"&pid_" + printer.productId + L"#" + printer.serial + L"#" +
           kClassText;
}

std::wstring Devices::ParametersKey(const UsbPrinter& printer)
{
    return std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\") + kClassText + L"\\##?#USB#VID_" +
           printer.vendorId + L"&PID_" + printer.productId + L"#" + printer.serial + L"#" + kClassText +
           L"\\#\\Device Parameters";
}

std::wstring Devices::Plug(const UsbPrinter& printer)
{
    Unplug(printer.serial);
    present_.push_back(printer);
    if (printer.parametersKey) {
        const std::wstring key = ParametersKey(printer);
        registry_.DeleteKey(HKEY_LOCAL_MACHINE, key);
        registry_.CreateKey(HKEY_LOCAL_MACHINE, key);
        if (printer.portDescription) {
            registry_.SetString(HKEY_LOCAL_MACHINE, key, L"Port Description", *printer.portDescription);
        }
        if (printer.portNumber) {
            registry_.SetDword(HKEY_LOCAL_MACHINE, key, L"Port Number", *printer.portNumber);
        }
        if (printer.serialNumber) {
            registry_.SetString(HKEY_LOCAL_MACHINE, key, L"Serial Number", *printer.serialNumber);
        }
        registry_.SetString(HKEY_LOCAL_MACHINE, key, L"Base Name", L"USB");
    }
    return InterfacePath(printer);
}

void Devices::Unplug(const std::wstring& serial)
{
    present_.erase(std::remove_if(present_.begin(), present_.end(),
                                  [&](const UsbPrinter& p) { return EqualsNoCase(p.serial, serial); }),
                   present_.end());
}

std::vector<std::wstring> Devices::PresentInterfaces() const
{
    std::vector<std::wstring> paths;
    for (const UsbPrinter& printer : present_) {
        paths.push_back(InterfacePath(printer));
    }
    return paths;
}

HDEVINFO Devices::OpenSet()
{
    HDEVINFO set = reinterpret_cast<HDEVINFO>(nextSet_);
    nextSet_ += 8;
    sets_[set] = PresentInterfaces();
    return set;
}

const std::vector<std::wstring>* Devices::Set(HDEVINFO set) const
{
    auto found = sets_.find(set);
    return found == sets_.end() ? nullptr : &found->second;
}

bool Devices::CloseSet(HDEVINFO set)
{
    return sets_.erase(set) == 1;
}

} // namespace sim
