// Installing one plugged-in printer on the simulated machine: through the
// driver store and Plug and Play, and through the manual fallback.
#include <cstring>
#include <string>
#include <vector>

#include "common/globals.h"
#include "install/driver_copy.h"
#include "install/install_request.h"
#include "install/manual_install.h"
#include "install/model_table.h"
#include "install/package_install.h"
#include "install/usb_port_scan.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const std::wstring kDriverDir = L"C:\\Windows\\system32\\spool\\drivers\\x64";
const std::wstring kPrinter = L"VADedudoro PX630KT";

class InstallPrinterScenario : public SimTest {
protected:
    InstallPrinterScenario()
    {
        // The driver folder as shipped, and the tool started from it.
        WriteDriverFolder(machine, kDriverFolder);
        std::memset(InstallDirectory, 0, sizeof(InstallDirectory));
        std::wcscpy(InstallDirectory, kDriverFolder.c_str());
        sourceInf = kDriverFolder + L"\\qxvprtv6.inf"; // formed with "%ws\\%ws", so doubled
        machine.devices.Plug(sim::UsbPrinter{});       // a PX630KT on port 1
    }

    // Scans, matches and installs the first supported printer, as the install loop does.
    int Install(BYTE flags = 0)
    {
        ScanUsbPrinterPorts();
        const ModelEntry* model = UsbPortList != nullptr ? FindModel(UsbPortList->description) : nullptr;
        EXPECT_NE(model, nullptr);
        if (model == nullptr) {
            return -1;
        }
        BuildInstallRequest(UsbPortList, model, &request);
        request.flags = flags;
        startMs = machine.clock.NowMs();
        return InstallPrinter(&request, sourceInf.c_str());
    }

    uint64_t Elapsed() const { return machine.clock.NowMs() - startMs; }
    std::vector<std::wstring> Log() { return machine.debug.Lines(); }

    std::vector<std::wstring> ManualCopyLines()
    {
        const std::wstring drv = kDriverDir + L"\\qxvprtdrv6.dll", ui = kDriverDir + L"\\qxvprtdrv6ui.dll";
        const std::wstring dat = kDriverDir + L"\\qxvprtdrv6.dat";
        return {
            L"Remove file:" + drv + L", 0, errcode:2.",
            L"CopyFile file:" + kDriverFolder + L"\\amd64\\qxvprtdrv6.dll to " + drv + L", 1, errcode:0.",
            L"Remove file:" + ui + L", 0, errcode:2.",
            L"CopyFile file:" + kDriverFolder + L"\\amd64\\qxvprtdrv6ui.dll to " + ui + L", 1, errcode:0.",
            L"CopyFile file:" + kDriverFolder + L"\\dat\\qxvprtdrv6.dat to " + dat + L", 1, errcode:0.",
        };
    }

    InstallRequest request = {};
    std::wstring sourceInf;
    uint64_t startMs = 0;
};

TEST_F(InstallPrinterScenario, PlugAndPlayCreatesTheQueueAndNothingElseIsNeeded)
{
    EXPECT_EQ(Install(), 1);

    const sim::QueueRecord* queue = machine.spooler.FindQueue(kPrinter);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue->port, L"USB001");
    EXPECT_EQ(queue->driver, kPrinter);
    EXPECT_TRUE(queue->createdByPlugAndPlay);
    ASSERT_EQ(machine.spooler.Packages().size(), 1u);
    EXPECT_THAT(Log(),
                ElementsAre(L"DoUploadDriverPackage, " + machine.spooler.Packages()[0].storedInfPath + L", code:0."));
    EXPECT_EQ(machine.spooler.Bindings().size(), 1u);
    EXPECT_EQ(machine.spooler.Bindings()[0].hardwareId, L"usbprint\\vadedudoro px630kt99a8");
    EXPECT_EQ(machine.spooler.ReenumerateCalls(), 1);
    EXPECT_EQ(machine.spooler.Stops(), 0) << "the port is listed: no spooler restart";
    EXPECT_EQ(Elapsed(), 10000u) << "without the monitor flag the wait always lasts ten seconds";
}

TEST_F(InstallPrinterScenario, AMissingInfIsLoggedAndTheManualPathInstalls)
{
    machine.volume.Delete(kDriverFolder + L"qxvprtv6.inf");
    EXPECT_EQ(Install(), 1);

    std::vector<std::wstring> expected = {L"DoUploadDriverPackage, , code:-2147024894."};
    for (const std::wstring& line : ManualCopyLines()) {
        expected.push_back(line);
    }
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(machine.spooler.BindCalls(), 0) << "no Plug and Play without a package";

    const sim::DriverRecord* driver = machine.spooler.FindDriver(kPrinter);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->driverVersion, 0x07E80007001F0001ull);
    const uint64_t date =
        (static_cast<uint64_t>(driver->driverDate.dwHighDateTime) << 32) | driver->driverDate.dwLowDateTime;
    EXPECT_EQ(date, 133668576000000000ull) << "31 July 2024";
    EXPECT_EQ(driver->provider, std::wstring(L"Velmora Imaging Co., LTD."));
    EXPECT_EQ(driver->hardwareId, std::wstring(L"usbprint\\vadedudoro px630kt99a8"));
    EXPECT_EQ(driver->defaultDataType, std::wstring(L"RAW"));
    EXPECT_FALSE(driver->monitorName.has_value());

    const sim::QueueRecord* queue = machine.spooler.FindQueue(kPrinter);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue->port, L"USB001");
    EXPECT_FALSE(queue->createdByPlugAndPlay);
    EXPECT_EQ(machine.spooler.OpenPrinterHandles(), 0u);
    EXPECT_EQ(Elapsed(), 0u) << "driver and queue were there at the first look";
}

TEST_F(InstallPrinterScenario, AQueueTheUserRenamedIsReportedByItsNameWithoutInstallingAnything)
{
    // The model's name on the printer's port, but another driver: not the printer's.
    sim::QueueRecord other;
    other.name = kPrinter;
    other.port = L"USB001";
    other.driver = L"Some Driver";
    machine.spooler.StageQueue(other);
    // The printer's own, renamed and pooled; the spooler ignores case.
    sim::QueueRecord renamed;
    renamed.name = L"Workshop";
    renamed.port = L"USB002, usb001,USB003";
    renamed.driver = L"vadedudoro px630kt";
    machine.spooler.StageQueue(renamed);

    EXPECT_EQ(Install(), INSTALL_QUEUE_EXISTED);
    EXPECT_EQ(std::wstring(request.printerName), L"Workshop");
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_THAT(machine.spooler.Packages(), IsEmpty());
}

TEST_F(InstallPrinterScenario, ARegisteredDriverIsNotRegisteredAgain)
{
    machine.spooler.bindingDoesNothing = true;
    sim::DriverRecord driver;
    driver.name = kPrinter;
    driver.driverPath = kDriverDir + L"\\3\\qxvprtdrv6.dll";
    machine.spooler.StageDriver(driver);
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(machine.faults.Calls("AddPrinterDriverW"), 0);
    ASSERT_NE(machine.spooler.FindQueue(kPrinter), nullptr);
    EXPECT_EQ(machine.spooler.FindQueue(kPrinter)->driver, kPrinter);
}

TEST_F(InstallPrinterScenario, AQueueThatAppearsLateWithinFiveSecondsCounts)
{
    // Plug and Play is slow: the queue comes 13 s after the binding; the manual
    // queue creation fails meanwhile.
    machine.spooler.pnpQueueDelayMs = 13000;
    machine.faults.FailFrom("AddPrinterW", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(Log().back(), L"AddPrinter failed, errcode:5.");
    ASSERT_NE(machine.spooler.FindQueue(kPrinter), nullptr);
    EXPECT_TRUE(machine.spooler.FindQueue(kPrinter)->createdByPlugAndPlay);
    EXPECT_EQ(Elapsed(), 13000u) << "ten seconds for Plug and Play, three of the five-second poll";
}

TEST_F(InstallPrinterScenario, AQueueThatNeverAppearsIsAFailureNotASuccess)
{
    machine.spooler.bindingDoesNothing = true;
    machine.faults.FailFrom("AddPrinterW", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Install(), 0);
    EXPECT_EQ(machine.spooler.FindQueue(kPrinter), nullptr);
    EXPECT_EQ(Elapsed(), 15000u) << "the Plug and Play wait and the full five-second poll";
}

TEST_F(InstallPrinterScenario, APortTheSpoolerDoesNotListYetAppearsAfterARestart)
{
    machine.spooler.usbPortsNeedRestart = true;
    machine.devices.Unplug(L"SN0001");
    machine.devices.Plug(sim::UsbPrinter{}); // plugged after the spooler started
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(machine.spooler.Stops(), 1);
    EXPECT_EQ(machine.spooler.Starts(), 1);
    std::vector<std::wstring> ports;
    for (const sim::PortRecord& port : machine.spooler.Ports()) {
        ports.push_back(port.name);
    }
    EXPECT_THAT(ports, ::testing::Contains(L"USB001"));
}

TEST_F(InstallPrinterScenario, AnUnknownArchitectureCopiesNoDriverFiles)
{
    machine.processorArchitecture = PROCESSOR_ARCHITECTURE_IA64;
    machine.spooler.bindingDoesNothing = true;
    EXPECT_EQ(CopyDriverFile(L"qxvprtdrv6.dll"), 0);
    EXPECT_THAT(Log(), IsEmpty()) << "no file touched, nothing logged";
    EXPECT_THAT(machine.volume.ListFiles(kDriverDir), IsEmpty());
}

TEST_F(InstallPrinterScenario, TheLanguageMonitorIsCopiedWhileTheSpoolerIsStoppedAndRegistered)
{
    // An older monitor is registered: the running spooler holds its DLL open,
    // so only a copy made while the spooler is stopped can replace it.
    machine.volume.WriteFile(machine.systemDirectory + L"\\qxvprtmon.dll", "MZ old monitor");
    machine.spooler.StageMonitor(L"Language Monitor", L"qxvprtmon.dll");
    ASSERT_FALSE(machine.volume.Copy(kDriverFolder + L"amd64\\qxvprtmon.dll",
                                     machine.systemDirectory + L"\\qxvprtmon.dll", false) == ERROR_SUCCESS);
    machine.spooler.bindingDoesNothing = true;
    EXPECT_EQ(Install(MODEL_FLAG_LANGUAGE_MONITOR), 1);

    EXPECT_EQ(machine.volume.ReadFile(machine.systemDirectory + L"\\qxvprtmon.dll"), "MZ monitor");
    EXPECT_EQ(machine.spooler.Stops(), 1) << "one cycle, for the monitor DLL";
    ASSERT_EQ(machine.spooler.Monitors().size(), 1u);
    EXPECT_EQ(machine.spooler.Monitors()[0].name, L"Language Monitor");
    EXPECT_EQ(machine.spooler.Monitors()[0].dll, L"qxvprtmon.dll");
    const sim::DriverRecord* driver = machine.spooler.FindDriver(kPrinter);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->monitorName, std::wstring(L"Language Monitor"));
    ASSERT_TRUE(driver->dependentFiles.has_value());
    ASSERT_EQ(driver->dependentFiles->size(), 1u);
    EXPECT_THAT(driver->dependentFiles->at(0), ::testing::EndsWith(L"qxvprtmon.dll"));
}

TEST_F(InstallPrinterScenario, AMonitorAlreadyInstalledIsSuccess)
{
    machine.volume.WriteFile(machine.systemDirectory + L"\\qxvprtmon.dll", "MZ monitor");
    machine.spooler.StageMonitor(L"Language Monitor", L"qxvprtmon.dll");
    EXPECT_EQ(InstallPrinterLanguageMonitor(), 1);
    machine.spooler.DeleteMonitor(L"Language Monitor");
    machine.volume.Delete(machine.systemDirectory + L"\\qxvprtmon.dll");
    EXPECT_EQ(InstallPrinterLanguageMonitor(), 0) << "no DLL in the system directory";
    EXPECT_THAT(Log(), ElementsAre(L"InstallPrinterLanguageMonitor failed, errcode:126."));
}

TEST_F(InstallPrinterScenario, WithTheMonitorFlagPlugAndPlayStopsWaitingOnceTheQueueExists)
{
    EXPECT_EQ(Install(MODEL_FLAG_LANGUAGE_MONITOR), 1);
    ASSERT_NE(machine.spooler.FindQueue(kPrinter), nullptr);
    EXPECT_TRUE(machine.spooler.FindQueue(kPrinter)->createdByPlugAndPlay);
    EXPECT_EQ(machine.volume.ReadFile(machine.systemDirectory + L"\\qxvprtmon.dll"), "MZ monitor");
    EXPECT_EQ(Elapsed(), 2000u + 200u) << "the queue after two seconds, then the pause of the spooler cycle";
}

TEST_F(InstallPrinterScenario, ACopyThatFailsIsRegisteredForRestartOnlyWhenTheSourceExists)
{
    machine.volume.WriteFile(kDriverDir + L"\\qxvprtdrv6.dll", "old render, in use");
    machine.volume.SetHeldOpen(kDriverDir + L"\\qxvprtdrv6.dll", true);
    EXPECT_NE(CopyDriverFile(L"qxvprtdrv6.dll"), 0) << "replacement at restart registered";
    ASSERT_EQ(machine.volume.PendingRenames().size(), 1u);
    EXPECT_EQ(machine.volume.PendingRenames()[0].destination, kDriverDir + L"\\qxvprtdrv6.dll");
    EXPECT_EQ(machine.volume.PendingRenames()[0].flags, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
    EXPECT_EQ(machine.volume.ReadFile(machine.volume.PendingRenames()[0].source),
              machine.volume.ReadFile(kDriverFolder + L"amd64\\qxvprtdrv6.dll"))
        << "the file to put in place is staged now";

    machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6ui.dll");
    EXPECT_EQ(CopyDriverFile(L"qxvprtdrv6ui.dll"), 0) << "nothing to put in place, ever";
    EXPECT_EQ(machine.volume.PendingRenames().size(), 1u);

    machine.volume.RemoveTree(kDriverFolder + L"amd64");
    EXPECT_EQ(CopyDriverFile(L"qxvprtdrv6.dll"), 0) << "no architecture folder: nothing to put in place, ever";
    EXPECT_EQ(machine.volume.PendingRenames().size(), 1u);
    WriteDriverFolder(machine, kDriverFolder);

    // A failure that is not about a file in use is a failure now; a restart would not mend it.
    machine.faults.FailCall("CopyFileW", machine.faults.Calls("CopyFileW") + 1, ERROR_DISK_FULL);
    EXPECT_EQ(CopyDriverFile(L"qxvprtdrv6.dll"), 0);
    EXPECT_EQ(machine.volume.PendingRenames().size(), 1u);

    machine.faults.FailCall("MoveFileExW", machine.faults.Calls("MoveFileExW") + 1, ERROR_ACCESS_DENIED);
    const size_t files = machine.volume.ListFiles(kDriverDir).size();
    EXPECT_EQ(CopyDriverFile(L"qxvprtdrv6.dll"), 0) << "a registration that failed is no success";
    EXPECT_EQ(machine.volume.ListFiles(kDriverDir).size(), files) << "and leaves no staged file";
}

// One file the restart cannot replace leaves the installation incomplete, whatever the next one does.
TEST_F(InstallPrinterScenario, ARegisteredCopyTheRestartCannotReplaceFailsTheInstallation)
{
    machine.spooler.bindingDoesNothing = true;
    for (const wchar_t* file : {L"\\qxvprtdrv6.dll", L"\\qxvprtdrv6ui.dll"}) {
        machine.volume.WriteFile(kDriverDir + file, "MZ an older build, in use");
        machine.volume.SetHeldOpen(kDriverDir + file, true);
    }
    // The two files in the driver directory, then the spooler's copy of the first.
    machine.faults.FailCall("MoveFileExW", 3, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Install(), 0);
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "the failure's own error for the box";
    EXPECT_EQ(machine.faults.Calls("MoveFileExW"), 4) << "the second copy was still tried";
}

} // namespace
