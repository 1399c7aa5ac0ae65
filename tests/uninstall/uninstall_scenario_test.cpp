// Uninstall mode on the simulated machine: the dialog, its tree, "Remove"
// and the clean-up, with the user acting from a script.
#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::wstring kFailed = L"Uninstall driver failed. Please try again, or reboot your OS then try again, or contact "
                             L"our support for assistance.";

class Uninstall : public SimTest {
protected:
    Uninstall() { InstallDriverFolder(machine, kDriverFolder); }

    // Installs a plugged-in PX630KT the way the user would.
    void InstallPrinter()
    {
        machine.devices.Plug(sim::UsbPrinter{});
        machine.messageBoxes.Expect(L"The printer [VADedudoro PX630KT] is installed on the port [USB001].", L"Message",
                                    MB_ICONINFORMATION, IDOK);
        machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L"");
    }

    // The user presses "Remove" and is told the outcome.
    void RemoveSucceeds()
    {
        machine.dialogs.ScriptPress(IDOK);
        machine.messageBoxes.Expect(L"The driver is uninstalled.", L"Message", MB_OK, IDOK);
    }

    void RemoveFails()
    {
        machine.dialogs.ScriptPress(IDOK);
        machine.messageBoxes.ExpectWithoutCaption(kFailed, MB_OK, IDOK);
    }

    void RunUninstaller()
    {
        machine.RunTool(kDriverFolder + L"unins000.exe", L"");
        machine.RunLaunchedTools();
    }

    sim::DialogRun Dialog()
    {
        std::vector<sim::DialogRun> runs = machine.dialogs.Runs(IDD_UNINSTALL);
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? sim::DialogRun{} : runs.back();
    }

    static std::vector<std::wstring> Texts(const std::vector<sim::TreeLine>& tree)
    {
        std::vector<std::wstring> texts;
        for (const sim::TreeLine& line : tree) {
            texts.push_back(std::to_wstring(line.depth) + (line.expanded ? L"+ " : L"  ") + line.text);
        }
        return texts;
    }

    static std::vector<int> Positions(const sim::DialogRun& run)
    {
        std::vector<int> positions;
        for (const sim::ProgressStep& step : run.progress) {
            positions.push_back(step.position);
        }
        return positions;
    }
};

TEST_F(Uninstall, NothingInstalledTheFolderStillGoesToTheRecycleBin)
{
    RemoveSucceeds();
    RunUninstaller();
    EXPECT_EQ(machine.clock.NowMs(), 1000u) << "only the pause after the spooler's restart";

    sim::DialogRun run = Dialog();
    EXPECT_EQ(run.result, IDCANCEL);
    EXPECT_EQ(run.caption, L"Uninstall printer driver");
    EXPECT_THAT(Texts(run.treeHistory.front()), ElementsAre(L"0  Nothing need to be removed there"));
    EXPECT_THAT(Positions(run), ElementsAre(80, 20, 30, 100));
    EXPECT_FALSE(run.progress[0].posted) << "the scan sends its position";
    EXPECT_TRUE(run.progress[1].posted) << "the removal posts its positions";
    EXPECT_FALSE(machine.volume.DirectoryExists(kDriverFolder));
    ASSERT_EQ(machine.volume.RecycleBin().size(), 1u);
    ASSERT_EQ(machine.shell.Notifications().size(), 1u);
    ASSERT_EQ(machine.shell.FileOperations().size(), 1u);
    EXPECT_LT(machine.shell.Notifications()[0].sequence, machine.shell.FileOperations()[0].sequence);
    EXPECT_EQ(machine.shell.FileOperations()[0].flags, FOF_ALLOWUNDO);
    EXPECT_THAT(machine.shell.PermanentlyDeleted(), IsEmpty());
    EXPECT_EQ(machine.messageBoxes.Shown().back().owner, run.dialog);
    EXPECT_EQ(machine.faults.Calls("DeleteFileW"), 1) << "a missing monitor file ends its attempts at once";
}

TEST_F(Uninstall, WithTheSpoolerStoppedTheTreeSaysWhatCouldNotBeRead)
{
    machine.spooler.SetServiceState(SERVICE_STOPPED);
    machine.dialogs.ScriptPress(IDCANCEL);
    RunUninstaller();
    EXPECT_THAT(Texts(Dialog().treeHistory.front()), ElementsAre(L"0  The driver folder: " + kDriverFolder,
                                                                 L"0  Some printer components could not be read and "
                                                                 L"are not listed. Remove reads them again."));
}

TEST_F(Uninstall, AnInstalledPrinterIsRemovedCompletely)
{
    InstallPrinter();
    ASSERT_NE(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);
    RemoveSucceeds();
    const uint64_t start = machine.clock.NowMs();
    RunUninstaller();
    // The pause after the spooler's restart, and one after the queue's and after the driver's deletion.
    EXPECT_EQ(machine.clock.NowMs() - start, 1000u + 300u + 300u);

    sim::DialogRun run = Dialog();
    ASSERT_FALSE(run.treeHistory.empty());
    const std::vector<std::wstring> tree = Texts(run.treeHistory.front());
    ASSERT_EQ(tree.size(), 4u);
    EXPECT_EQ(tree[0], L"0  The driver folder: " + kDriverFolder);
    EXPECT_THAT(sim::Utf8(tree[1]),
                ::testing::MatchesRegex("0\\+ Driver Package:qxvprtv6\\.inf, version:07/31/2024,2024\\.07\\.31\\.1, "
                                        "C:.*\\\\qxvprtv6\\.inf, "));
    EXPECT_THAT(tree[2], ::testing::StartsWith(L"1+ Printer Driver:VADedudoro PX630KT, "));
    EXPECT_THAT(tree[2], ::testing::EndsWith(L", version:2024.7.31.1, "));
    EXPECT_EQ(tree[3], L"2  Printer:VADedudoro PX630KT on the port: USB001. ");
    EXPECT_EQ(run.result, IDCANCEL);
    EXPECT_THAT(machine.spooler.Queues(), IsEmpty());
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    EXPECT_THAT(machine.spooler.Packages(), IsEmpty());
    EXPECT_THAT(machine.spooler.Monitors(), IsEmpty());
    EXPECT_FALSE(machine.volume.FileExists(machine.systemDirectory + L"\\qxvprtmon.dll"));
    EXPECT_FALSE(machine.volume.DirectoryExists(kDriverFolder));
    EXPECT_THAT(Positions(run), ElementsAre(80, 20, 30, 60, 80, 100));
}

TEST_F(Uninstall, APrinterThatCannotBeDeletedKeepsTheDialogOpenAndRemoveRetriesOnlyWhatIsLeft)
{
    InstallPrinter();
    machine.faults.FailCall("DeletePrinter", 1, ERROR_ACCESS_DENIED);
    RemoveFails();
    // After the failure both buttons are enabled again; the user presses Remove once more.
    RemoveSucceeds();
    const uint64_t start = machine.clock.NowMs();
    RunUninstaller();
    // A restart's pause for each removal; the driver waits for its queue, so no retry pause.
    EXPECT_EQ(machine.clock.NowMs() - start, 1000u + (1000u + 300u + 300u));

    sim::DialogRun run = Dialog();
    ASSERT_GE(run.treeHistory.size(), 2u);
    const std::vector<std::wstring> afterFailure = Texts(run.treeHistory[1]);
    ASSERT_EQ(afterFailure.size(), 4u);
    EXPECT_THAT(afterFailure[3], ::testing::EndsWith(L"USB001. Failed. Error:5"));
    EXPECT_THAT(afterFailure[2], ::testing::EndsWith(L", ")) << "the driver was not attempted";
    EXPECT_EQ(machine.faults.Calls("DeletePrinter"), 2) << "one failed, one retried";
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    EXPECT_EQ(run.result, IDCANCEL);
}

TEST_F(Uninstall, EnterWhileARemovalRunsStartsNoSecondOne)
{
    InstallPrinter();
    machine.dialogs.ScriptPress(IDOK);
    machine.dialogs.ScriptEnter(sim::Disabled(IDOK));
    machine.dialogs.ScriptEscape(sim::Disabled(IDOK));
    machine.messageBoxes.Expect(L"The driver is uninstalled.", L"Message", MB_OK, IDOK);
    RunUninstaller();
    EXPECT_EQ(machine.faults.Calls("DeletePrinterDriverPackageW"), 1) << "one removal only";
    EXPECT_EQ(Dialog().result, IDCANCEL);
    EXPECT_FALSE(machine.volume.DirectoryExists(kDriverFolder)) << "Esc did not end the removal half-way";
}

// Reading is all the scan does: Esc may end it, and the process, half-way.
TEST_F(Uninstall, EscDuringTheScanEndsTheDialogAndChangesNothing)
{
    InstallPrinter();
    machine.dialogs.ScriptEscape(sim::Disabled(IDOK));
    cutShort = ::testing::SizeIs(1);
    RunUninstaller();
    EXPECT_EQ(Dialog().result, IDCANCEL);
    EXPECT_EQ(machine.spooler.Stops(), 0);
    EXPECT_THAT(machine.spooler.Queues(), ::testing::SizeIs(1));
    EXPECT_TRUE(machine.volume.DirectoryExists(kDriverFolder));
}

// Stuck stopping, the spooler answers nothing: the removal cannot be checked,
// so it is no success, and neither the monitor file nor the folder is touched.
TEST_F(Uninstall, ASpoolerThatWillNotStopLeavesEverythingAndSaysSo)
{
    machine.volume.WriteFile(machine.systemDirectory + L"\\qxvprtmon.dll", "MZ monitor");
    machine.spooler.neverStops = true;
    RemoveFails();
    machine.dialogs.ScriptPress(IDCANCEL);
    RunUninstaller();
    EXPECT_TRUE(machine.volume.FileExists(machine.systemDirectory + L"\\qxvprtmon.dll"));
    EXPECT_TRUE(machine.volume.DirectoryExists(kDriverFolder));
}

TEST_F(Uninstall, AnOrphanDriverIsRemovedWithoutAnyPackageDeletion)
{
    sim::DriverRecord driver;
    driver.name = L"VADedudoro PX630KT";
    driver.driverPath = machine.spooler.DriverDirectory() + L"\\3\\qxvprtdrv6.dll";
    machine.spooler.StageDriver(driver);
    RemoveSucceeds();
    RunUninstaller();
    EXPECT_THAT(Texts(Dialog().treeHistory.front()),
                ElementsAre(L"0  The driver folder: " + kDriverFolder, L"0+ No driver package",
                            L"1  Printer Driver:VADedudoro PX630KT, (null), version:0.0.0.0, "));
    EXPECT_EQ(machine.faults.Calls("DeletePrinterDriverPackageW"), 0);
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    EXPECT_FALSE(machine.volume.DirectoryExists(kDriverFolder)) << "the clean-up still runs";
}

// The spooler names the stored INF, but the store keeps no key for it: the line still shows the path.
TEST_F(Uninstall, APackageKnownOnlyByItsDriversInfPathIsListedByThatPath)
{
    const std::wstring inf = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\x\\qxvprtv6.inf";
    sim::DriverRecord driver;
    driver.name = L"VADedudoro PX630KT";
    driver.driverPath = machine.spooler.DriverDirectory() + L"\\3\\qxvprtdrv6.dll";
    driver.infPath = inf;
    machine.spooler.StageDriver(driver);
    machine.dialogs.ScriptPress(IDCANCEL);
    RunUninstaller();
    const std::vector<std::wstring> tree = Texts(Dialog().treeHistory.front());
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[1], L"0+ Driver Package:, version:, " + inf + L", ");
    EXPECT_EQ(tree[2], L"1  Printer Driver:VADedudoro PX630KT, (null), version:0.0.0.0, ");
}

// The English line gives the HRESULT in decimal, the Chinese one in hex.
struct PackageFailure {
    LANGID language;
    std::wstring box, caption, packageLine, driverLine;
};

void PrintTo(const PackageFailure& failure, std::ostream* out)
{
    *out << "language " << failure.language;
}

class UninstallInEachLanguage : public Uninstall, public ::testing::WithParamInterface<PackageFailure> {};

TEST_P(UninstallInEachLanguage, APackageThatCannotBeDeletedShowsItsHresult)
{
    InstallPrinter();
    machine.uiLanguage = GetParam().language;
    machine.faults.FailFrom("DeletePrinterDriverPackageW", 1, ERROR_ACCESS_DENIED);
    machine.dialogs.ScriptPress(IDOK);
    machine.messageBoxes.ExpectWithoutCaption(GetParam().box, MB_OK, IDOK);
    machine.dialogs.ScriptPress(IDCANCEL);
    RunUninstaller();

    sim::DialogRun run = Dialog();
    EXPECT_EQ(run.caption, GetParam().caption);
    const std::vector<std::wstring> tree = Texts(run.tree);
    ASSERT_EQ(tree.size(), 4u);
    EXPECT_THAT(tree[1], ::testing::EndsWith(GetParam().packageLine));
    EXPECT_THAT(tree[2], ::testing::EndsWith(GetParam().driverLine));
    EXPECT_EQ(run.result, IDCANCEL) << "Close ends the dialog with 2";
    EXPECT_TRUE(machine.volume.DirectoryExists(kDriverFolder)) << "no clean-up after a failure";
}

INSTANTIATE_TEST_SUITE_P(
    Languages, UninstallInEachLanguage,
    ::testing::Values(PackageFailure{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), kFailed, L"Uninstall printer driver",
                                     L"Failed. Error:-2147024891", L"Removed."},
                      PackageFailure{MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
                                     L"驱动卸载失败，请重试，或者重启系统后再试，或者联系技术支持获得帮助。",
                                     L"卸载打印机驱动", L"删除失败，错误码:0x80070005", L"已删除"}));

TEST_F(Uninstall, ADriverUnderTwoPackagesIsRemovedOnceAndFoundGoneThroughTheOther)
{
    InstallPrinter();
    // Another copy of the package, stored under its own folder, lists the same driver.
    WriteDriverFolder(machine, L"C:\\Other\\");
    machine.volume.WriteFile(L"C:\\Other\\qxvprtv6.inf",
                             *machine.volume.ReadFile(kDriverFolder + L"qxvprtv6.inf") + "; 2\r\n");
    std::wstring stored;
    ASSERT_EQ(machine.spooler.UploadPackage(L"C:\\Other\\qxvprtv6.inf", &stored), S_OK);
    ASSERT_EQ(machine.spooler.Packages().size(), 2u);

    RemoveSucceeds();
    RunUninstaller();

    sim::DialogRun run = Dialog();
    const std::vector<std::wstring> before = Texts(run.treeHistory.front());
    ASSERT_EQ(before.size(), 7u) << "folder, and package, driver and printer twice";
    const std::vector<std::wstring> after = Texts(run.treeHistory.back());
    ASSERT_EQ(after.size(), 7u);
    for (size_t i = 1; i < after.size(); ++i) {
        EXPECT_THAT(after[i], ::testing::EndsWith(L"Removed.")) << "line " << i;
    }
    EXPECT_EQ(machine.faults.Calls("DeletePrinter"), 1) << "the second entry finds the queue gone (1801)";
    EXPECT_EQ(machine.faults.Calls("DeletePrinterDriverExW"), 2) << "the second finds the driver gone (1797)";
    EXPECT_THAT(machine.spooler.Packages(), IsEmpty());
    EXPECT_FALSE(machine.volume.DirectoryExists(kDriverFolder));
}

// Threads and posted messages are resources too; without them the dialog
// must neither remove blind nor trap the user.
TEST_F(Uninstall, WithoutAThreadTheScanRunsOnTheDialogsThreadAndARemovalThatCannotStartIsReported)
{
    InstallPrinter();
    const int threads = machine.faults.Calls("CreateThread"); // the install's
    machine.faults.FailCall("CreateThread", threads + 1, ERROR_NOT_ENOUGH_MEMORY);
    machine.faults.FailCall("CreateThread", threads + 2, ERROR_NOT_ENOUGH_MEMORY);
    RemoveFails();
    RemoveSucceeds();
    RunUninstaller();
    ASSERT_FALSE(Dialog().treeHistory.empty());
    EXPECT_EQ(Dialog().treeHistory.front().size(), 4u) << "the inventory was read before Remove";
    EXPECT_THAT(machine.spooler.Queues(), IsEmpty());
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
}

TEST_F(Uninstall, ADialogThatCannotBeToldToCloseLetsTheUserCloseIt)
{
    // The scan's tree refresh and end, then 20, 30, 100, the refresh and the close request of the removal.
    machine.faults.FailCall("PostMessageW", 7, ERROR_NOT_ENOUGH_QUOTA);
    RemoveSucceeds();
    machine.dialogs.ScriptPress(IDCANCEL);
    RunUninstaller();
    EXPECT_EQ(Dialog().result, IDCANCEL);
    EXPECT_FALSE(Dialog().Control(IDOK).enabled) << "nothing is left to remove";
}

} // namespace

// A read that fails when the dialog opens leaves the inventory short. The
// run on it ends in the failure box with the folder and the monitor file
// kept; the tree then shows what is really there, and "Remove" takes it.
struct ShortRead {
    const char* name;
    std::function<void(sim::Machine&)> fault;
};

void PrintTo(const ShortRead& read, std::ostream* out)
{
    *out << read.name;
}

class ShortReads : public Uninstall, public ::testing::WithParamInterface<ShortRead> {};

TEST_P(ShortReads, NeverEndInTheUninstalledBoxAndRemoveTakesWhatIsLeft)
{
    machine.spooler.bindingDoesNothing = true; // the manual fallback installs it
    InstallPrinter();
    const std::wstring monitorFile = machine.systemDirectory + L"\\qxvprtmon.dll";
    machine.volume.WriteFile(monitorFile, "MZ monitor");
    machine.faults.Reset();
    GetParam().fault(machine);
    struct Seen {
        std::wstring text;
        size_t recycled;
        bool monitorFile;
    };
    std::vector<Seen> seen;
    machine.messageBoxes.SetResponder([&](const sim::MessageBoxRecord& box) {
        seen.push_back({box.text, machine.volume.RecycleBin().size(), machine.volume.FileExists(monitorFile)});
        return IDOK;
    });
    machine.dialogs.ScriptPress(IDOK);
    machine.dialogs.ScriptPress(IDOK);
    RunUninstaller();

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, kFailed);
    EXPECT_EQ(seen[0].recycled, 0u) << "the folder stays after the failure";
    EXPECT_TRUE(seen[0].monitorFile) << "the monitor file stays after the failure";
    EXPECT_EQ(seen[1].text, L"The driver is uninstalled.");
    const sim::DialogRun run = Dialog();
    ASSERT_GE(run.treeHistory.size(), 2u);
    EXPECT_GE(run.treeHistory[1].size(), 2u) << "the tree shows what is left, not \"nothing\"";
    EXPECT_THAT(machine.spooler.Queues(), IsEmpty());
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    EXPECT_THAT(machine.spooler.Packages(), IsEmpty());
    EXPECT_FALSE(machine.volume.DirectoryExists(kDriverFolder));
}

INSTANTIATE_TEST_SUITE_P(
    WhenTheDialogOpens, ShortReads,
    ::testing::Values(
        ShortRead{"SpoolerStopped", [](sim::Machine& m) { m.spooler.SetServiceState(SERVICE_STOPPED); }},
        ShortRead{"DriverSizeQueryFails",
                  [](sim::Machine& m) { m.faults.FailCall("EnumPrinterDriversW", 1, RPC_S_SERVER_UNAVAILABLE); }},
        ShortRead{"DriverListFails",
                  [](sim::Machine& m) { m.faults.FailCall("EnumPrinterDriversW", 2, RPC_S_SERVER_UNAVAILABLE); }},
        ShortRead{"FirstAllocationFails",
                  [](sim::Machine& m) { m.faults.FailCall("LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY); }},
        ShortRead{"APackageKeyCannotBeOpened",
                  [](sim::Machine& m) { m.faults.FailCall("RegOpenKeyW", 2, ERROR_ACCESS_DENIED); }}),
    [](const ::testing::TestParamInfo<ShortRead>& info) { return std::string(info.param.name); });

// The monitor goes with its driver: a driver deleted while its monitor stays
// is no removal, and the monitor's DLL stays while a monitor uses it.
TEST_F(Uninstall, AMonitorThatCannotBeDeletedKeepsItsDriverLineFailedAndItsFile)
{
    InstallPrinter();
    ASSERT_FALSE(machine.spooler.Monitors().empty()) << "the demo driver carries the language monitor";
    machine.faults.FailFrom("DeleteMonitorW", 1, ERROR_ACCESS_DENIED);
    RemoveFails();
    machine.dialogs.ScriptPress(IDCANCEL);
    const uint64_t start = machine.clock.NowMs();
    RunUninstaller();
    EXPECT_EQ(machine.clock.NowMs() - start, 1000u + 300u + 10 * 1000u)
        << "ten attempts at the driver, a pause after each";

    EXPECT_THAT(Texts(Dialog().tree)[2], ::testing::EndsWith(L"Failed. Error:5"));
    // Its package is not attempted while a driver of it stays, so its line says nothing.
    EXPECT_EQ(machine.faults.Calls("DeletePrinterDriverPackageW"), 0);
    EXPECT_THAT(Texts(Dialog().tree)[1], ::testing::EndsWith(L".inf, "));
    EXPECT_FALSE(machine.spooler.Monitors().empty());
    EXPECT_TRUE(machine.volume.FileExists(machine.systemDirectory + L"\\qxvprtmon.dll"));
    EXPECT_TRUE(machine.volume.DirectoryExists(kDriverFolder));
}

// A driver that stays keeps its monitor, and another maker's monitor that a
// family driver names is never the family's to delete.
TEST_F(Uninstall, OnlyTheFamilysMonitorGoesAndOnlyAfterItsDriver)
{
    machine.volume.WriteFile(machine.systemDirectory + L"\\pjlmon.dll", "MZ another maker's monitor");
    machine.spooler.StageMonitor(L"PJL Language Monitor", L"pjlmon.dll");
    sim::DriverRecord driver;
    driver.name = L"VADedudoro PX630KT";
    driver.driverPath = machine.spooler.DriverDirectory() + L"\\3\\qxvprtdrv6.dll";
    driver.monitorName = L"PJL Language Monitor";
    machine.spooler.StageDriver(driver);
    machine.faults.FailFrom("DeletePrinterDriverExW", 1, ERROR_PRINTER_DRIVER_IN_USE);
    RemoveFails();
    machine.dialogs.ScriptPress(IDCANCEL);
    RunUninstaller();
    EXPECT_EQ(machine.faults.Calls("DeleteMonitorW"), 0);
    machine.faults.Reset();
    RemoveSucceeds();
    RunUninstaller();
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    ASSERT_EQ(machine.spooler.Monitors().size(), 1u);
    EXPECT_EQ(machine.spooler.Monitors()[0].name, L"PJL Language Monitor");
}

// A print server keeps the x86 driver for its clients beside its own: both
// are the family's, and both go.
TEST_F(Uninstall, TheDriverKeptForX86ClientsGoesToo)
{
    InstallPrinter();
    sim::DriverRecord x86 = *machine.spooler.FindDriver(L"VADedudoro PX630KT");
    x86.environment = L"Windows NT x86";
    x86.driverPath = L"C:\\Windows\\system32\\spool\\drivers\\w32x86\\3\\qxvprtdrv6.dll";
    machine.spooler.StageDriver(x86);
    RemoveSucceeds();
    RunUninstaller();
    std::vector<std::reference_wrapper<const sim::DriverRecord>> x86Drivers;
    EXPECT_EQ(machine.spooler.DriversOf(L"Windows NT x86", &x86Drivers), 0u);
    EXPECT_THAT(x86Drivers, IsEmpty());
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    EXPECT_EQ(Texts(Dialog().treeHistory.front()).size(), 6u) << "folder, package, and each driver with the queue";
}

TEST_F(Uninstall, AMonitorLeftWithoutItsDriverIsListedAndRemoved)
{
    machine.volume.WriteFile(machine.systemDirectory + L"\\qxvprtmon.dll", "MZ monitor");
    machine.spooler.StageMonitor(L"Language Monitor", L"qxvprtmon.dll");
    RemoveSucceeds();
    RunUninstaller();
    EXPECT_THAT(
        Texts(Dialog().treeHistory.front()),
        ElementsAre(L"0  The driver folder: " + kDriverFolder, L"0  Print Monitor:Language Monitor, qxvprtmon.dll, "));
    EXPECT_THAT(Texts(Dialog().treeHistory.back()).back(), ::testing::EndsWith(L"qxvprtmon.dll, Removed."));
    EXPECT_THAT(machine.spooler.Monitors(), IsEmpty());
    EXPECT_FALSE(machine.volume.FileExists(machine.systemDirectory + L"\\qxvprtmon.dll"));
}

// An Enter that lands while a worker gives the buttons back, between its two
// enables, would start a removal whose buttons the worker then enables. The
// dialog thread gives them back in one step, so that moment never comes.
TEST_F(Uninstall, NoEnterCanLandWhileAWorkerGivesTheButtonsBack)
{
    InstallPrinter();
    const sim::When halfEnabled = [](const sim::DialogView& view) {
        return view.Enabled(IDOK) && !view.Enabled(IDCANCEL);
    };
    machine.faults.FailCall("DeletePrinter", 1, ERROR_ACCESS_DENIED);
    machine.dialogs.ScriptEnterIfEver(halfEnabled);
    RemoveFails();
    RemoveSucceeds();
    RunUninstaller();

    EXPECT_EQ(machine.faults.Calls("DeletePrinter"), 2) << "two removals: the two presses";
    const std::vector<std::string> log = Dialog().Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "user presses Enter"), 0);
}

// Right after the failure box, "Close" closes: the removal no longer holds the dialog.
TEST_F(Uninstall, CloseRightAfterTheFailureBoxEndsTheDialog)
{
    InstallPrinter();
    machine.faults.FailCall("DeletePrinter", 1, ERROR_ACCESS_DENIED);
    RemoveFails();
    // The moment the box is answered, before the removal's thread has ended.
    machine.dialogs.ScriptPress(IDCANCEL, [this](const sim::DialogView& view) {
        return view.Enabled(IDCANCEL) && machine.messageBoxes.Shown().size() == 2;
    });
    RunUninstaller();
    EXPECT_EQ(Dialog().result, IDCANCEL);
}
