// The spooler, the service manager, device setup and the registry: the
// answers the installation and removal depend on.
#include <string>
#include <vector>

#include "tests/contract/contract_host.h"

namespace {

using SystemContract = ContractTest;

struct Monitor {
    std::wstring name;
    std::wstring dll; // lower case, without a folder
};

// The monitors as the inventory reads them: a size query, then the records.
std::vector<Monitor> ListMonitors()
{
    DWORD needed = 0;
    DWORD returned = 0;
    EXPECT_FALSE(Os().EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &returned)) << "there are always monitors";
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::string buffer(needed, '\0');
    if (needed == 0 ||
        !Os().EnumMonitorsW(nullptr, 2, reinterpret_cast<LPBYTE>(&buffer[0]), needed, &needed, &returned)) {
        ADD_FAILURE() << "monitors not listed, error " << LastError();
        return {};
    }
    std::vector<Monitor> monitors;
    for (DWORD i = 0; i < returned; ++i) {
        const MONITOR_INFO_2W& record = reinterpret_cast<MONITOR_INFO_2W*>(&buffer[0])[i];
        if (record.pName == nullptr || record.pDLLName == nullptr) {
            ADD_FAILURE() << "monitor " << i << " without a name or a DLL";
            continue;
        }
        const std::wstring dll = Lower(record.pDLLName);
        monitors.push_back({record.pName, dll.substr(dll.find_last_of(L'\\') + 1)});
    }
    return monitors;
}

bool Listed(const std::vector<Monitor>& monitors, const std::wstring& name, const std::wstring& dll)
{
    for (const Monitor& monitor : monitors) {
        if ((name.empty() || monitor.name == name) && monitor.dll == dll) {
            return true;
        }
    }
    return false;
}

TEST_F(SystemContract, OpeningAMissingQueueFailsWithInvalidPrinterName)
{
    HANDLE printer = nullptr;
    WCHAR name[] = L"VADedudoro PX630KT (no such queue)";
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_FALSE(Os().OpenPrinterW(name, &printer, &defaults));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(SystemContract, DeletingAnUnknownDriverFailsWithUnknownPrinterDriver)
{
    SKIP_ON_WINE("DeletePrinterDriverExW of a missing driver leaves last error 0 instead of 1797");
    WCHAR name[] = L"VADedudoro PX000 (no such driver)";
    EXPECT_FALSE(Os().DeletePrinterDriverExW(nullptr, nullptr, name, DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_F(SystemContract, TheDriverEnumerationAnswersASizeQuery)
{
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

TEST_F(SystemContract, MonitorsAreListedWithTheirDllsAfterASizeQuery)
{
    EXPECT_TRUE(Listed(ListMonitors(), L"", L"localspl.dll")) << "the local port monitor is always there";

    DWORD needed = 0;
    DWORD returned = 0;
    Os().EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &returned);
    ASSERT_GT(needed, 1u);
    std::string buffer(needed, '\0');
    DWORD shortNeeded = 0;
    EXPECT_FALSE(
        Os().EnumMonitorsW(nullptr, 2, reinterpret_cast<LPBYTE>(&buffer[0]), needed - 1, &shortNeeded, &returned));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(shortNeeded, needed);
}

TEST_F(SystemContract, AMonitorAddedTwiceFailsWithAlreadyInstalled)
{
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
    EXPECT_TRUE(Listed(ListMonitors(), name, L"qxvprtmon.dll")) << "a left-over monitor is found by its DLL";
    EXPECT_TRUE(Os().DeleteMonitorW(nullptr, nullptr, name));
    EXPECT_FALSE(Listed(ListMonitors(), name, L"qxvprtmon.dll"));
}

TEST_F(SystemContract, UploadingAMissingPackageFails)
{
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
    SKIP_ON_WINE("DeletePrinterDriverPackageW is not exported; the binding reports ERROR_PROC_NOT_FOUND");
    const std::wstring inf = ScratchFolder() + L"\\qxvprtv6.inf";
    HRESULT result = Os().DeletePrinterDriverPackageW(nullptr, inf.c_str(), nullptr);
    EXPECT_NE(result, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
}

// Polls as an installer does: the state once seen, or the last one after ten seconds.
DWORD WaitForState(SC_HANDLE service, DWORD wanted)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    for (int i = 0; i < 200; ++i) {
        Os().QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof(status),
                                  &needed);
        if (status.dwCurrentState == wanted) {
            break;
        }
        Os().Sleep(50);
    }
    return status.dwCurrentState;
}

TEST_F(SystemContract, TheSpoolerServiceIsQueriedAndRefusesToStartTwiceOrStopTwice)
{
    SC_HANDLE manager = Os().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr) << "error " << LastError();
    EXPECT_EQ(Os().OpenServiceW(manager, L"NoSuchServiceForContract", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    SC_HANDLE spooler = Os().OpenServiceW(manager, L"Spooler", SERVICE_ALL_ACCESS);
    ASSERT_NE(spooler, nullptr) << "error " << LastError();
    SERVICE_STATUS_PROCESS before = {};
    DWORD needed = 0;
    ASSERT_TRUE(Os().QueryServiceStatusEx(spooler, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&before),
                                          sizeof(before), &needed));
    ASSERT_TRUE(before.dwCurrentState == SERVICE_STOPPED || before.dwCurrentState == SERVICE_RUNNING)
        << "state " << before.dwCurrentState;
    if (before.dwCurrentState == SERVICE_STOPPED) {
        ASSERT_TRUE(Os().StartServiceW(spooler, 0, nullptr)) << "error " << LastError();
    }
    ASSERT_EQ(WaitForState(spooler, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_FALSE(Os().StartServiceW(spooler, 0, nullptr));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

    SERVICE_STATUS status = {};
    ASSERT_TRUE(Os().ControlService(spooler, SERVICE_CONTROL_STOP, &status)) << "error " << LastError();
    ASSERT_EQ(WaitForState(spooler, SERVICE_STOPPED), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_FALSE(Os().ControlService(spooler, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));

    if (before.dwCurrentState == SERVICE_RUNNING) {
        EXPECT_TRUE(Os().StartServiceW(spooler, 0, nullptr));
        EXPECT_EQ(WaitForState(spooler, SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    }
    EXPECT_TRUE(Os().CloseServiceHandle(spooler));
    EXPECT_TRUE(Os().CloseServiceHandle(manager));
}

std::wstring DriverDirectory()
{
    WCHAR folder[MAX_PATH] = {0};
    DWORD needed = 0;
    EXPECT_TRUE(Os().GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), sizeof(folder),
                                                &needed));
    return folder;
}

TEST_F(SystemContract, TheDriverDirectoryIsTheSpoolersForThisEnvironmentAndAnswersASizeQueryInBytes)
{
    const std::wstring folder = DriverDirectory();
    EXPECT_NE(Lower(folder).find(L"\\spool\\drivers\\x64"), std::wstring::npos)
        << "got " << std::string(folder.begin(), folder.end());
    WCHAR small[4] = {0};
    DWORD needed = 0;
    EXPECT_FALSE(
        Os().GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(small), sizeof(small), &needed));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, (folder.size() + 1) * sizeof(WCHAR)) << "bytes, terminator included";
}

TEST_F(SystemContract, PortsAndQueuesAnswerSizeQueries)
{
    DWORD needed = 0;
    DWORD returned = 0;
    EXPECT_FALSE(Os().EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned)) << "there are always ports";
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::string buffer(needed, '\0');
    ASSERT_TRUE(Os().EnumPortsW(nullptr, 2, reinterpret_cast<LPBYTE>(&buffer[0]), needed, &needed, &returned));
    bool file = false;
    for (DWORD i = 0; i < returned; ++i) {
        file = file || std::wstring(reinterpret_cast<PORT_INFO_2W*>(&buffer[0])[i].pPortName) == L"FILE:";
    }
    EXPECT_TRUE(file) << "FILE: is among the ports";

    BOOL ok = Os().EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed == 0) {
        EXPECT_TRUE(ok) << "no queues: nothing needed";
        return;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// A local queue on FILE: as the tool adds one; null when refused.
HANDLE AddQueue(const wchar_t* name, const wchar_t* driver)
{
    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<LPWSTR>(name);
    printer.pPortName = const_cast<LPWSTR>(L"FILE:");
    printer.pDriverName = const_cast<LPWSTR>(driver);
    printer.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    printer.pDatatype = const_cast<LPWSTR>(L"RAW");
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    return Os().AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
}

// A driver of stand-in files (the spooler neither loads the driver DLL nor
// minds a configuration DLL that is no DLL), a queue on it, and both removed.
TEST_F(SystemContract, ADriverAndItsQueueComeAndGo)
{
    const std::wstring folder = DriverDirectory();
    const std::wstring files[] = {L"contractdrv.dll", L"contractui.dll", L"contract.dat"};
    for (const std::wstring& file : files) {
        HostWriteFile(folder + L"\\" + file, "not a program");
    }
    WCHAR name[] = L"Contract Test Driver", driverFile[] = L"contractdrv.dll", configFile[] = L"contractui.dll";
    WCHAR dataFile[] = L"contract.dat", dataType[] = L"RAW";
    DRIVER_INFO_8W info = {};
    info.cVersion = 3;
    info.pName = name;
    info.pDriverPath = driverFile;
    info.pDataFile = dataFile;
    info.pConfigFile = configFile;
    info.pDefaultDataType = dataType;
    info.ftDriverDate = {0xD5E7C000u, 0x01DAE2C7u};
    info.dwlDriverVersion = 0x07E80007001F0001ull;
    ASSERT_TRUE(Os().AddPrinterDriverW(nullptr, 8, reinterpret_cast<LPBYTE>(&info))) << "error " << LastError();

    DWORD needed = 0;
    DWORD returned = 0;
    Os().EnumPrinterDriversW(nullptr, nullptr, 8, nullptr, 0, &needed, &returned);
    std::string buffer(needed, '\0');
    ASSERT_TRUE(Os().EnumPrinterDriversW(nullptr, nullptr, 8, reinterpret_cast<LPBYTE>(&buffer[0]), needed, &needed,
                                         &returned));
    const DRIVER_INFO_8W* found = nullptr;
    for (DWORD i = 0; i < returned; ++i) {
        const DRIVER_INFO_8W* driver = reinterpret_cast<DRIVER_INFO_8W*>(&buffer[0]) + i;
        found = std::wstring(driver->pName) == name ? driver : found;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::wstring(found->pEnvironment), L"Windows x64");
    EXPECT_EQ(Lower(found->pDriverPath), Lower(folder + L"\\3\\contractdrv.dll")) << "installed in the version folder";
    EXPECT_EQ(Lower(found->pConfigFile), Lower(folder + L"\\3\\contractui.dll"));
    EXPECT_EQ(Lower(found->pDataFile), Lower(folder + L"\\3\\contract.dat"));
    // Not compared: Wine keeps neither the driver's date nor its version.
    EXPECT_TRUE(HostFileExists(folder + L"\\3\\contractdrv.dll"));

    WCHAR queueName[] = L"Contract Test Queue";
    HANDLE added = AddQueue(queueName, name);
    ASSERT_NE(added, nullptr) << "error " << LastError();
    EXPECT_TRUE(Os().ClosePrinter(added));

    HANDLE queue = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(Os().OpenPrinterW(queueName, &queue, &defaults)) << "error " << LastError();
    EXPECT_TRUE(Os().DeletePrinter(queue)) << "error " << LastError();
    EXPECT_TRUE(Os().ClosePrinter(queue));
    EXPECT_FALSE(Os().OpenPrinterW(queueName, &queue, &defaults)) << "the queue is gone";
    EXPECT_TRUE(Os().DeletePrinterDriverExW(nullptr, nullptr, name, 0, 0)) << "error " << LastError();
    for (const std::wstring& file : files) {
        Os().DeleteFileW((folder + L"\\" + file).c_str());
        Os().DeleteFileW((folder + L"\\3\\" + file).c_str());
    }
}

TEST_F(SystemContract, AQueueOnAnUnknownDriverIsRefused)
{
    EXPECT_EQ(AddQueue(L"Contract Test Queue Without Driver", L"VADedudoro PX000 (no such driver)"), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_F(SystemContract, TheInfInformationOfAMissingInfIsFileNotFound)
{
    DWORD needed = 0;
    const std::wstring missing = ScratchFolder() + L"\\missing.inf";
    EXPECT_FALSE(Os().SetupGetInfInformationW(missing.c_str(), INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &needed));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SystemContract, AnInfsDriverVerIsReadWithSizeQueries)
{
    const std::wstring inf = ScratchFolder() + L"\\contract.inf";
    HostWriteFile(inf, "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n"
                       "DriverVer=07/31/2024,2024.07.31.1\r\n");
    DWORD needed = 0;
    ASSERT_TRUE(Os().SetupGetInfInformationW(inf.c_str(), INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &needed))
        << "error " << LastError();
    std::string buffer(needed, '\0');
    auto* info = reinterpret_cast<PSP_INF_INFORMATION>(&buffer[0]);
    EXPECT_FALSE(Os().SetupGetInfInformationW(inf.c_str(), INFINFO_INF_NAME_IS_ABSOLUTE, info, needed - 1, &needed));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_TRUE(Os().SetupGetInfInformationW(inf.c_str(), INFINFO_INF_NAME_IS_ABSOLUTE, info, needed, &needed));
    SKIP_ON_WINE("SetupQueryInfVersionInformationW is a stub that fails with ERROR_CALL_NOT_IMPLEMENTED");
    DWORD chars = 0;
    ASSERT_TRUE(Os().SetupQueryInfVersionInformationW(info, 0, L"DriverVer", nullptr, 0, &chars));
    EXPECT_EQ(chars, 24u);
    WCHAR text[24] = {0};
    ASSERT_TRUE(Os().SetupQueryInfVersionInformationW(info, 0, L"DriverVer", text, 24, &chars));
    EXPECT_EQ(std::wstring(text), L"07/31/2024,2024.07.31.1");
}

TEST_F(SystemContract, AMissingRegistryKeyIsFileNotFound)
{
    HKEY key = nullptr;
    EXPECT_EQ(Os().RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NoSuchKeyForContractTests", 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
}

// The instance guard: a named mutex with an owner and access list of its
// own, seen by a second CreateMutexW, whose owner the second one can read.
TEST_F(SystemContract, ANamedMutexIsSeenAgainWithTheOwnerItWasMadeWith)
{
    const wchar_t name[] = L"Global\\PrinterSetup.ContractTest";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(Os().ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)",
                                                                          SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    HANDLE first = Os().CreateMutexW(&attributes, FALSE, name);
    ASSERT_NE(first, nullptr) << "error " << LastError();
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = Os().CreateMutexW(&attributes, FALSE, name);
    ASSERT_NE(second, nullptr) << "error " << LastError();
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    Os().LocalFree(descriptor);

    PSECURITY_DESCRIPTOR found = nullptr;
    ASSERT_EQ(Os().GetSecurityInfo(second, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                   nullptr, &found),
              static_cast<DWORD>(ERROR_SUCCESS));
    LPWSTR text = nullptr;
    ASSERT_TRUE(Os().ConvertSecurityDescriptorToStringSecurityDescriptorW(found, SDDL_REVISION_1,
                                                                          OWNER_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_EQ(std::wstring(text), L"O:BA");
    Os().LocalFree(text);
    Os().LocalFree(found);

    // It goes with its last handle.
    EXPECT_TRUE(Os().CloseHandle(first));
    EXPECT_TRUE(Os().CloseHandle(second));
    HANDLE again = Os().CreateMutexW(nullptr, FALSE, name);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(Os().CloseHandle(again));
}

} // namespace
