// The simulated print spooler, service, driver store and Plug and Play answer
// as Windows does where a driver installer depends on it.
#include <string>
#include <vector>

#include "common/platform.h"
#include "sim/spooler/inf_file.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const DWORD kRpcServerUnavailable = 1722;
const DWORD kNoSuchDevinst = 0xE000020B;

class SimSpooler : public SimTest {
protected:
    void TearDown() override
    {
        if (service_ != nullptr) {
            EXPECT_TRUE(Os().CloseServiceHandle(service_));
            EXPECT_TRUE(Os().CloseServiceHandle(manager_));
        }
        SimTest::TearDown();
    }

    SC_HANDLE Service()
    {
        if (service_ == nullptr) {
            manager_ = Os().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
            service_ = Os().OpenServiceW(manager_, L"Spooler", SERVICE_ALL_ACCESS);
            EXPECT_NE(service_, nullptr);
        }
        return service_;
    }

    // Polls as an installer does, for up to a minute; the virtual time when the state was seen.
    uint64_t WaitFor(DWORD state)
    {
        const uint64_t limit = machine.clock.NowMs() + 60000;
        SERVICE_STATUS_PROCESS status = {};
        DWORD needed = 0;
        while (Os().QueryServiceStatusEx(Service(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                         sizeof(status), &needed) &&
               status.dwCurrentState != state && machine.clock.NowMs() < limit) {
            Os().Sleep(10);
        }
        EXPECT_EQ(status.dwCurrentState, state);
        return machine.clock.NowMs();
    }

    BOOL Stop()
    {
        SERVICE_STATUS status = {};
        return Os().ControlService(Service(), SERVICE_CONTROL_STOP, &status);
    }

    std::wstring DriverDirectory() { return machine.spooler.DriverDirectory(); }

    // The spooler only reads what these point to.
    static LPWSTR Text(const std::wstring& text) { return const_cast<LPWSTR>(text.c_str()); }

    // Stages the driver's files in the driver directory (the configuration DLL only if told) and adds it.
    BOOL AddDriver(const std::wstring& name, const std::wstring& configFile = L"qxvprtdrv6ui.dll",
                   bool stageConfig = true)
    {
        for (const std::wstring& file :
             {std::wstring(L"qxvprtdrv6.dll"), std::wstring(L"qxvprtdrv6.dat"), configFile}) {
            if (stageConfig || file != configFile) {
                machine.volume.WriteFile(DriverDirectory() + L"\\" + file, "MZ " + sim::Utf8(file));
            }
        }
        DRIVER_INFO_8W info = {};
        info.cVersion = 3;
        info.pName = Text(name);
        info.pDriverPath = const_cast<LPWSTR>(L"qxvprtdrv6.dll");
        info.pDataFile = const_cast<LPWSTR>(L"qxvprtdrv6.dat");
        info.pConfigFile = Text(configFile);
        return Os().AddPrinterDriverW(nullptr, 8, reinterpret_cast<LPBYTE>(&info));
    }

    HANDLE AddQueue(const std::wstring& name, const std::wstring& driver, const std::wstring& port,
                    bool dataType = true)
    {
        PRINTER_INFO_2W info = {};
        info.pPrinterName = Text(name);
        info.pDriverName = Text(driver);
        info.pPortName = Text(port);
        info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
        info.pDatatype = dataType ? const_cast<LPWSTR>(L"RAW") : nullptr;
        info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
        return Os().AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    }

    HANDLE Open(const std::wstring& name, ACCESS_MASK access)
    {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
        HANDLE handle = nullptr;
        return Os().OpenPrinterW(Text(name), &handle, &defaults) ? handle : nullptr;
    }

    // The demo driver folder as the tool ships it; the INF's path.
    std::wstring StageDemoFolder()
    {
        WriteDriverFolder(machine, L"C:\\Drivers\\PX Series\\");
        return L"C:\\Drivers\\PX Series\\qxvprtv6.inf";
    }

    HRESULT Upload(const std::wstring& inf, std::wstring* stored)
    {
        WCHAR path[MAX_PATH] = {0};
        ULONG chars = MAX_PATH;
        HRESULT result =
            Os().UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, UPDP_SILENT_UPLOAD, nullptr, path, &chars);
        *stored = path;
        return result;
    }

    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

// ---- The service ----

TEST_F(SimSpooler, WhileTheServiceIsNotRunningTheSpoolerApiIsUnavailable)
{
    ASSERT_TRUE(AddDriver(L"VADedudoro PX630KT"));
    HANDLE queue = AddQueue(L"VADedudoro PX630KT", L"VADedudoro PX630KT", L"LPT1:");
    ASSERT_NE(queue, nullptr);
    machine.spooler.stopDelayMs = 500;
    ASSERT_TRUE(Stop());

    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(Os().EnumPrinterDriversW(nullptr, nullptr, 8, nullptr, 0, &needed, &returned)) << "stop pending";
    EXPECT_EQ(Os().GetLastError(), kRpcServerUnavailable);
    WaitFor(SERVICE_STOPPED);
    EXPECT_FALSE(Os().EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(Os().GetLastError(), kRpcServerUnavailable);
    EXPECT_EQ(Open(L"VADedudoro PX630KT", PRINTER_ALL_ACCESS), nullptr);
    EXPECT_EQ(Os().GetLastError(), kRpcServerUnavailable);
    EXPECT_FALSE(AddDriver(L"VADedudoro PX640KT"));
    EXPECT_EQ(Os().GetLastError(), kRpcServerUnavailable);
    WCHAR folder[MAX_PATH];
    EXPECT_FALSE(Os().GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), sizeof(folder),
                                                 &needed));
    EXPECT_EQ(Os().GetLastError(), kRpcServerUnavailable);
    std::wstring stored;
    EXPECT_EQ(Upload(StageDemoFolder(), &stored), HRESULT_FROM_WIN32(kRpcServerUnavailable));

    // A handle from before the stop still closes, and is dead after the restart.
    ASSERT_TRUE(Os().StartServiceW(Service(), 0, nullptr));
    EXPECT_FALSE(Os().SetPrinterW(queue, 0, nullptr, PRINTER_CONTROL_PURGE));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(Os().ClosePrinter(queue));
    HANDLE fresh = Open(L"VADedudoro PX630KT", PRINTER_ALL_ACCESS);
    ASSERT_NE(fresh, nullptr) << "drivers and queues survive a restart";
    EXPECT_TRUE(Os().SetPrinterW(fresh, 0, nullptr, PRINTER_CONTROL_PURGE));
    EXPECT_TRUE(Os().ClosePrinter(fresh));
}

// ---- Drivers ----

TEST_F(SimSpooler, ADriverNeedsAllItsFilesAndItsDeletionRemovesOnlyTheFilesNoOtherDriverUses)
{
    EXPECT_FALSE(AddDriver(L"VADedudoro PX630KT", L"qxvprtdrv6ui.dll", false));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(machine.volume.FileExists(DriverDirectory() + L"\\3\\qxvprtdrv6.dll")) << "nothing copied";
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    ASSERT_TRUE(AddDriver(L"VADedudoro PX630KT", L"qxvprtdrv6ui.dll"));
    ASSERT_TRUE(AddDriver(L"VADedudoro PX640KT", L"qxvprt640ui.dll"));
    WCHAR name[] = L"VADedudoro PX640KT", bogus[] = L"Windows 3000";
    EXPECT_FALSE(Os().DeletePrinterDriverExW(nullptr, bogus, name, DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(Os().GetLastError(), sim::kErrorInvalidEnvironment);
    ASSERT_TRUE(Os().DeletePrinterDriverExW(nullptr, nullptr, name, DPD_DELETE_UNUSED_FILES, 0));
    const std::wstring installed = DriverDirectory() + L"\\3\\";
    EXPECT_FALSE(machine.volume.FileExists(installed + L"qxvprt640ui.dll"));
    EXPECT_TRUE(machine.volume.FileExists(installed + L"qxvprtdrv6.dll")) << "still the PX630KT's";
    EXPECT_EQ(machine.spooler.FindDriver(L"VADedudoro PX640KT"), nullptr);

    WCHAR other[] = L"vadedudoro px630kt";
    ASSERT_TRUE(Os().DeletePrinterDriverExW(nullptr, nullptr, other, 0, 0)) << "names have no case";
    EXPECT_TRUE(machine.volume.FileExists(installed + L"qxvprtdrv6.dll")) << "without the flag files stay";
}

// ---- Queues ----

TEST_F(SimSpooler, AQueueNeedsAKnownDriverAKnownPortAndAFreeName)
{
    ASSERT_TRUE(AddDriver(L"VADedudoro PX630KT"));
    EXPECT_EQ(AddQueue(L"PX", L"VADedudoro PX630KT", L"USB001"), nullptr) << "no printer, no USB port";
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(AddQueue(L"PX", L"VADedudoro PX630KT", L"LPT1:", false), nullptr);
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    machine.devices.Plug(sim::UsbPrinter());
    HANDLE queue = AddQueue(L"PX", L"VADedudoro PX630KT", L"USB001");
    ASSERT_NE(queue, nullptr);
    EXPECT_TRUE(Os().ClosePrinter(queue));
    EXPECT_EQ(AddQueue(L"px", L"VADedudoro PX630KT", L"LPT1:"), nullptr);
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_PRINTER_ALREADY_EXISTS));
}

TEST_F(SimSpooler, AQueueWithJobsGoesOnlyWhenTheyAreGoneAndHoldsItsDriverTillThen)
{
    ASSERT_TRUE(AddDriver(L"VADedudoro PX630KT"));
    HANDLE added = AddQueue(L"VADedudoro PX630KT", L"VADedudoro PX630KT", L"LPT1:");
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(Os().ClosePrinter(added));
    machine.spooler.AddJobs(L"VADedudoro PX630KT", 3);
    WCHAR driver[] = L"VADedudoro PX630KT";
    EXPECT_FALSE(Os().DeletePrinterDriverExW(nullptr, nullptr, driver, DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));

    // Opened for use only, it can be neither purged nor deleted.
    HANDLE user = Open(L"VADedudoro PX630KT", 0x8 /* PRINTER_ACCESS_USE */);
    ASSERT_NE(user, nullptr);
    EXPECT_FALSE(Os().SetPrinterW(user, 0, nullptr, PRINTER_CONTROL_PURGE));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Os().DeletePrinter(user));
    EXPECT_TRUE(Os().ClosePrinter(user));

    HANDLE admin = Open(L"VADedudoro PX630KT", PRINTER_ALL_ACCESS);
    ASSERT_NE(admin, nullptr);
    ASSERT_TRUE(Os().DeletePrinter(admin));
    const sim::QueueRecord* pending = machine.spooler.FindQueue(L"VADedudoro PX630KT");
    ASSERT_NE(pending, nullptr) << "jobs left: only marked for deletion";
    EXPECT_TRUE(pending->pendingDeletion);
    EXPECT_FALSE(Os().DeletePrinterDriverExW(nullptr, nullptr, driver, DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE));

    ASSERT_TRUE(Os().SetPrinterW(admin, 0, nullptr, PRINTER_CONTROL_PURGE));
    EXPECT_EQ(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);
    EXPECT_TRUE(Os().ClosePrinter(admin)) << "the handle stays valid until closed";
    EXPECT_TRUE(Os().DeletePrinterDriverExW(nullptr, nullptr, driver, DPD_DELETE_UNUSED_FILES, 0));
}

// ---- Driver store ----

// Its PackageInstallation key is read by every uninstall scenario.
TEST_F(SimSpooler, AnUploadedPackageIsStoredOnce)
{
    const std::wstring inf = StageDemoFolder();
    std::wstring stored;
    ASSERT_EQ(Upload(inf, &stored), S_OK);
    const std::wstring repository = L"C:\\Windows\\system32\\DriverStore\\FileRepository\\qxvprtv6.inf_amd64_";
    ASSERT_EQ(stored.compare(0, repository.size(), repository), 0) << sim::Utf8(stored);
    const std::wstring hash = stored.substr(repository.size(), 16);
    EXPECT_EQ(hash.find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << "16 hex digits";
    EXPECT_EQ(stored, repository + hash + L"\\qxvprtv6.inf");
    EXPECT_EQ(machine.volume.ReadFile(stored), machine.volume.ReadFile(inf));
    EXPECT_EQ(machine.volume.ReadFile(repository + hash + L"\\amd64\\qxvprtmon.dll"), "MZ monitor");
    EXPECT_EQ(machine.volume.ReadFile(repository + hash + L"\\dat\\qxvprtdrv6.dat"), "data");

    std::wstring again;
    EXPECT_EQ(Upload(inf, &again), S_OK);
    EXPECT_EQ(again, stored);
    EXPECT_EQ(machine.spooler.Packages().size(), 1u);

    WCHAR small[10];
    ULONG chars = 10;
    EXPECT_EQ(Os().UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, 0, nullptr, small, &chars),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(chars, stored.size() + 1) << "characters, terminator included";
}

// A missing INF is the contract's (UploadingAMissingPackageFails).
TEST_F(SimSpooler, AnUploadFailsForABrokenPackage)
{
    std::wstring stored;
    machine.volume.WriteFile(L"C:\\Drivers\\plain.inf", "[Version]\nClass = Printer\n");
    EXPECT_EQ(Upload(L"C:\\Drivers\\plain.inf", &stored), sim::kSpapiGeneralSyntax);

    const std::wstring inf = StageDemoFolder();
    machine.volume.Delete(L"C:\\Drivers\\PX Series\\dat\\qxvprtdrv6.dat");
    EXPECT_EQ(Upload(inf, &stored), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << "a file the INF names is missing";
    EXPECT_THAT(machine.spooler.Packages(), IsEmpty());
}

// ---- Plug and Play ----

class SimPlugAndPlay : public SimSpooler {
protected:
    const std::wstring kHardwareId = L"usbprint\\vadedudoro px630kt99a8";

    BOOL Bind(const std::wstring& hardwareId, const std::wstring& inf, DWORD flags = 0, BOOL restart = FALSE)
    {
        BOOL reboot = !restart;
        BOOL ok = Os().UpdateDriverForPlugAndPlayDevicesW(nullptr, hardwareId.c_str(), inf.c_str(), flags, &reboot);
        EXPECT_EQ(reboot, restart) << "whether a restart is needed";
        return ok;
    }
};

TEST_F(SimPlugAndPlay, TheQueueWaitsForTheServiceAndGoesToACopyOnAnotherPort)
{
    const std::wstring inf = StageDemoFolder();
    machine.devices.Plug(sim::UsbPrinter());
    ASSERT_TRUE(Bind(kHardwareId, inf)) << "the package is staged on the way";
    EXPECT_EQ(machine.spooler.Packages().size(), 1u);
    HANDLE manual = AddQueue(L"VADedudoro PX630KT", L"VADedudoro PX630KT", L"LPT1:");
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(Os().ClosePrinter(manual));

    machine.spooler.startDelayMs = 1500;
    Os().Sleep(1000);
    ASSERT_TRUE(Stop());
    ASSERT_TRUE(Os().StartServiceW(Service(), 0, nullptr));
    EXPECT_EQ(WaitFor(SERVICE_RUNNING), 2500u);
    const sim::QueueRecord* copy = machine.spooler.FindQueue(L"VADedudoro PX630KT (Copy 1)");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->port, L"USB001");
    EXPECT_EQ(copy->createdAtMs, 2500u) << "due at 2000 while not running: made when the service ran again";
}

TEST_F(SimPlugAndPlay, ALoadedMonitorDllIsReplacedOnlyAtTheNextRestart)
{
    const std::wstring inf = StageDemoFolder();
    machine.devices.Plug(sim::UsbPrinter());
    ASSERT_TRUE(Bind(kHardwareId, inf));
    machine.volume.WriteFile(L"C:\\Drivers\\PX Series\\amd64\\qxvprtmon.dll", "MZ newer monitor");
    ASSERT_TRUE(Bind(kHardwareId, inf, INSTALLFLAG_FORCE, TRUE));
    EXPECT_EQ(machine.volume.ReadFile(machine.systemDirectory + L"\\qxvprtmon.dll"), "MZ monitor");
}

TEST_F(SimPlugAndPlay, BindingFailsWithoutDeviceInfOrModel)
{
    const std::wstring inf = StageDemoFolder();
    EXPECT_FALSE(Bind(kHardwareId, inf));
    EXPECT_EQ(Os().GetLastError(), kNoSuchDevinst) << "no printer plugged in";
    sim::UsbPrinter unknown;
    unknown.hardwareId = L"usbprint\\vadedudoro px999kt1234";
    machine.devices.Plug(unknown);
    EXPECT_FALSE(Bind(L"usbprint\\vadedudoro px999kt1234", inf));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << "the INF has no model for it";
    EXPECT_FALSE(Bind(L"usbprint\\vadedudoro px999kt1234", L"C:\\Drivers\\missing.inf"));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    EXPECT_THAT(machine.spooler.Bindings(), IsEmpty());
}

// ---- INF files ----

TEST(SimInfFile, SectionsValuesStringsAndDecorations)
{
    const sim::InfFile inf = sim::InfFile::Parse("; header\r\n"
                                                 "[Version]\r\n"
                                                 "Signature=\"$WINDOWS NT$\"\r\n"
                                                 "Provider = %Who% ; trailing comment\r\n"
                                                 "DriverVer = 01/02/2023, 1.2.3.4\r\n"
                                                 "[manufacturer]\r\n"
                                                 "%Who% = Old\r\n"
                                                 "Other = New, NTx86, NTamd64.10.0\r\n"
                                                 "[Old]\r\n"
                                                 "\"Old Model\" = OLD, usbprint\\old\r\n"
                                                 "[New.NTamd64.10.0]\r\n"
                                                 "\"New \"\"Q\"\" Model; 2\" = NEW, \\\r\n"
                                                 "   usbprint\\new, compatible\\id\r\n"
                                                 "[Strings]\r\n"
                                                 "Who = \"100%% Maker\"\r\n");
    EXPECT_TRUE(inf.HasDriverSignature());
    EXPECT_EQ(inf.Value(L"VERSION", L"provider"), L"100% Maker");
    EXPECT_EQ(inf.Value(L"Version", L"DriverVer"), L"01/02/2023,1.2.3.4");
    EXPECT_EQ(inf.Value(L"Version", L"Class"), std::nullopt);

    const std::vector<sim::InfFile::Model> x64 = inf.Models(L"NTamd64");
    ASSERT_EQ(x64.size(), 1u) << "outside x86 an undecorated models section does not count";
    EXPECT_EQ(x64[0].manufacturer, L"Other");
    EXPECT_EQ(x64[0].displayName, L"New \"Q\" Model; 2");
    EXPECT_EQ(x64[0].installSection, L"NEW");
    EXPECT_THAT(x64[0].ids, ElementsAre(L"usbprint\\new", L"compatible\\id"));
    const std::vector<sim::InfFile::Model> x86 = inf.Models(L"NTx86");
    ASSERT_EQ(x86.size(), 1u);
    EXPECT_EQ(x86[0].displayName, L"Old Model");
    EXPECT_EQ(x86[0].manufacturer, L"100% Maker");
    EXPECT_FALSE(inf.FindModel(L"NTamd64", L"USBPRINT\\OLD").has_value());
    EXPECT_TRUE(inf.FindModel(L"NTx86", L"USBPRINT\\OLD").has_value());
}

TEST(SimInfFile, DriverVerGivesADateAndAPackedVersion)
{
    FILETIME date = {};
    DWORDLONG version = 0;
    ASSERT_TRUE(sim::ParseDriverVer(L"07/31/2024,2024.07.31.1", &date, &version));
    EXPECT_EQ(version, 0x07E80007001F0001ull);
    EXPECT_EQ((static_cast<uint64_t>(date.dwHighDateTime) << 32) | date.dwLowDateTime, 133668576000000000ull);
    ASSERT_TRUE(sim::ParseDriverVer(L"2/29/2024", &date, &version));
    EXPECT_EQ(version, 0u);
    for (const wchar_t* bad : {L"13/01/2024", L"02/30/2024", L"02/29/2023", L"07/31/2024,1.2.3.4.5",
                               L"07/31/2024,70000.0.0.0", L"2024-07-31", L""}) {
        EXPECT_FALSE(sim::ParseDriverVer(bad, &date, &version)) << sim::Utf8(bad);
    }
}

} // namespace
