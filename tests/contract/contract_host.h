// What a contract test needs from the machine it runs on, outside the
// platform interface: a scratch folder, files to work on, and which machine
// it is. Implemented once for the simulated machine and once for Windows
// (run under Wine here), so the same tests hold both to one contract.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/platform.h"

enum class ContractHost { Simulated, Windows, Wine };

ContractHost CurrentHost();

// An empty folder of this test's own (absolute path, no trailing backslash).
std::wstring ScratchFolder();
void HostWriteFile(const std::wstring& path, const std::string& content);
bool HostFileExists(const std::wstring& path);
std::string HostReadFile(const std::wstring& path);
// Gives an existing file a second name; false where the host cannot.
bool HostCreateHardLink(const std::wstring& link, const std::wstring& existing);
// The language the platform's resource loader picks for the user interface.
LANGID HostUserInterfaceLanguage();
// The running program's module, which carries the tool's resources.
HINSTANCE HostModuleInstance();
UINT HostAnsiCodePage();
// Registry staging below HKEY_LOCAL_MACHINE, for tests that read it back.
void HostSetRegistryValue(const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
                          size_t size);
void HostDeleteRegistryKey(const std::wstring& path);
// Plugs in a USB printer of the maker's vendor ID the way the USB printing
// class records it; false where the host cannot (a real Windows needs a real printer).
bool HostPlugUsbPrinter(const std::wstring& serial, DWORD portNumber, const std::wstring& description);
void HostUnplugUsbPrinter(const std::wstring& serial);

// A drive letter (upper case) with no drive behind it, or 0 when all are taken.
wchar_t HostUnusedDriveLetter();

// The demo driver folder (with amd64\qxvprtmon.dll ...), or empty when the run has none.
std::wstring DemoDriverFolder();

// Where Wine does not do what Windows does, the test says so: a named,
// counted skip with the reason, never a silent pass.
#define SKIP_ON_WINE(reason)                                                                                           \
    do {                                                                                                               \
        if (CurrentHost() == ContractHost::Wine) {                                                                     \
            GTEST_SKIP() << "Wine differs from Windows here: " reason;                                                 \
        }                                                                                                              \
    } while (0)

// Parts of Windows the simulated machine does not model yet.
#define SKIP_ON_SIMULATOR(reason)                                                                                      \
    do {                                                                                                               \
        if (CurrentHost() == ContractHost::Simulated) {                                                                \
            GTEST_SKIP() << "not modelled by the simulated machine yet: " reason;                                      \
        }                                                                                                              \
    } while (0)

inline DWORD LastError()
{
    return Os().GetLastError();
}

// ASCII lower case: Windows compares these paths without regard to case.
inline std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c + 32 : c);
    }
    return text;
}

class ContractTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
