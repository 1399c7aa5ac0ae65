// The spooler, the service manager, device setup and the registry: the
// answers the installation and removal depend on.
#include <string>

#include "tests/contract/contract_host.h"

namespace {

using SystemContract = ContractTest;

DWORD LastError()
{
    return Os().GetLastError();
}

TEST_F(SystemContract, OpeningAMissingQueueFailsWithInvalidPrinterName)
{
    SKIP_ON_SIMULATOR("print spooler");
    HANDLE printer = nullptr;
    WCHAR name[] = L"VADedudoro PX630KT (no such queue)";
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_FALSE(Os().OpenPrinterW(name, &printer, &defaults));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(SystemContract, DeletingAnUnknownDriverFailsWithUnknownPrinterDriver)
{
    SKIP_ON_SIMULATOR("print spooler");
    SKIP_ON_WINE("DeletePrinterDriverExW of a missing driver leaves last error 0 instead of 1797");
    WCHAR name[] = L"VADedudoro PX000 (no such driver)";
    EXPECT_FALSE(Os().DeletePrinterDriverExW(nullptr, nullptr, name, DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_F(SystemContract, TheDriverEnumerationAnswersASizeQuery)
{
    SKIP_ON_SIMULATOR("print spooler");
    DWORD needed = 0;
    DWORD returned = 0;
    BOOL ok = Os().EnumPrinterDriversW(nullptr, nullptr, 8, nullptr, 0, &needed, &returned);
    if (needed == 0) {
        EXPECT_TRUE(ok) << "no drivers: nothing needed";
        return;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::string buffer(needed, '\0');
    ASSERT_TRUE(Os().EnumPrinterDriversW(nullptr, nullptr, 8, reinterpret_cast<LPBYTE>(&buffer[0]), needed, &needed,
                                         &returned));
    auto* drivers = reinterpret_cast<DRIVER_INFO_8W*>(&buffer[0]);
    for (DWORD i = 0; i < returned; ++i) {
        EXPECT_NE(drivers[i].pName, nullptr);
    }
}

TEST_F(SystemContract, TheDriverDirectoryIsTheSpoolersForThisEnvironment)
{
    SKIP_ON_SIMULATOR("print spooler");
    WCHAR folder[MAX_PATH] = {0};
    DWORD needed = 0;
    ASSERT_TRUE(Os().GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), sizeof(folder),
                                                &needed));
    std::wstring path = folder;
    std::wstring lower;
    for (wchar_t c : path) {
        lower += static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c + 32 : c);
    }
    EXPECT_NE(lower.find(L"\\spool\\drivers\\x64"), std::wstring::npos)
        << "got " << std::string(path.begin(), path.end());
}

TEST_F(SystemContract, AMonitorAddedTwiceFailsWithAlreadyInstalled)
{
    SKIP_ON_SIMULATOR("print spooler");
    const std::wstring demo = DemoDriverFolder();
    if (demo.empty()) {
        GTEST_SKIP() << "no demo driver folder (PRINTER_SETUP_DEMO_DRIVER) in this run";
    }
    WCHAR system[MAX_PATH] = {0};
    Os().GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring target = std::wstring(system) + L"\\qxvprtmon.dll";
    ASSERT_TRUE(Os().CopyFileW((demo + L"\\amd64\\qxvprtmon.dll").c_str(), target.c_str(), FALSE));

    WCHAR name[] = L"Contract Test Monitor";
    WCHAR dll[] = L"qxvprtmon.dll";
    MONITOR_INFO_2W monitor = {name, nullptr, dll};
    ASSERT_TRUE(Os().AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor))) << "error " << LastError();
    EXPECT_FALSE(Os().AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor)));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
    EXPECT_TRUE(Os().DeleteMonitorW(nullptr, nullptr, name));
}

TEST_F(SystemContract, UploadingAMissingPackageFails)
{
    SKIP_ON_SIMULATOR("driver store");
    SKIP_ON_WINE("UploadPrinterDriverPackageW is a stub that returns E_NOTIMPL for every package");
    WCHAR stored[MAX_PATH] = {0};
    ULONG storedLength = MAX_PATH;
    const std::wstring inf = ScratchFolder() + L"\\qxvprtv6.inf";
    HRESULT result =
        Os().UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, UPDP_UI_PROMPT, nullptr, stored, &storedLength);
    EXPECT_TRUE(FAILED(result));
}

TEST_F(SystemContract, DeletingAPackageIsReachable)
{
    SKIP_ON_SIMULATOR("driver store");
    SKIP_ON_WINE("DeletePrinterDriverPackageW is not exported; the binding reports ERROR_PROC_NOT_FOUND");
    const std::wstring inf = ScratchFolder() + L"\\qxvprtv6.inf";
    HRESULT result = Os().DeletePrinterDriverPackageW(nullptr, inf.c_str(), nullptr);
    EXPECT_NE(result, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
}

TEST_F(SystemContract, TheSpoolerServiceCanBeOpenedAndQueried)
{
    SKIP_ON_SIMULATOR("service control manager");
    SC_HANDLE manager = Os().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr) << "error " << LastError();
    SC_HANDLE spooler = Os().OpenServiceW(manager, L"Spooler", SERVICE_ALL_ACCESS);
    ASSERT_NE(spooler, nullptr) << "error " << LastError();
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    EXPECT_TRUE(Os().QueryServiceStatusEx(spooler, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                          sizeof(status), &needed));
    EXPECT_TRUE(status.dwCurrentState == SERVICE_STOPPED || status.dwCurrentState == SERVICE_RUNNING)
        << "state " << status.dwCurrentState;
    SC_HANDLE missing = Os().OpenServiceW(manager, L"NoSuchServiceForContract", SERVICE_ALL_ACCESS);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    Os().CloseServiceHandle(spooler);
    Os().CloseServiceHandle(manager);
}

TEST_F(SystemContract, NoUsbPrinterMeansAnEmptyInterfaceList)
{
    static const GUID usbPrint = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
    HDEVINFO devices = Os().SetupDiGetClassDevsW(&usbPrint, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(devices, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    EXPECT_FALSE(Os().SetupDiEnumDeviceInterfaces(devices, nullptr, &usbPrint, 0, &data));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(Os().SetupDiDestroyDeviceInfoList(devices));
}

TEST_F(SystemContract, AMissingRegistryKeyIsFileNotFound)
{
    HKEY key = nullptr;
    EXPECT_EQ(Os().RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NoSuchKeyForContractTests", 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
}

} // namespace
