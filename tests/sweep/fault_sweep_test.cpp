// Every failure point of the whole-mode stories, one at a time: each story
// runs once per call it makes to an operation that can fail, with that one
// call failing as Windows would fail it. Whatever fails, the tool must end
// in bounded time, leak nothing, and never claim what did not happen.
#include <cxxabi.h>
#include <dlfcn.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <optional>
#include <utility>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/instance_guard.h"
#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

const std::wstring kUninstalled = L"The driver is uninstalled.";
const std::wstring kInstalled = L"The printer [VADedudoro PX630KT] is installed on the port [USB001].";
// Far beyond any story's fixed waits; reaching it means a wait without end.
const uint64_t kTimeLimitMs = 10 * 60 * 1000;
const size_t kBoxLimit = 12;

// The error each operation gives when it fails for a reason outside the
// tool's control; out of memory for allocations. Operations not listed cannot
// fail for the arguments the tool passes (formatting, sleeping, window state),
// or fail only for a handle the tool no longer owns (the close operations).
const std::map<std::string, DWORD> kFailureErrors = {
    {"EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE},
    {"EnumPrintersW", RPC_S_SERVER_UNAVAILABLE},
    {"EnumPortsW", RPC_S_SERVER_UNAVAILABLE},
    {"EnumMonitorsW", RPC_S_SERVER_UNAVAILABLE},
    {"OpenPrinterW", ERROR_INVALID_PRINTER_NAME},
    {"SetPrinterW", ERROR_ACCESS_DENIED},
    {"DeletePrinter", ERROR_ACCESS_DENIED},
    {"AddPrinterW", ERROR_ACCESS_DENIED},
    {"AddPrinterDriverW", ERROR_ACCESS_DENIED},
    {"AddMonitorW", ERROR_ACCESS_DENIED},
    {"DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE},
    {"DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE},
    {"DeletePrinterDriverPackageW", ERROR_ACCESS_DENIED},
    {"UploadPrinterDriverPackageW", ERROR_ACCESS_DENIED},
    {"GetPrinterDriverDirectoryW", RPC_S_SERVER_UNAVAILABLE},
    {"SetupDiGetClassDevsW", ERROR_NOT_ENOUGH_MEMORY},
    {"SetupDiEnumDeviceInterfaces", ERROR_NOT_ENOUGH_MEMORY},
    {"SetupDiGetDeviceInterfaceDetailW", ERROR_NOT_ENOUGH_MEMORY},
    {"CM_Locate_DevNodeW", ERROR_NOT_ENOUGH_MEMORY},
    {"CM_Reenumerate_DevNode", ERROR_NOT_ENOUGH_MEMORY},
    {"UpdateDriverForPlugAndPlayDevicesW", ERROR_NO_SUCH_DEVINST},
    {"SetupGetInfInformationW", ERROR_FILE_NOT_FOUND},
    {"SetupQueryInfVersionInformationW", ERROR_NOT_ENOUGH_MEMORY},
    {"RegOpenKeyW", ERROR_ACCESS_DENIED},
    {"RegOpenKeyExW", ERROR_ACCESS_DENIED},
    {"RegEnumKeyW", ERROR_ACCESS_DENIED},
    // A value that is there but cannot be read; a missing one is another machine, not a failure.
    {"RegGetValueW", ERROR_MORE_DATA},
    {"RegQueryValueExW", ERROR_FILE_NOT_FOUND},
    {"OpenSCManagerW", ERROR_ACCESS_DENIED},
    {"OpenServiceW", ERROR_SERVICE_DOES_NOT_EXIST},
    {"QueryServiceStatusEx", ERROR_ACCESS_DENIED},
    {"ControlService", ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
    {"StartServiceW", ERROR_SERVICE_DISABLED},
    {"SHFileOperationW", ERROR_ACCESS_DENIED},
    {"SHGetKnownFolderPath", ERROR_ACCESS_DENIED},
    {"DialogBoxParamW", ERROR_NOT_ENOUGH_MEMORY},
    {"PostMessageW", ERROR_NOT_ENOUGH_QUOTA},
    {"LoadIconW", ERROR_RESOURCE_NAME_NOT_FOUND},
    {"GetSystemMenu", ERROR_INVALID_WINDOW_HANDLE},
    {"EnableMenuItem", ERROR_INVALID_MENU_HANDLE},
    {"MessageBoxW", ERROR_NOT_ENOUGH_MEMORY},
    {"LoadStringW", ERROR_RESOURCE_NAME_NOT_FOUND},
    {"GetModuleFileNameW", ERROR_NOT_ENOUGH_MEMORY},
    {"GetTempPathW", ERROR_PATH_NOT_FOUND},
    {"GetTempFileNameW", ERROR_ACCESS_DENIED},
    {"GetSystemDirectoryW", ERROR_NOT_ENOUGH_MEMORY},
    {"CopyFileW", ERROR_DISK_FULL},
    {"DeleteFileW", ERROR_ACCESS_DENIED},
    {"GetFileAttributesW", ERROR_ACCESS_DENIED},
    {"CreateFileW", ERROR_SHARING_VIOLATION},
    {"MoveFileExW", ERROR_ACCESS_DENIED},
    {"CreateProcessW", ERROR_NOT_ENOUGH_MEMORY},
    {"CreateDirectoryW", ERROR_DISK_FULL},
    {"SetFileAttributesW", ERROR_ACCESS_DENIED},
    {"RemoveDirectoryW", ERROR_SHARING_VIOLATION},
    {"GetSystemWindowsDirectoryW", ERROR_NOT_ENOUGH_MEMORY},
    {"CoCreateGuid", ERROR_NOT_ENOUGH_MEMORY},
    {"ConvertStringSecurityDescriptorToSecurityDescriptorW", ERROR_NOT_ENOUGH_MEMORY},
    {"CreateThread", ERROR_NOT_ENOUGH_MEMORY},
    {"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY},
    {"MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION},
    {"WideCharToMultiByte", ERROR_NO_UNICODE_TRANSLATION},
    {"SystemTimeToFileTime", ERROR_INVALID_PARAMETER},
    {"WriteFile", ERROR_DISK_FULL},
    {"GetFileInformationByHandle", ERROR_ACCESS_DENIED},
    {"GetVersionExW", ERROR_INVALID_PARAMETER},
    {"CreateMutexW", ERROR_ACCESS_DENIED},
    {"GetSecurityInfo", ERROR_ACCESS_DENIED},
    {"ConvertSecurityDescriptorToStringSecurityDescriptorW", ERROR_NOT_ENOUGH_MEMORY},
    {"GetFinalPathNameByHandleW", ERROR_PATH_NOT_FOUND},
    {"WaitForSingleObject", ERROR_INVALID_HANDLE},
    {"GetExitCodeProcess", ERROR_ACCESS_DENIED},
    {"OpenProcess", ERROR_ACCESS_DENIED},
};

// One whole-mode story: the machine as the user has it, then what the user runs.
struct Story {
    const char* name;
    std::function<void(sim::Machine&)> stage;
    std::function<void(sim::Machine&)> play;
    // The box the story ends with when nothing fails.
    std::wstring successBox;
    // What the user does on seeing a box, before answering it.
    std::function<void(sim::Machine&, const sim::MessageBoxRecord&)> onBox = nullptr;
};

// Test names show the story, not its bytes.
void PrintTo(const Story& story, std::ostream* out)
{
    *out << story.name;
}

void StartSetup(sim::Machine& machine)
{
    machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L"");
    machine.RunLaunchedTools();
}

void StartUninstaller(sim::Machine& machine)
{
    machine.RunTool(kDriverFolder + L"unins000.exe", L"");
    machine.RunLaunchedTools();
}

// Two printers of the family installed the way the user installs them.
void StageInstalledFamily(sim::Machine& machine)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.devices.Plug(FamilyPrinter(L"SN2", 2, L"PX640KT"));
    StartSetup(machine);
}

// A family driver of a model that uses the language monitor, as the manual
// installation leaves it: no shipped model has the flag, so it is staged.
void StageFamilyWithLanguageMonitor(sim::Machine& machine)
{
    machine.volume.WriteFile(machine.systemDirectory + L"\\qxvprtmon.dll", "MZ monitor");
    machine.spooler.StageMonitor(L"Language Monitor", L"qxvprtmon.dll");
    sim::DriverRecord driver;
    driver.name = L"VADedudoro PX630KT";
    driver.driverPath = machine.spooler.DriverDirectory() + L"\\3\\qxvprtdrv6.dll";
    driver.monitorName = L"Language Monitor";
    machine.spooler.StageDriver(driver);
    sim::QueueRecord queue;
    queue.name = L"VADedudoro PX630KT";
    queue.port = L"USB001";
    queue.driver = driver.name;
    machine.spooler.StageQueue(queue);
}

const std::wstring kDownloads = L"C:\\Users\\Operator\\Downloads\\";
const std::wstring kFailedBox = L"Uninstall driver failed. Please try again, or reboot your OS then try again, or "
                                L"contact our support for assistance.";

void StageQueueTheListMisses(sim::Machine& machine)
{
    StageInstalledFamily(machine);
    sim::QueueRecord queue;
    queue.name = L"Front desk";
    queue.port = L"USB001";
    queue.driver = L"vadedudoro px630kt";
    machine.spooler.StageQueue(queue);
}

void DeleteQueueTheListMisses(sim::Machine& machine, const sim::MessageBoxRecord& box)
{
    if (box.text != kFailedBox) {
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(machine.Lock());
    HANDLE queue = nullptr;
    if (machine.spooler.OpenPrinter(L"Front desk", PRINTER_ALL_ACCESS, &queue) == ERROR_SUCCESS) {
        DWORD error = ERROR_SUCCESS;
        machine.spooler.DeleteQueue(queue);
        machine.spooler.ClosePrinter(queue, &error);
    }
}

void StageFamilyInDownloads(sim::Machine& machine)
{
    InstallDriverFolder(machine, kDownloads);
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.RunTool(kDownloads + L"PrinterSetup.exe", L"");
}

const std::vector<Story>& Stories()
{
    static const std::vector<Story> stories = {
        {"PlugAndPlayInstall", [](sim::Machine& m) { m.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT")); },
         StartSetup, kInstalled},
        {"ManualInstall",
         [](sim::Machine& m) {
             m.spooler.bindingDoesNothing = true;
             m.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
         },
         StartSetup, kInstalled},
        // The spooler lists the printer's port only after a restart, and takes its time to stop and start.
        {"PlugAndPlayInstallAfterAPortRestart",
         [](sim::Machine& m) {
             m.spooler.usbPortsNeedRestart = true;
             m.spooler.stopDelayMs = 300;
             m.spooler.startDelayMs = 500;
             m.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
         },
         StartSetup, kInstalled},
        // The first pass fails for a missing driver file; the user puts it back and retries.
        {"InstallLoopWithRetry",
         [](sim::Machine& m) {
             m.spooler.bindingDoesNothing = true;
             m.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
             m.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
         },
         StartSetup, kInstalled},
        // The spooler takes its time to stop and start, as on a busy machine.
        {"UninstallEverything",
         [](sim::Machine& m) {
             StageInstalledFamily(m);
             m.spooler.stopDelayMs = 300;
             m.spooler.startDelayMs = 500;
         },
         StartUninstaller, kUninstalled},
        {"UninstallManualFamily",
         [](sim::Machine& m) {
             m.spooler.bindingDoesNothing = true;
             StageInstalledFamily(m);
         },
         StartUninstaller, kUninstalled},
        {"UninstallFamilyWithLanguageMonitor", StageFamilyWithLanguageMonitor, StartUninstaller, kUninstalled},
        {"InstallWhenAskedToPlugIn", [](sim::Machine&) {}, StartSetup, kInstalled},
        // The log in the temporary folder is full: it makes way for this run.
        {"InstallWithAFullLog",
         [](sim::Machine& m) {
             m.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
             m.volume.WriteFile(m.tempPath + L"PrinterSetup.log", std::string(300 * 1024, 'x'));
         },
         StartSetup, kInstalled},
        // Another copy of the tool is at work: this one says so and does nothing else.
        {"SecondCopyWhileOneWorks",
         [](sim::Machine& m) {
             m.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
             m.HoldNamedMutex(kInstanceMutexName, *sim::ParseSddl(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)"));
         },
         StartSetup,
         L"Another installation or removal of the printer driver is running. Please wait until it has finished, then "
         L"try again."},
        // The administrator names a log in a folder that is not there yet.
        {"InstallLoggingToANewFolder", [](sim::Machine& m) { m.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT")); },
         [](sim::Machine& m) {
             m.RunTool(kDriverFolder + L"PrinterSetup.exe", L"/LOG=\"C:\\Logs\\px.log\"");
             m.RunLaunchedTools();
         },
         kInstalled},
        // A driver file of an earlier installation is in use: it is replaced at the next restart.
        {"ManualInstallOverADriverFileInUse",
         [](sim::Machine& m) {
             m.spooler.bindingDoesNothing = true;
             m.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
             const std::wstring old = m.spooler.DriverDirectory() + L"\\qxvprtdrv6.dll";
             m.volume.WriteFile(old, "MZ render, an older build");
             m.volume.SetHeldOpen(old, true);
             // Another file of that build came from a read-only medium.
             const std::wstring readOnly = m.spooler.DriverDirectory() + L"\\qxvprtdrv6ui.dll";
             m.volume.WriteFile(readOnly, "MZ configuration, an older build");
             m.volume.SetReadOnly(readOnly);
         },
         StartSetup, kInstalled + L"\n\nRestart the computer to complete the installation."},
        // The first Remove finds the inventory short and says so; the second takes everything.
        {"UninstallAfterTheSpoolerWasStopped",
         [](sim::Machine& m) {
             StageInstalledFamily(m);
             m.spooler.SetServiceState(SERVICE_STOPPED);
         },
         StartUninstaller, kUninstalled},
        // A queue the list misses (its driver name differs in case) holds the driver; at the
        // failure box the user deletes it by hand, and the second Remove takes the rest.
        {"UninstallWithAQueueTheListMisses", StageQueueTheListMisses, StartUninstaller, kUninstalled,
         DeleteQueueTheListMisses},
        // The driver archive was unpacked straight into Downloads: only its files go.
        {"UninstallFromDownloads", StageFamilyInDownloads,
         [](sim::Machine& m) {
             m.RunTool(kDownloads + L"unins000.exe", L"");
             m.RunLaunchedTools();
         },
         kUninstalled},
        {"HandOverToTheUninstaller", StageInstalledFamily, StartSetup, kUninstalled},
        // A deployment runs the uninstaller with a switch and waits for its outcome; the
        // folder goes once the uninstaller has ended.
        {"UninstallerWaitedFor", StageInstalledFamily,
         [](sim::Machine& m) {
             m.RunTool(kDriverFolder + L"unins000.exe", L"/NORESTART");
             m.RunLaunchedTools();
         },
         kUninstalled},
        // The same where nothing of the family is installed: the folder goes, the spooler is left alone.
        {"UninstallerWaitedForWithNothingInstalled", [](sim::Machine&) {},
         [](sim::Machine& m) {
             m.RunTool(kDriverFolder + L"unins000.exe", L"/NORESTART");
             m.RunLaunchedTools();
         },
         kUninstalled},
        // Whatever keeps a copy or an uninstaller from starting is said, and nothing of the copy stays.
        {"DamagedUninstaller", [](sim::Machine& m) { m.volume.WriteFile(kDriverFolder + L"unins000.exe", "damaged"); },
         StartUninstaller,
         L"The uninstaller could not be started, error code:193. Please try again, or contact our technical support."},
        {"HandOverToAMissingUninstaller",
         [](sim::Machine& m) {
             StageInstalledFamily(m);
             m.volume.Delete(kDriverFolder + L"unins000.exe");
         },
         StartSetup,
         L"The printer driver is installed already, but its uninstaller C:\\Drivers\\PX Series\\unins000.exe could "
         L"not be started, error code:2."},
    };
    return stories;
}

// The user: OK to information, Cancel when asked to plug in a printer, one
// Retry after a failure (having put the driver folder right), then Cancel.
int Answer(const Story& story, sim::Machine& machine, const sim::MessageBoxRecord& box, int* retries)
{
    if (story.onBox) {
        story.onBox(machine, box);
    }
    if ((box.type & 0xF) == MB_RETRYCANCEL) {
        if ((*retries)++ != 0) {
            return IDCANCEL;
        }
        WriteDriverFolder(machine, kDriverFolder);
        return IDRETRY;
    }
    if ((box.type & 0xF) == MB_OKCANCEL && machine.devices.PresentPrinters().empty()) {
        machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT")); // asked, the user plugs the printer in
        return IDOK;
    }
    return (box.type & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK;
}

// In the dialog: "Remove" up to twice, then "Close".
int Click(const sim::DialogView& view, int* removes)
{
    if (view.Enabled(IDOK) && *removes < 2) {
        ++*removes;
        return IDOK;
    }
    return view.Enabled(IDCANCEL) ? IDCANCEL : 0;
}

std::string Site(const void* site)
{
    Dl_info info{};
    if (dladdr(site, &info) == 0) {
        return "?";
    }
    if (info.dli_sname == nullptr) {
        // A function of internal linkage: its offset in the executable, for addr2line.
        char text[32];
        std::snprintf(text, sizeof(text), "0x%zx",
                      static_cast<size_t>(static_cast<const char*>(site) - static_cast<const char*>(info.dli_fbase)));
        return text;
    }
    int status = 0;
    char* name = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
    std::string text = status == 0 ? name : info.dli_sname;
    std::free(name);
    return text + "+" + std::to_string(static_cast<const char*>(site) - static_cast<const char*>(info.dli_saddr));
}

bool MonitorFileUsed(sim::Machine& machine)
{
    for (const sim::MonitorRecord& monitor : machine.spooler.Monitors()) {
        if (IsFamilyMonitor(monitor)) {
            return true;
        }
    }
    return false;
}

struct Outcome {
    std::vector<std::string> findings;
    std::vector<std::string> calls; // every counted call after the stage
    std::vector<const void*> failedSites;
    std::set<std::pair<std::string, const void*>> sites; // every failable call's site
    std::vector<sim::MessageBoxRecord> boxes;
    uint64_t elapsedMs = 0;                        // virtual time of the play, not the stage
    std::vector<sim::Machine::SleepRecord> sleeps; // the tool's sleeps during the play
};

// Plays the story with the nth call of `operation` failing, or every call from
// the nth on (none for an empty operation).
Outcome Play(const Story& story, const std::string& operation, int nth, bool onward)
{
    auto machine = std::make_unique<sim::Machine>();
    sim::SimPlatform platform(*machine);
    SetPlatform(&platform);
    Outcome outcome;
    auto find = [&outcome](const std::string& what) { outcome.findings.push_back(what); };

    machine->SetToolEntry([&](HINSTANCE instance, const wchar_t* commandLine) {
        std::set<void*> leaked;
        const int result = RunToolProcess(*machine, instance, commandLine, &leaked);
        if (!leaked.empty()) {
            find(std::to_string(leaked.size()) + " heap blocks leaked by a process");
        }
        return result;
    });
    int retries = 0, removes = 0;
    machine->messageBoxes.SetResponder(
        [&](const sim::MessageBoxRecord& box) { return Answer(story, *machine, box, &retries); });
    machine->dialogs.SetUserPolicy([&removes](const sim::DialogView& view) { return Click(view, &removes); });

    InstallDriverFolder(*machine, kDriverFolder);
    const std::wstring userFile = kDownloads + L"holiday.jpg";
    machine->volume.WriteFile(userFile, "the user's own");
    story.stage(*machine);
    const size_t staged = machine->messageBoxes.Shown().size();
    const DWORD stagedService = machine->spooler.ServiceState();
    machine->faults.Reset();
    retries = removes = 0;
    if (!operation.empty() && onward) {
        machine->faults.FailFrom(operation, nth, kFailureErrors.at(operation));
    } else if (!operation.empty()) {
        machine->faults.FailCall(operation, nth, kFailureErrors.at(operation));
    }
    const uint64_t start = machine->clock.NowMs();
    const size_t stagedSleeps = machine->Sleeps().size();
    // A story that keeps asking or waiting is stopped while it runs, and named.
    machine->limits.virtualMs = start + kTimeLimitMs;
    machine->limits.messageBoxes = static_cast<unsigned>(staged + kBoxLimit);
    story.play(*machine);
    machine->JoinThreads();

    // Bounded, and nothing the machine itself reports as misuse.
    for (const std::string& violation : machine->Violations()) {
        find("violation: " + violation);
    }
    for (const std::string& operation : machine->WorkersCutShort()) {
        find("a worker ended with its process before " + operation);
    }
    // A service API that keeps failing leaves the service as the machine has it.
    if (!onward && stagedService == SERVICE_RUNNING && machine->spooler.ServiceState() != SERVICE_RUNNING) {
        find("left the Spooler service stopped");
    }
    if (OpenHandlesOfAnyKind(*machine) != 0) {
        find("handles left open");
    }

    // Honesty: each claim the boxes make holds on the machine afterwards.
    std::vector<sim::MessageBoxRecord> boxes = machine->messageBoxes.Shown();
    outcome.boxes.assign(boxes.begin() + static_cast<long>(staged), boxes.end());
    bool uninstalled = false;
    for (const sim::MessageBoxRecord& box : outcome.boxes) {
        const std::wstring& text = box.text;
        const size_t open = text.find(L'['), close = text.find(L']');
        if (text.rfind(L"The printer [", 0) == 0 && close != std::wstring::npos) {
            const sim::QueueRecord* queue = machine->spooler.FindQueue(text.substr(open + 1, close - open - 1));
            if (queue == nullptr || text.find(L"[" + queue->port + L"]") == std::wstring::npos) {
                find("claimed \"" + sim::Utf8(text) + "\" without that queue on that port");
            }
        }
        uninstalled = uninstalled || text == kUninstalled;
    }
    const bool familyLeft = !FamilyLeft(*machine).empty();
    const bool monitorFileUsed = MonitorFileUsed(*machine);
    if (monitorFileUsed && !machine->volume.FileExists(machine->systemDirectory + L"\\qxvprtmon.dll")) {
        find("deleted the monitor file while a registered monitor uses it");
    }
    if (uninstalled && familyLeft) {
        find("claimed the driver uninstalled while parts of the family remain");
    }
    const bool recycled = !machine->volume.RecycleBin().empty();
    if (recycled && familyLeft) {
        find("sent the folder to the Recycle Bin while parts of the family remain");
    }
    if (!recycled && !machine->volume.FileExists(kDriverFolder + L"qxvprtv6.inf")) {
        find("the driver folder is gone without reaching the Recycle Bin");
    }
    if (!machine->volume.FileExists(userFile)) {
        find("the user's own file in Downloads is gone");
    }
    for (const std::wstring& path : machine->shell.PermanentlyDeleted()) {
        find("deleted without undo: " + sim::Utf8(path));
    }

    outcome.elapsedMs = machine->clock.NowMs() - start;
    const std::vector<sim::Machine::SleepRecord> sleeps = machine->Sleeps();
    outcome.sleeps.assign(sleeps.begin() + static_cast<long>(stagedSleeps), sleeps.end());
    outcome.calls = machine->faults.CallLog();
    outcome.sites = machine->faults.Sites();
    outcome.failedSites = machine->faults.FailedSites();
    machine.reset();
    SetPlatform(nullptr);
    return outcome;
}

// A story with a kind of failure: one call that fails once (a passing
// condition), or an operation that fails from that call on (a lasting one).
class FaultSweep : public ::testing::TestWithParam<std::tuple<Story, bool>> {};

TEST_P(FaultSweep, EveryFailurePointEndsSafelyAndHonestly)
{
    const Story& story = std::get<0>(GetParam());
    const bool onward = std::get<1>(GetParam());
    Outcome baseline = Play(story, "", 0, false);
    ASSERT_THAT(baseline.findings, ::testing::IsEmpty());
    ASSERT_FALSE(baseline.boxes.empty());
    ASSERT_EQ(baseline.boxes.back().text, story.successBox) << "the story does not succeed without faults";

    std::map<std::string, int> failable;
    for (const std::string& call : baseline.calls) {
        failable[call] += kFailureErrors.count(call);
    }
    size_t runs = 0;
    size_t neverFired = 0;
    std::set<const void*> sites;
    for (const auto& [operation, count] : failable) {
        for (int nth = 1; nth <= count; ++nth) {
            Outcome outcome = Play(story, operation, nth, onward);
            ++runs;
            sites.insert(outcome.failedSites.begin(), outcome.failedSites.end());
            if (outcome.failedSites.empty()) {
                ++neverFired;
                std::printf("%s: %s call %d never failed: the run tested nothing\n", story.name, operation.c_str(),
                            nth);
            }
            const std::string where = outcome.failedSites.empty() ? "never reached" : Site(outcome.failedSites.front());
            for (const std::string& finding : outcome.findings) {
                ADD_FAILURE() << operation << " call " << nth << (onward ? " and on" : "") << " failing (at " << where
                              << "): " << finding;
            }
        }
    }
    std::printf("%s%s: %zu runs (%zu whose failure never fired), %zu call sites failed, %zu platform calls in the "
                "story\n",
                story.name, onward ? " (lasting)" : "", runs, neverFired, sites.size(), baseline.calls.size());
}

INSTANTIATE_TEST_SUITE_P(WholeModes, FaultSweep, ::testing::Combine(::testing::ValuesIn(Stories()), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Story, bool>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_Lasting" : "_Once");
                         });

// ---- Which failable call sites of the product the stories reach ----

struct SourceSite {
    std::string file; // below the source folder
    int line = 0;
    std::string operation;
    std::string function;
};

// The name a source line defines, when it starts a function's definition (a
// line that begins with a name and has a parameter list, not a declaration).
bool DefinedFunction(const std::string& text, std::string* function)
{
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])) || text.find('(') == std::string::npos ||
        text.back() == ';') {
        return false;
    }
    *function = text.substr(0, text.find('('));
    *function = function->substr(function->rfind(' ') == std::string::npos ? 0 : function->rfind(' ') + 1);
    return true;
}

// Every call of an operation that can fail, in the product's sources; the
// function is the last definition above it.
std::vector<SourceSite> FailableSourceSites()
{
    std::vector<SourceSite> sites;
    for (const char* room : {"app", "install", "uninstall", "family", "common"}) {
        const std::filesystem::path folder = std::filesystem::path(PRINTER_SETUP_SOURCE_DIR) / room;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::ifstream file(entry.path());
            std::string text, function = "?";
            for (int line = 1; std::getline(file, text); ++line) {
                if (text.find_first_not_of(' ') != std::string::npos &&
                    text.compare(text.find_first_not_of(' '), 2, "//") == 0) {
                    continue;
                }
                DefinedFunction(text, &function);
                for (const auto& [operation, error] : kFailureErrors) {
                    if (text.find("Os()." + operation + "(") != std::string::npos) {
                        sites.push_back(
                            {std::string(room) + "/" + entry.path().filename().string(), line, operation, function});
                    }
                }
            }
        }
    }
    return sites;
}

// The source file and line of each call whose return address is given, from
// the debug information (one addr2line for all of them).
std::vector<std::pair<std::string, int>> SourceLines(const std::vector<const void*>& sites)
{
    // One file a process: the tests of the ledger run side by side.
    const std::string input = ::testing::TempDir() + "sweep-sites-" + std::to_string(getpid()) + ".txt";
    {
        std::ofstream addresses(input);
        for (const void* site : sites) {
            Dl_info info{};
            const size_t offset =
                dladdr(site, &info) != 0
                    ? static_cast<size_t>(static_cast<const char*>(site) - static_cast<const char*>(info.dli_fbase))
                    : 1;
            addresses << "0x" << std::hex << offset - 1 << "\n"; // the call, not the instruction after it
        }
    }
    const std::string command = "addr2line -e /proc/" + std::to_string(getpid()) + "/exe < " + input;
    std::vector<std::pair<std::string, int>> lines;
    FILE* pipe = popen(command.c_str(), "r");
    char text[1024];
    while (pipe != nullptr && std::fgets(text, sizeof(text), pipe) != nullptr) {
        std::string line(text);
        line = line.substr(0, line.find_first_of("\n "));
        const size_t colon = line.rfind(':');
        lines.emplace_back(line.substr(0, colon), colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1));
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    std::remove(input.c_str());
    return lines;
}

// Sites no story can reach, and why. Anything else unreached fails the test:
// reach it with a story, or say here why no story can.
const std::set<std::string> kUnreachable = {
    // Only for a model with the language-monitor flag, and no shipped model has it.
    "install/manual_install.cpp InstallPrinterLanguageMonitor AddMonitorW",
    "common/spooler_control.cpp CopyToSystemDirectory GetSystemDirectoryW",
    "common/spooler_control.cpp CopyToSystemDirectory CopyFileW",
    // Only when a replacement at restart cannot be registered, which takes a failure the sweep injects.
    "install/driver_copy.cpp StageForRestart DeleteFileW",
    // The machine runs a launched process only once its launcher has ended: the
    // uninstaller that the folder's hand-over waits for is always gone by then.
    "uninstall/folder_guard.cpp RecycleWhenEnded WaitForSingleObject",
};

TEST(FaultSweepReach, EveryFailableCallSiteIsReachedOrExplained)
{
    std::set<std::pair<std::string, const void*>> reached;
    for (const Story& story : Stories()) {
        Outcome outcome = Play(story, "", 0, false);
        reached.insert(outcome.sites.begin(), outcome.sites.end());
    }
    std::vector<const void*> addresses;
    for (const auto& entry : reached) {
        addresses.push_back(entry.second);
    }
    const std::vector<std::pair<std::string, int>> lines = SourceLines(addresses);
    ASSERT_EQ(lines.size(), reached.size()) << "addr2line could not read the debug information";
    std::set<std::pair<std::string, std::string>> reachedLines; // (file:line, operation)
    size_t index = 0;
    for (const auto& entry : reached) {
        const auto& [file, line] = lines[index++];
        // A call written over several lines: its return address is on one of them.
        for (int back = 0; back <= 8 && line - back > 0; ++back) {
            reachedLines.insert({file + ":" + std::to_string(line - back), entry.first});
        }
    }
    const std::vector<SourceSite> sites = FailableSourceSites();
    ASSERT_GT(sites.size(), 50u) << "the product's sources were not found";
    size_t reachedCount = 0;
    for (const SourceSite& site : sites) {
        const std::string where =
            std::string(PRINTER_SETUP_SOURCE_DIR) + "/" + site.file + ":" + std::to_string(site.line);
        const bool hit = reachedLines.count({where, site.operation}) != 0;
        reachedCount += hit ? 1 : 0;
        if (!hit) {
            const std::string name = site.file + " " + site.function + " " + site.operation;
            std::printf("not reached: %s:%d %s in %s%s\n", site.file.c_str(), site.line, site.operation.c_str(),
                        site.function.c_str(), kUnreachable.count(name) != 0 ? " (explained)" : "");
            EXPECT_EQ(kUnreachable.count(name), 1u) << name << " is reached by no story";
        }
    }
    std::printf("%zu of %zu failable call sites reached by the stories\n", reachedCount, sites.size());
}

// ---- The virtual-time ledger: every second a story takes is a wait its path requires ----

// Each fixed wait of the product, by its file, the function that sleeps and
// the constant it sleeps for: one wait, one site.
const std::map<std::string, std::string> kWaitNames = {
    {"install/package_install.cpp InstallThroughPlugAndPlay kQueueWaitIntervalMs", "Plug and Play wait"},
    {"install/manual_install.cpp PollUntil kPollIntervalMs", "driver and queue polls"},
    {"common/spooler_control.cpp PollForState kPollIntervalMs", "spooler stop and start polls"},
    {"common/spooler_control.cpp CycleSpooler kPauseBeforeActionMs", "pause before the monitor copy"},
    {"uninstall/removal.cpp RemovePrinters kPauseAfterRemovalMs", "pauses after queues"},
    {"uninstall/removal.cpp RemoveDriver kPauseAfterRemovalMs", "pauses after drivers"},
    {"uninstall/removal.cpp RemoveDriver kPauseAfterFailedAttemptMs", "driver retries"},
    {"uninstall/removal.cpp DeleteMonitorFile kPauseAfterFailedAttemptMs", "monitor file retries"},
    {"uninstall/removal.cpp RemoveFamily kPauseAfterRestartMs", "pause after the spooler's restart"},
    {"app/startup.cpp TakeInstanceGuardWaiting 1000", "waits for another copy"},
};

// A named wait in a story: its virtual time and how many sleeps made it.
struct Waited {
    uint64_t ms = 0;
    int sleeps = 0;
    bool operator==(const Waited& other) const { return ms == other.ms && sleeps == other.sleeps; }
};
void PrintTo(const Waited& waited, std::ostream* out)
{
    *out << waited.ms << " ms in " << waited.sleeps;
}

// What each story's path requires, wait by wait. A story that takes longer (an
// extra sleep, a poll run twice, a restart its path does not call for), or
// waits as long in other steps, fails; so does one that no longer waits where
// it must.
const std::map<std::string, std::map<std::string, Waited>> kRequiredWaits = {
    // Plug and Play gets its full ten seconds: the model has no monitor to copy once the queue is there.
    {"PlugAndPlayInstall", {{"Plug and Play wait", {10000, 10}}}},
    {"ManualInstall", {{"Plug and Play wait", {10000, 10}}}},
    // The spooler takes 300 ms to stop and 500 to start, polled every 10 ms.
    {"PlugAndPlayInstallAfterAPortRestart",
     {{"Plug and Play wait", {10000, 10}}, {"spooler stop and start polls", {800, 80}}}},
    // The package names the missing file, so the first pass goes by hand and looks for the queue for five seconds.
    {"InstallLoopWithRetry", {{"Plug and Play wait", {10000, 10}}, {"driver and queue polls", {5000, 5}}}},
    {"InstallWhenAskedToPlugIn", {{"Plug and Play wait", {10000, 10}}}},
    {"InstallWithAFullLog", {{"Plug and Play wait", {10000, 10}}}},
    {"InstallLoggingToANewFolder", {{"Plug and Play wait", {10000, 10}}}},
    {"ManualInstallOverADriverFileInUse", {{"Plug and Play wait", {10000, 10}}}},
    // One restart of the spooler, then 300 ms after each of two queues and two drivers. Its
    // spooler takes 300 ms to stop and 500 to start, for that restart and for the one around
    // the monitor file's deletion.
    {"UninstallEverything",
     {{"pause after the spooler's restart", {1000, 1}},
      {"pauses after queues", {600, 2}},
      {"pauses after drivers", {600, 2}},
      {"spooler stop and start polls", {1600, 160}}}},
    // The same without a slow spooler.
    {"UninstallManualFamily",
     {{"pause after the spooler's restart", {1000, 1}},
      {"pauses after queues", {600, 2}},
      {"pauses after drivers", {600, 2}}}},
    {"HandOverToTheUninstaller",
     {{"pause after the spooler's restart", {1000, 1}},
      {"pauses after queues", {600, 2}},
      {"pauses after drivers", {600, 2}}}},
    {"UninstallerWaitedFor",
     {{"pause after the spooler's restart", {1000, 1}},
      {"pauses after queues", {600, 2}},
      {"pauses after drivers", {600, 2}}}},
    // One queue and one driver (with its monitor).
    {"UninstallFamilyWithLanguageMonitor",
     {{"pause after the spooler's restart", {1000, 1}},
      {"pauses after queues", {300, 1}},
      {"pauses after drivers", {300, 1}}}},
    {"UninstallFromDownloads",
     {{"pause after the spooler's restart", {1000, 1}},
      {"pauses after queues", {300, 1}},
      {"pauses after drivers", {300, 1}}}},
    // "Remove" twice: the first finds the stopped spooler's gaps and fails, the second removes.
    {"UninstallAfterTheSpoolerWasStopped",
     {{"pause after the spooler's restart", {2000, 2}},
      {"pauses after queues", {600, 2}},
      {"pauses after drivers", {600, 2}}}},
    // A queue the list misses holds its driver through its ten attempts; the user deletes it and
    // presses "Remove" again.
    {"UninstallWithAQueueTheListMisses",
     {{"pause after the spooler's restart", {2000, 2}},
      {"driver retries", {10000, 10}},
      {"pauses after queues", {600, 2}},
      {"pauses after drivers", {600, 2}}}},
    // Nothing to wait for: a second copy ends at once, nothing installed is nothing to remove, an
    // uninstaller that cannot start is reported.
};

// The wait a sleep belongs to: its file, the function it is in (the last
// definition above it) and the argument it sleeps for.
std::string WaitKey(const std::pair<std::string, int>& line)
{
    const std::string prefix = std::string(PRINTER_SETUP_SOURCE_DIR) + "/";
    const std::string file = line.first.rfind(prefix, 0) == 0 ? line.first.substr(prefix.size()) : line.first;
    std::ifstream source(line.first);
    std::string text, function = "?";
    for (int at = 1; at <= line.second && std::getline(source, text); ++at) {
        DefinedFunction(text, &function);
    }
    const size_t open = text.find("Sleep("), close = text.find(')', open);
    return file + " " + function + " " + (open == std::string::npos ? "?" : text.substr(open + 6, close - open - 6));
}

class WaitLedger : public ::testing::TestWithParam<Story> {};

TEST_P(WaitLedger, AStoryTakesItsRequiredWaitsAndNothingMore)
{
    const Story& story = GetParam();
    const Outcome outcome = Play(story, "", 0, false);
    ASSERT_THAT(outcome.findings, ::testing::IsEmpty());
    std::vector<const void*> sites;
    for (const sim::Machine::SleepRecord& sleep : outcome.sleeps) {
        sites.push_back(sleep.site);
    }
    const std::vector<std::pair<std::string, int>> lines = SourceLines(sites);
    ASSERT_EQ(lines.size(), sites.size()) << "addr2line could not read the debug information";
    std::map<std::string, Waited> waits;
    uint64_t slept = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string key = WaitKey(lines[i]);
        auto name = kWaitNames.find(key);
        EXPECT_NE(name, kWaitNames.end()) << "a sleep that is no named wait: " << key;
        Waited& waited = waits[name != kWaitNames.end() ? name->second : key];
        waited.ms += outcome.sleeps[i].milliseconds;
        waited.sleeps += 1;
        slept += outcome.sleeps[i].milliseconds;
    }
    EXPECT_EQ(outcome.elapsedMs, slept) << "virtual time that no sleep of the tool accounts for";
    auto required = kRequiredWaits.find(story.name);
    const std::map<std::string, Waited> expected =
        required != kRequiredWaits.end() ? required->second : std::map<std::string, Waited>{};
    EXPECT_EQ(waits, expected) << "the waits the story's path requires";
    // One line of the ledger: scripts/bench.sh collects them into a table.
    std::string line = "ledger\t" + std::string(story.name) + "\t" + std::to_string(outcome.elapsedMs);
    for (const auto& [wait, waited] : waits) {
        line += "\t" + wait + " " + std::to_string(waited.ms) + " (" + std::to_string(waited.sleeps) + "x)";
    }
    std::printf("%s\n", line.c_str());
}

INSTANTIATE_TEST_SUITE_P(WholeModes, WaitLedger, ::testing::ValuesIn(Stories()),
                         [](const ::testing::TestParamInfo<Story>& info) { return std::string(info.param.name); });

} // namespace
