// USB printers of the simulated machine, exposed as Windows does: present
// interfaces of the USB printer class, and the per-port "Device Parameters"
// registry key the USB printing class keeps for each interface.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/wintypes.h"
#include "sim/registry/registry.h"

namespace sim {

// The USB printer device-interface class {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}.
extern const GUID kUsbPrintInterfaceClass;

struct UsbPrinter {
    std::wstring vendorId = L"7A3E"; // as it stands in the interface path, either letter case
    std::wstring productId = L"0001";
    std::wstring serial = L"SN0001"; // the device instance's serial, part of the interface path
    // What the USB printing class recorded; a missing value is left out of the key.
    std::optional<DWORD> portNumber = 1;
    std::optional<std::wstring> portDescription = std::wstring(L"VADedudoro PX630KT");
    std::optional<std::wstring> serialNumber = std::wstring(L"SN0001");
    bool parametersKey = true; // false: the interface exists but its key was never written
    // The Plug and Play hardware ID the device reports; by default the one
    // derived from the port description (sim::Spooler::HardwareId).
    std::optional<std::wstring> hardwareId;
};

class Devices {
public:
    explicit Devices(Registry& registry) : registry_(registry) {}

    // Plugs in (or switches on) a printer: its interface becomes present and its
    // parameters are written. Returns the interface path.
    std::wstring Plug(const UsbPrinter& printer);
    // Unplugs it: the interface is no longer present; like Windows, the
    // registry keeps the key of the port.
    void Unplug(const std::wstring& serial);

    static std::wstring InterfacePath(const UsbPrinter& printer);
    // The key under HKEY_LOCAL_MACHINE that holds an interface's parameters.
    static std::wstring ParametersKey(const UsbPrinter& printer);

    // Present interface paths, in plug order.
    std::vector<std::wstring> PresentInterfaces() const;
    // The present printers, in plug order.
    const std::vector<UsbPrinter>& PresentPrinters() const { return present_; }

    // Device information sets: a snapshot of the present interfaces, as
    // SetupDiGetClassDevsW takes it.
    HDEVINFO OpenSet();
    const std::vector<std::wstring>* Set(HDEVINFO set) const;
    bool CloseSet(HDEVINFO set);
    size_t OpenSets() const { return sets_.size(); }

private:
    Registry& registry_;
    std::vector<UsbPrinter> present_;
    std::map<HDEVINFO, std::vector<std::wstring>> sets_;
    uintptr_t nextSet_ = 0x5000;
};

} // namespace sim
