// The uninstall dialog on a machine built from the input: the family installed
// whole, in part or not at all, calls that fail, a spooler that is stopped or
// slow, and the folder to remove written every way a command line can write
// it, from the shipped driver folder to drive roots, system, user and network
// folders. The user presses "Remove" (again after a failure) and "Close".
// Whatever happens, the tool must claim "uninstalled" only with nothing of the
// family left, delete nothing for good, keep a monitor file still in use, and
// take from a folder only what that folder allows.
#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "res/resource.h"
#include "sim/kernel/wide.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using sim::Volume;

const std::wstring kUninstalled = L"The driver is uninstalled.";
const std::wstring kMonitorDll = L"qxvprtmon.dll";
const std::wstring kX86 = L"Windows NT x86";
const std::wstring kOlderFolder = L"C:\\Drivers\\PX Series 2023\\";
const std::wstring kPackagesKey =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages\\";
const uint64_t kTimeLimitMs = 15 * 60 * 1000;
const int kMostPresses = 6;

// Folders a user, a script or a forged command line can name; Z: is a mapped
// network drive, E: a removable one, "%" the temporary folder.
const wchar_t* const kPlaces[] = {L"C:\\Drivers\\PX Series",
                                  L"C:\\Drivers",
                                  L"C:\\Drivers\\PXSERI~1",
                                  L"C:\\",
                                  L"D:\\",
                                  L"D:\\PX",
                                  L"C:\\Windows",
                                  L"C:\\Windows\\system32",
                                  L"C:\\Windows\\Temp\\PX",
                                  L"C:\\Users",
                                  L"C:\\Users\\Operator",
                                  L"C:\\Users\\Operator\\Desktop",
                                  L"C:\\Users\\Operator\\Downloads",
                                  L"C:\\Users\\Operator\\Downloads\\PX Driver",
                                  L"C:\\Users\\Operator\\AppData",
                                  L"C:\\Users\\Operator\\PX Driver",
                                  L"C:\\Users\\Other",
                                  L"C:\\Users\\Public\\Documents",
                                  L"C:\\Program Files",
                                  L"C:\\Program Files\\PX Series",
                                  L"C:\\ProgramData",
                                  L"Z:\\Drivers",
                                  L"E:\\Drivers",
                                  L"\\\\server\\share\\x",
                                  L"%",
                                  L"%PX Series"};
const size_t kPlaceCount = sizeof(kPlaces) / sizeof(kPlaces[0]);

// What the driver ships in its folder: all that may go from a folder that
// must not go as a whole.
const wchar_t* const kLayoutFiles[] = {L"qxvprtv6.inf", L"unins000.exe", L"PrinterSetup.exe", L"dat\\qxvprtdrv6.dat"};
const wchar_t* const kArchitectures[] = {L"i386", L"amd64", L"arm", L"arm64"};
const wchar_t* const kArchitectureFiles[] = {L"qxvprtdrv6.dll", L"qxvprtdrv6ui.dll", L"qxvprtmon.dll"};

// Folders whose loss no user expects from a driver's uninstaller.
const KNOWNFOLDERID* const kUserFolders[] = {
    &FOLDERID_Windows,         &FOLDERID_UserProfiles, &FOLDERID_Profile,         &FOLDERID_Desktop,
    &FOLDERID_Documents,       &FOLDERID_Downloads,    &FOLDERID_Music,           &FOLDERID_Pictures,
    &FOLDERID_Videos,          &FOLDERID_Public,       &FOLDERID_PublicDesktop,   &FOLDERID_PublicDocuments,
    &FOLDERID_PublicDownloads, &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramData};

// Failures as Windows gives them when a call goes wrong; never an answer that
// means "not there", which would be the machine lying about what it holds.
struct Fault {
    const char* operation;
    DWORD error;
};
const Fault kFaults[] = {{"EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE},
                         {"EnumPrinterDriversW", ERROR_NOT_ENOUGH_MEMORY},
                         {"EnumPrintersW", RPC_S_SERVER_UNAVAILABLE},
                         {"EnumMonitorsW", RPC_S_SERVER_UNAVAILABLE},
                         {"RegOpenKeyW", ERROR_ACCESS_DENIED},
                         {"RegEnumKeyW", ERROR_ACCESS_DENIED},
                         {"RegGetValueW", ERROR_ACCESS_DENIED},
                         {"RegGetValueW", ERROR_MORE_DATA},
                         {"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY},
                         {"OpenPrinterW", ERROR_ACCESS_DENIED},
                         {"SetPrinterW", ERROR_ACCESS_DENIED},
                         {"DeletePrinter", ERROR_ACCESS_DENIED},
                         {"DeletePrinterDriverExW", ERROR_PRINTER_DRIVER_IN_USE},
                         {"DeletePrinterDriverExW", RPC_S_SERVER_UNAVAILABLE},
                         {"DeleteMonitorW", ERROR_PRINT_MONITOR_IN_USE},
                         {"DeletePrinterDriverPackageW", ERROR_ACCESS_DENIED},
                         {"SHGetKnownFolderPath", ERROR_ACCESS_DENIED},
                         {"GetFileAttributesW", ERROR_ACCESS_DENIED},
                         {"SHFileOperationW", ERROR_ACCESS_DENIED},
                         {"GetTempPathW", ERROR_PATH_NOT_FOUND},
                         {"GetSystemDirectoryW", ERROR_NOT_ENOUGH_MEMORY},
                         {"DeleteFileW", ERROR_ACCESS_DENIED},
                         {"SetupGetInfInformationW", ERROR_FILE_NOT_FOUND},
                         {"SetupQueryInfVersionInformationW", ERROR_NOT_ENOUGH_MEMORY},
                         {"OpenSCManagerW", ERROR_ACCESS_DENIED},
                         {"OpenServiceW", ERROR_SERVICE_DOES_NOT_EXIST},
                         {"QueryServiceStatusEx", ERROR_ACCESS_DENIED},
                         {"ControlService", ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
                         {"StartServiceW", ERROR_SERVICE_DISABLED},
                         {"CreateThread", ERROR_NOT_ENOUGH_MEMORY},
                         {"PostMessageW", ERROR_NOT_ENOUGH_QUOTA},
                         {"MessageBoxW", ERROR_NOT_ENOUGH_MEMORY},
                         {"LoadStringW", ERROR_RESOURCE_NAME_NOT_FOUND},
                         {"GetTempFileNameW", ERROR_ACCESS_DENIED},
                         {"CopyFileW", ERROR_DISK_FULL},
                         {"CreateProcessW", ERROR_NOT_ENOUGH_MEMORY}};

const wchar_t* const kModels[] = {L"PX630KT", L"PX640KT", L"PX510KT", L"PX631KT"};

// What the uninstaller may take from the folder named on its command line.
enum Allowance { NOTHING, DRIVER_FILES, WHOLE_FOLDER };

struct Verdict {
    Allowance allowance = NOTHING;
    std::wstring folder;                   // the volume's key of where the folder is
    std::set<std::wstring> files, folders; // keys of the driver's layout in it
};

// What was staged that the oracle needs afterwards.
struct Staged {
    bool monitorFile = false;
    std::vector<std::wstring> foreignDrivers, foreignQueues, foreignMonitors;
    std::vector<std::wstring> links; // keys of folders marked as links
};

// The run in a line, printed with a finding so it can be read without a debugger.
std::string Context;

void Expect(bool condition, const std::string& what)
{
    if (!condition) {
        std::fprintf(stderr, "run: %s\n", Context.c_str());
    }
    Require(condition, what.c_str());
}

std::wstring WithSlash(const std::wstring& folder)
{
    return !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
}

// True when key names folder or something inside it; both volume keys.
bool Inside(const std::wstring& key, const std::wstring& folder)
{
    return key.compare(0, folder.size(), folder) == 0 && (key.size() == folder.size() || key[folder.size()] == L'\\');
}

std::wstring FileNameOf(const std::wstring& path)
{
    return path.substr(path.rfind(L'\\') + 1);
}

// ---- The machine ----

void PlantFolder(FuzzedDataProvider& input, sim::Machine& machine, const std::wstring& folder, bool shipped)
{
    const std::wstring slashed = WithSlash(folder);
    switch (shipped ? 3 : input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        InstallDriverFolder(machine, slashed);
        break;
    case 1:
        WriteDriverFolder(machine, slashed);
        break;
    case 2:
        machine.volume.WriteFile(slashed + L"qxvprtv6.inf", *machine.volume.ReadFile(kFuzzFolder + L"qxvprtv6.inf"));
        break;
    default:
        break; // the shipped folder is there already; elsewhere, no driver at all
    }
    if (input.ConsumeBool()) {
        machine.volume.WriteFile(slashed + L"holiday.jpg", "the user's own");
        machine.volume.WriteFile(slashed + L"amd64\\notes.txt", "the user's own");
    }
}

// Where the user keeps things, moved about as users move them, and links.
void Rearrange(FuzzedDataProvider& input, sim::Machine& machine, const std::wstring& folder, Staged* staged)
{
    switch (input.ConsumeIntegralInRange(0, 4)) {
    case 1:
        machine.SetKnownFolder(FOLDERID_Documents, folder);
        break;
    case 2:
        machine.volume.CreateDirectory(WithSlash(folder) + L"Downloads");
        machine.SetKnownFolder(FOLDERID_Downloads, WithSlash(folder) + L"Downloads");
        break;
    case 3:
        machine.SetKnownFolder(FOLDERID_Downloads, L"");
        break;
    case 4:
        machine.SetKnownFolder(FOLDERID_ProgramFilesX86, L""); // a 32-bit Windows
        break;
    default:
        break;
    }
    const wchar_t* const linked[] = {nullptr, L"", L"..", L"amd64"};
    const wchar_t* link = linked[input.ConsumeIntegralInRange(0, 3)];
    if (link != nullptr && machine.volume.DirectoryExists(WithSlash(folder) + link) &&
        Volume::Key(WithSlash(folder) + link).size() > 2) {
        machine.volume.SetReparsePoint(WithSlash(folder) + link);
        staged->links.push_back(Volume::Key(WithSlash(folder) + link));
    }
}

// The folder written as a command line may write it.
std::wstring Spell(FuzzedDataProvider& input, std::wstring folder)
{
    const uint8_t ways = input.ConsumeIntegral<uint8_t>();
    if (ways & 1) {
        std::wstring doubled;
        for (wchar_t c : folder) {
            doubled += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
        }
        folder = doubled;
    }
    if (ways & 2) {
        folder += std::wstring(input.ConsumeIntegralInRange(1, 3), L'\\');
    }
    if (ways & 4) {
        const bool upper = input.ConsumeBool();
        for (wchar_t& c : folder) {
            c = static_cast<wchar_t>(upper ? towupper(c) : towlower(c));
        }
    }
    if (ways & 8) {
        const wchar_t* const dots[] = {L"\\.", L"\\.\\", L"\\..\\", L"\\..\\..\\Windows"};
        const size_t which = input.ConsumeIntegralInRange<size_t>(0, 3);
        folder += dots[which] + (which == 2 ? FileNameOf(folder) : std::wstring());
    }
    if (ways & 16) {
        for (wchar_t& c : folder) {
            c = c == L'\\' ? L'/' : c;
        }
    }
    if (ways & 32) {
        const wchar_t* const wrappers[][2] = {{L"\"", L"\""}, {L"\\\\?\\", L""}, {L"", L" "}, {L"", L"."}};
        const auto& wrapper = wrappers[input.ConsumeIntegralInRange(0, 3)];
        folder = wrapper[0] + folder + wrapper[1];
    }
    if (ways & 64) {
        folder += TakeText(input, 6);
    }
    return folder;
}

// Packages, drivers, queues and monitors of the family, and some of others.
void StageSpooler(FuzzedDataProvider& input, sim::Machine& machine, Staged* staged)
{
    sim::Spooler& spooler = machine.spooler;
    std::wstring stored;
    if (input.ConsumeBool()) {
        spooler.UploadPackage(kFuzzFolder + L"qxvprtv6.inf", &stored);
    }
    if (input.ConsumeBool()) {
        // The x86 package a print server keeps for its clients: the spooler
        // stores a package for the architecture it runs on.
        machine.processorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
        spooler.UploadPackage(kFuzzFolder + L"qxvprtv6.inf", &stored);
        machine.processorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    }
    if (input.ConsumeBool()) {
        // An older release: a second package of the same INF name.
        WriteDriverFolder(machine, kOlderFolder);
        machine.volume.WriteFile(kOlderFolder + L"qxvprtv6.inf",
                                 *machine.volume.ReadFile(kFuzzFolder + L"qxvprtv6.inf") + "; 2023\r\n");
        spooler.UploadPackage(kOlderFolder + L"qxvprtv6.inf", &stored);
    }
    if (input.ConsumeBool()) {
        // A package the registry lists but the store has lost.
        const std::wstring folder = L"qxvprtv6.inf_amd64_0000000000000000";
        machine.registry.SetMultiString(
            HKEY_LOCAL_MACHINE, kPackagesKey + folder, L"DriverStorePath",
            {machine.systemDirectory + L"\\DriverStore\\FileRepository\\" + folder + L"\\qxvprtv6.inf"});
    }
    const std::vector<sim::PackageRecord> packages = spooler.Packages();
    const std::wstring monitor = input.ConsumeBool() ? L"Language Monitor" : L"QX Language Monitor";
    std::vector<std::wstring> drivers;
    for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
        sim::DriverRecord driver;
        driver.name = std::wstring(L"VADedudoro ") + kModels[input.ConsumeIntegralInRange(0, 3)];
        driver.environment = input.ConsumeIntegralInRange(0, 3) == 0 ? kX86 : spooler.Environment();
        driver.driverPath = spooler.DriverDirectory(driver.environment) + L"\\3\\qxvprtdrv6.dll";
        driver.configFile = spooler.DriverDirectory(driver.environment) + L"\\3\\qxvprtdrv6ui.dll";
        driver.manufacturer = L"VADedudoro";
        if (!packages.empty() && input.ConsumeBool()) {
            const sim::PackageRecord& package = packages[input.ConsumeIntegralInRange<size_t>(0, packages.size() - 1)];
            driver.infPath = package.storedInfPath;
            driver.package = package.environment == driver.environment ? package.folder : L"";
        }
        if (input.ConsumeBool()) {
            driver.monitorName = monitor;
        }
        spooler.StageDriver(driver);
        drivers.push_back(driver.name);
    }
    if (input.ConsumeBool()) {
        sim::DriverRecord driver;
        driver.name = L"Generic Text Printer";
        driver.driverPath = spooler.DriverDirectory() + L"\\3\\textdrv.dll";
        spooler.StageDriver(driver);
        staged->foreignDrivers.push_back(driver.name);
    }
    for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
        sim::QueueRecord queue;
        queue.name = L"Printer " + std::to_wstring(count);
        queue.port = L"USB00" + std::to_wstring(count);
        const size_t pick = input.ConsumeIntegralInRange<size_t>(0, drivers.size());
        const bool foreign = pick == drivers.size();
        if (foreign && staged->foreignDrivers.empty()) {
            continue;
        }
        queue.driver = foreign ? staged->foreignDrivers.front() : drivers[pick];
        spooler.StageQueue(queue);
        spooler.AddJobs(queue.name, input.ConsumeIntegralInRange<DWORD>(0, 2));
        if (foreign) {
            staged->foreignQueues.push_back(queue.name);
        }
    }
    const uint8_t monitors = input.ConsumeIntegral<uint8_t>();
    if (monitors & 1) {
        spooler.StageMonitor(monitor, (monitors & 2) ? L"QXVPRTMON.DLL" : kMonitorDll);
    }
    if (monitors & 4) {
        spooler.StageMonitor(L"QX Port Monitor", kMonitorDll);
    }
    if (monitors & 8) {
        machine.volume.WriteFile(machine.systemDirectory + L"\\" + kMonitorDll, "MZ monitor");
        staged->monitorFile = true;
    }
    if (monitors & 16) {
        machine.volume.WriteFile(machine.systemDirectory + L"\\tcpmon.dll", "MZ tcp");
        spooler.StageMonitor(L"Standard TCP/IP Port", L"tcpmon.dll");
        staged->foreignMonitors.push_back(L"Standard TCP/IP Port");
    }
}

// The service as it behaves, and calls that fail.
void StageTrouble(FuzzedDataProvider& input, sim::Machine& machine)
{
    sim::Spooler& spooler = machine.spooler;
    switch (input.ConsumeIntegralInRange(0, 4)) {
    case 1:
        spooler.stopDelayMs = 4000;
        spooler.startDelayMs = 3000;
        break;
    case 2:
        spooler.neverStops = true;
        break;
    case 3:
        spooler.neverStarts = true;
        break;
    case 4:
        spooler.refuseControlError = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        break;
    default:
        break;
    }
    if (input.ConsumeBool()) {
        spooler.SetServiceState(SERVICE_STOPPED);
    }
    machine.shell.confirmDeletion = input.ConsumeIntegralInRange(0, 7) != 0;
    for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
        const Fault& fault = kFaults[input.ConsumeIntegralInRange<size_t>(0, sizeof(kFaults) / sizeof(Fault) - 1)];
        const int nth = input.ConsumeIntegralInRange(1, 8);
        if (input.ConsumeIntegralInRange(0, 3) == 0) {
            machine.faults.FailFrom(fault.operation, nth, fault.error);
        } else {
            machine.faults.FailCall(fault.operation, nth, fault.error);
        }
    }
}

// ---- The oracle ----

// Judged from the folder's text and the machine as staged, before the tool runs.
Verdict Judge(const sim::Machine& machine, const std::wstring& text)
{
    Verdict verdict;
    // Only a plain path on a drive letter says where a folder is: network and
    // device paths, relative and quoted ones name something else.
    const wchar_t drive = text.empty() ? 0 : static_cast<wchar_t>(towupper(text[0]));
    if (text.size() < 3 || drive < L'A' || drive > L'Z' || text[1] != L':' || text[2] != L'\\') {
        return verdict;
    }
    std::wstring path(1, drive);
    path += L':';
    std::wstring part;
    for (size_t i = 3; i <= text.size(); ++i) {
        const wchar_t c = i < text.size() ? text[i] : L'\\';
        // A short name (PXSERI~1) may stand for any folder of the parent.
        if (c < 0x20 || std::wstring(L"/*?\"<>|:~").find(c) != std::wstring::npos) {
            return verdict;
        }
        if (c != L'\\') {
            part += c;
        } else if (!part.empty()) {
            // "." and "..", and names Windows would trim: the text is not where the folder is.
            if (part.back() == L'.' || part.back() == L' ') {
                return verdict;
            }
            path += L'\\' + part;
            part.clear();
            // Through a link the folder is somewhere else.
            DWORD error = 0;
            const DWORD attributes = machine.volume.Attributes(path, &error);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                return verdict;
            }
        }
    }
    const auto type = machine.driveTypes.find(drive);
    if (type == machine.driveTypes.end() || type->second != DRIVE_FIXED) {
        return verdict; // no Recycle Bin there
    }
    verdict.folder = Volume::Key(WithSlash(path));
    for (const wchar_t* file : kLayoutFiles) {
        verdict.files.insert(Volume::Key(verdict.folder + L"\\" + file));
    }
    for (const wchar_t* architecture : kArchitectures) {
        verdict.folders.insert(Volume::Key(verdict.folder + L"\\" + architecture));
        for (const wchar_t* file : kArchitectureFiles) {
            verdict.files.insert(Volume::Key(verdict.folder + L"\\" + architecture + L"\\" + file));
        }
    }
    verdict.folders.insert(Volume::Key(verdict.folder + L"\\dat"));
    if (Inside(verdict.folder, Volume::Key(machine.systemDirectory + L"\\.."))) {
        return verdict; // the Windows folder
    }
    verdict.allowance = DRIVER_FILES;
    if (path.size() == 2 || Inside(Volume::Key(machine.tempPath), verdict.folder)) {
        return verdict;
    }
    for (const KNOWNFOLDERID* id : kUserFolders) {
        const std::optional<std::wstring> known = machine.KnownFolder(*id);
        if (known && machine.volume.DirectoryExists(*known) && Inside(Volume::Key(*known), verdict.folder)) {
            return verdict;
        }
    }
    // Every account's profile and the folders directly in it are its owner's.
    const std::optional<std::wstring> profiles = machine.KnownFolder(FOLDERID_UserProfiles);
    if (profiles && Inside(verdict.folder, Volume::Key(*profiles)) &&
        std::count(verdict.folder.begin() + Volume::Key(*profiles).size(), verdict.folder.end(), L'\\') <= 2) {
        return verdict;
    }
    verdict.allowance = WHOLE_FOLDER;
    return verdict;
}

// Whether the uninstaller may take that path; an item handed to the shell may
// also be a folder of the driver's layout.
bool MayTake(const Verdict& verdict, const Staged& staged, const std::wstring& path, bool item)
{
    const std::wstring key = Volume::Key(path);
    if (verdict.allowance != DRIVER_FILES) {
        return verdict.allowance == WHOLE_FOLDER && Inside(key, verdict.folder);
    }
    for (const std::wstring& link : staged.links) {
        if (Inside(key, link) && key != link) {
            return false; // through a link in the folder, the file is somewhere else
        }
    }
    return verdict.files.count(key) != 0 || (item && verdict.folders.count(key) != 0);
}

void CheckOutcome(sim::Machine& machine, const Verdict& verdict, const Staged& staged)
{
    const std::string left = FamilyLeft(machine);
    for (const sim::MessageBoxRecord& box : machine.messageBoxes.Shown()) {
        Expect(box.text != kUninstalled || left.empty(), "claimed the driver uninstalled while " + left + " is left");
    }
    Expect(machine.volume.RecycleBin().empty() || left.empty(), "recycled files while " + left + " is left");
    for (const std::wstring& path : machine.shell.PermanentlyDeleted()) {
        Expect(false, "deleted for good: " + sim::Utf8(path));
    }
    for (const sim::FileOperation& operation : machine.shell.FileOperations()) {
        for (const std::wstring& path : operation.paths) {
            Expect(MayTake(verdict, staged, path, true), "handed to the shell: " + sim::Utf8(path));
        }
    }
    for (const sim::RecycledItem& item : machine.volume.RecycleBin()) {
        for (const std::wstring& file : item.files) {
            Expect(MayTake(verdict, staged, file, false), "recycled the file " + sim::Utf8(file));
        }
    }

    std::set<std::wstring> monitors;
    bool monitorFileUsed = false;
    for (const sim::MonitorRecord& monitor : machine.spooler.Monitors()) {
        monitors.insert(monitor.name);
        monitorFileUsed = monitorFileUsed || IsFamilyMonitor(monitor);
    }
    Expect(!staged.monitorFile || !monitorFileUsed ||
               machine.volume.FileExists(machine.systemDirectory + L"\\" + kMonitorDll),
           "deleted the monitor file while a registered monitor uses it");
    for (const std::wstring& name : staged.foreignMonitors) {
        Expect(monitors.count(name) != 0, "removed the monitor " + sim::Utf8(name) + " of another driver");
    }
    for (const std::wstring& name : staged.foreignDrivers) {
        Expect(machine.spooler.FindDriver(name) != nullptr, "removed the driver " + sim::Utf8(name));
    }
    for (const std::wstring& name : staged.foreignQueues) {
        Expect(machine.spooler.FindQueue(name) != nullptr, "removed the queue " + sim::Utf8(name));
    }
}

} // namespace

// A run makes a great many short-lived blocks: a quarantine smaller than the
// default still catches a block used soon after it is freed, and keeps each
// run on pages the last one used instead of faulting in fresh ones.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    FuzzMachine fuzz;
    sim::Machine& machine = fuzz.machine;
    for (const auto& [drive, type] :
         {std::pair<wchar_t, UINT>{L'D', DRIVE_FIXED}, {L'Z', DRIVE_REMOTE}, {L'E', DRIVE_REMOVABLE}}) {
        machine.driveTypes[drive] = type;
        machine.volume.CreateDirectory(std::wstring(1, drive) + L":\\");
    }
    // The temporary folder as a service account has it, or inside the driver folder.
    const wchar_t* const temps[] = {nullptr, L"C:\\Windows\\Temp\\", L"C:\\Drivers\\PX Series\\Temp\\"};
    if (const wchar_t* temp = temps[input.ConsumeIntegralInRange(0, 2)]) {
        machine.tempPath = temp;
        machine.volume.CreateDirectory(machine.tempPath);
    }
    Staged staged;
    const size_t place = input.ConsumeIntegralInRange<size_t>(0, kPlaceCount);
    std::wstring folder = place == kPlaceCount ? TakeText(input, 60) : kPlaces[place];
    if (place < kPlaceCount && folder[0] == L'%') {
        folder = machine.tempPath + folder.substr(1);
    }
    const bool planted = Volume::IsAbsolute(folder);
    if (planted) {
        PlantFolder(input, machine, folder, place == 0);
        Rearrange(input, machine, folder, &staged);
    }
    const bool viaUninstaller = planted && input.ConsumeBool();
    const std::wstring text = viaUninstaller ? WithSlash(folder) : Spell(input, folder);
    StageSpooler(input, machine, &staged);
    StageTrouble(input, machine);
    const Verdict verdict = Judge(machine, text);
    const char* const allowances[] = {"nothing", "the driver's files", "the whole folder"};
    Context = "folder \"" + sim::Utf8(text) + "\" at " + sim::Utf8(verdict.folder) + ", " +
              allowances[verdict.allowance] + " may go; temporary folder " + sim::Utf8(machine.tempPath) +
              (viaUninstaller ? "; through unins000.exe" : "");
    for (const std::wstring& link : staged.links) {
        Context += "; " + sim::Utf8(link) + " is a link";
    }

    // The user: "Remove" up to that many times, then "Close"; an empty folder
    // starts the install mode, whose questions the user cancels.
    int removes = input.ConsumeIntegralInRange(1, 3);
    int presses = 0;
    machine.dialogs.SetUserPolicy([&removes, &presses](const sim::DialogView& view) {
        int button = 0;
        if (presses >= kMostPresses) {
            return 0;
        }
        if (view.Enabled(IDOK) && removes > 0) {
            --removes;
            button = IDOK;
        } else if (view.Enabled(IDCANCEL)) {
            button = IDCANCEL;
        } else if (view.Enabled(IDOK)) {
            button = IDOK;
        }
        presses += button != 0 ? 1 : 0;
        return button;
    });
    machine.messageBoxes.SetResponder([](const sim::MessageBoxRecord& box) {
        const UINT buttons = box.type & 0xF;
        return buttons == MB_OKCANCEL || buttons == MB_RETRYCANCEL ? IDCANCEL : IDOK;
    });

    const uint64_t start = machine.clock.NowMs();
    if (viaUninstaller) {
        machine.RunTool(text + L"unins000.exe", L"");
        machine.RunLaunchedTools();
    } else {
        machine.RunTool(kFuzzFolder + L"PrinterSetup.exe", L"-u " + text);
    }
    fuzz.CheckMachine();
    Expect(machine.clock.NowMs() - start <= kTimeLimitMs, "ran without end in virtual time");
    CheckOutcome(machine, verdict, staged);
    return 0;
}
