// What the simulated spooler's files share: its registry keys, the
// environments it knows, and small path and text helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim::spooling {

inline const wchar_t kPackageInstallationKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\";
inline const wchar_t kMonitorsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
inline const DWORD kSpoolerProcessId = 0x0F3C;
inline const DWORD kPendingWaitHintMs = 2000;
inline const DWORD kAcceptStop = 0x00000001;         // SERVICE_ACCEPT_STOP
inline const DWORD kErrorGeneralSyntax = 0xE0000203; // ERROR_GENERAL_SYNTAX

struct EnvironmentInfo {
    WORD architecture;
    const wchar_t* name;
    const wchar_t* driverFolder;       // below spool\drivers
    const wchar_t* architectureFolder; // INF decorations and driver store names
};

inline const EnvironmentInfo kEnvironments[] = {
    {PROCESSOR_ARCHITECTURE_AMD64, L"Windows x64", L"x64", L"amd64"},
    {PROCESSOR_ARCHITECTURE_INTEL, L"Windows NT x86", L"W32X86", L"x86"},
    {PROCESSOR_ARCHITECTURE_ARM64, L"Windows ARM64", L"arm64", L"arm64"},
    {PROCESSOR_ARCHITECTURE_ARM, L"Windows ARM", L"arm", L"arm"},
};

// The data types the standard print processor takes.
inline const wchar_t* const kWinprintDatatypes[] = {
    L"RAW",          L"RAW [FF appended]", L"RAW [FF auto]", L"NT EMF 1.003", L"NT EMF 1.006",
    L"NT EMF 1.007", L"NT EMF 1.008",      L"TEXT",          L"XPS2GDI"};

const EnvironmentInfo& EnvironmentFor(WORD architecture);
const EnvironmentInfo* EnvironmentNamed(const std::wstring& name);
std::wstring FileName(const std::wstring& path);
std::wstring Folder(const std::wstring& path);
std::wstring AsciiLower(std::wstring text);
bool SamePath(const std::wstring& a, const std::wstring& b);
uint64_t Fnv1a(const std::string& bytes);
std::wstring UsbPortName(DWORD number);
uint64_t Ticks(const FILETIME& time);
// The 16-bit checksum that ends a USB printer's hardware ID, over the bytes
// of its text in the ANSI code page.
WORD DeviceChecksum(const std::wstring& text);

// The records of a table, in its order.
template <typename Table> std::vector<typename Table::mapped_type> ValuesOf(const Table& table)
{
    std::vector<typename Table::mapped_type> values;
    for (const auto& entry : table) {
        values.push_back(entry.second);
    }
    return values;
}

} // namespace sim::spooling
