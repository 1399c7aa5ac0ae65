// The contract host on Windows (and Wine): the real platform binding, with a
// scratch folder under the temporary folder.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32/win32_platform.h"
#include "tests/contract/contract_host.h"

namespace {

bool RunningOnWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring g_scratch;

void RemoveTree(const std::wstring& folder)
{
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

} // namespace

ContractHost CurrentHost()
{
    static const ContractHost host = RunningOnWine() ? ContractHost::Wine : ContractHost::Windows;
    return host;
}

void ContractTest::SetUp()
{
    static bool initialised = false;
    if (!initialised) {
        InitWin32Platform();
        initialised = true;
    }
    SetPlatform(&Win32Platform());
    WCHAR temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    g_scratch = std::wstring(temp) + L"contract-" + std::wstring(name.begin(), name.end());
    RemoveTree(g_scratch);
    CreateDirectoryW(g_scratch.c_str(), nullptr);
}

void ContractTest::TearDown()
{
    RemoveTree(g_scratch);
}

std::wstring ScratchFolder()
{
    return g_scratch;
}

void HostWriteFile(const std::wstring& path, const std::string& content)
{
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    ASSERT_TRUE(file.is_open());
    file << content;
}

bool HostFileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string HostReadFile(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool HostCreateHardLink(const std::wstring& link, const std::wstring& existing)
{
    return CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) != FALSE;
}

LANGID HostUserInterfaceLanguage()
{
    return GetUserDefaultUILanguage();
}

std::wstring DemoDriverFolder()
{
    WCHAR folder[MAX_PATH] = {0};
    DWORD length = GetEnvironmentVariableW(L"PRINTER_SETUP_DEMO_DRIVER", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder) : std::wstring();
}

wchar_t HostUnusedDriveLetter()
{
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'Z'; letter >= L'D'; --letter) {
        if ((drives & (1u << (letter - L'A'))) == 0) {
            return letter;
        }
    }
    return 0;
}

HINSTANCE HostModuleInstance()
{
    return GetModuleHandleW(nullptr);
}

UINT HostAnsiCodePage()
{
    return GetACP();
}

void HostSetRegistryValue(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, size_t size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
    ::RegCloseKey(key);
}

void HostDeleteRegistryKey(const std::wstring& path)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
}

namespace {

const wchar_t kUsbPrintClass[] = L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

std::wstring InstancePath(const std::wstring& serial)
{
    return L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_7A3E&PID_00C7\\" + serial;
}

std::wstring InterfaceKey(const std::wstring& serial)
{
    return std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\") + kUsbPrintClass +
           L"\\##?#USB#VID_7A3E&PID_00C7#" + serial + L"#" + kUsbPrintClass;
}

void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text)
{
    HostSetRegistryValue(path, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
}

} // namespace

// Wine lists an interface of the USB printer class as present when these keys exist.
bool HostPlugUsbPrinter(const std::wstring& serial, DWORD portNumber, const std::wstring& description)
{
    if (CurrentHost() != ContractHost::Wine) {
        return false;
    }
    SetString(InstancePath(serial), L"ClassGUID", L"{36FC9E60-C465-11CF-8056-444553540000}");
    SetString(InterfaceKey(serial), L"DeviceInstance", L"USB\\VID_7A3E&PID_00C7\\" + serial);
    DWORD linked = 1;
    HostSetRegistryValue(InterfaceKey(serial) + L"\\#\\Control", L"Linked", REG_DWORD, &linked, sizeof(linked));
    const std::wstring parameters = InterfaceKey(serial) + L"\\#\\Device Parameters";
    SetString(parameters, L"Port Description", description);
    HostSetRegistryValue(parameters, L"Port Number", REG_DWORD, &portNumber, sizeof(portNumber));
    SetString(parameters, L"Serial Number", serial);
    SetString(parameters, L"Base Name", L"USB");
    return true;
}

void HostUnplugUsbPrinter(const std::wstring& serial)
{
    HostDeleteRegistryKey(InterfaceKey(serial));
    HostDeleteRegistryKey(InstancePath(serial));
}
