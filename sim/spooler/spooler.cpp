#include "sim/spooler/spooler.h"

#include <algorithm>
#include <cwchar>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"
#include "sim/spooler/spooling.h"

namespace sim::spooling {

std::wstring FileName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring Folder(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring AsciiLower(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return Volume::Key(a) == Volume::Key(b);
}

std::wstring UsbPortName(DWORD number)
{
    wchar_t name[16];
    std::swprintf(name, 16, L"USB%03u", static_cast<unsigned>(number));
    return name;
}

} // namespace sim::spooling

namespace sim {

using namespace spooling;

namespace {

struct EnvironmentInfo {
    WORD architecture;
    const wchar_t* name;
    const wchar_t* driverFolder;       // below spool\drivers
    const wchar_t* architectureFolder; // INF decorations and driver store names
};

const EnvironmentInfo kEnvironments[] = {
    {PROCESSOR_ARCHITECTURE_AMD64, L"Windows x64", L"x64", L"amd64"},
    {PROCESSOR_ARCHITECTURE_INTEL, L"Windows NT x86", L"W32X86", L"x86"},
    {PROCESSOR_ARCHITECTURE_ARM64, L"Windows ARM64", L"arm64", L"arm64"},
    {PROCESSOR_ARCHITECTURE_ARM, L"Windows ARM", L"arm", L"arm"},
};

const EnvironmentInfo& EnvironmentFor(WORD architecture)
{
    for (const EnvironmentInfo& info : kEnvironments) {
        if (info.architecture == architecture) {
            return info;
        }
    }
    return kEnvironments[0];
}

const EnvironmentInfo* EnvironmentNamed(const std::wstring& name)
{
    for (const EnvironmentInfo& info : kEnvironments) {
        if (EqualsNoCase(name, info.name)) {
            return &info;
        }
    }
    return nullptr;
}

// The 16-bit checksum that ends a USB printer's hardware ID, over the bytes
// of its text in the ANSI code page.
WORD DeviceChecksum(const std::wstring& text)
{
    static const WORD kLow[16] = {0x0000, 0xC0C1, 0xC181, 0x0140, 0xC301, 0x03C0, 0x0280, 0xC241,
                                  0xC601, 0x06C0, 0x0780, 0xC741, 0x0500, 0xC5C1, 0xC481, 0x0440};
    static const WORD kHigh[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                                   0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4600};
    WORD value = 0;
    for (wchar_t c : text) {
        unsigned char byte = '?';
        EncodeAnsi(c, &byte);
        const unsigned index = (value & 0xFFu) ^ byte;
        value = static_cast<WORD>(kHigh[index >> 4] ^ kLow[index & 15] ^ (value >> 8));
    }
    return value;
}

} // namespace

Spooler::Spooler(Volume& volume, Registry& registry, Devices& devices, VirtualClock& clock,
                 const std::wstring& systemDirectory, const WORD& processorArchitecture)
    : volume_(volume), registry_(registry), devices_(devices), clock_(clock), systemDirectory_(systemDirectory),
      processorArchitecture_(processorArchitecture)
{
    timeline_.push_back({0, SERVICE_RUNNING});
    volume_.CreateDirectory(DriverDirectory());
}

// ---- Environment ----

std::wstring Spooler::Environment() const
{
    return EnvironmentFor(processorArchitecture_).name;
}

std::wstring Spooler::ArchitectureFolder() const
{
    return EnvironmentFor(processorArchitecture_).architectureFolder;
}

std::wstring Spooler::Platform() const
{
    return L"NT" + ArchitectureFolder();
}

std::wstring Spooler::DriverDirectory() const
{
    return DriverDirectory(Environment());
}

std::wstring Spooler::DriverDirectory(const std::wstring& environment) const
{
    const EnvironmentInfo* info = EnvironmentNamed(environment);
    return systemDirectory_ + L"\\spool\\drivers\\" +
           (info != nullptr ? info->driverFolder : EnvironmentFor(processorArchitecture_).driverFolder);
}

DWORD Spooler::ResolveEnvironment(const std::wstring& requested, std::wstring* environment) const
{
    if (requested.empty()) {
        *environment = Environment();
        return ERROR_SUCCESS;
    }
    const EnvironmentInfo* info = EnvironmentNamed(requested);
    if (info == nullptr) {
        return kErrorInvalidEnvironment;
    }
    *environment = info->name;
    return ERROR_SUCCESS;
}

std::wstring Spooler::SystemFile(const std::wstring& name) const
{
    return systemDirectory_ + L"\\" + name;
}

std::wstring Spooler::HardwareId(const UsbPrinter& printer)
{
    if (printer.hardwareId) {
        return *printer.hardwareId;
    }
    if (!printer.portDescription) {
        return std::wstring();
    }
    const std::wstring text = printer.portDescription->substr(0, 32);
    wchar_t checksum[8];
    std::swprintf(checksum, 8, L"%04x", static_cast<unsigned>(DeviceChecksum(text)));
    return L"usbprint\\" + AsciiLower(text) + checksum;
}

} // namespace sim
