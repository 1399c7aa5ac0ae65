#include "install/manual_install.h"

#include <cstdio>
#include <cwchar>

#include "common/enumeration.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/spooler_control.h"
#include "family/driver_files.h"
#include "install/model_table.h"
#include "install/printer_queue.h"

namespace {

// Both polls below look five times, a second apart.
const int kPollAttempts = 5;
const DWORD kPollIntervalMs = 1000;

const WCHAR* ArchitectureFolder()
{
    SYSTEM_INFO system = {};
    Os().GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
        return L"i386";
    case PROCESSOR_ARCHITECTURE_ARM:
        return L"arm";
    case PROCESSOR_ARCHITECTURE_AMD64:
        return L"amd64";
    case PROCESSOR_ARCHITECTURE_ARM64:
        return L"arm64";
    default:
        return nullptr;
    }
}

// The spooler's driver directory; false when it cannot be read, so that no
// file is ever deleted or copied relative to some other folder.
bool DriverDirectory(WCHAR* directory)
{
    DWORD needed = 0;
    directory[0] = 0;
    return Os().GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory),
                                           MAX_PATH * sizeof(WCHAR), &needed) &&
           directory[0] != 0;
}

// A read-only file can be neither deleted nor replaced, now or at a restart:
// the old driver file gives up the attribute before it is replaced.
void ClearReadOnly(const WCHAR* path)
{
    DWORD attributes = Os().GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DWORD kept = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        Os().SetFileAttributesW(path, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    }
}

// Only a file that is there but in use waits for the restart; any other
// failure (a missing source, a full disk) is a failure now.
bool InUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_USER_MAPPED_FILE;
}

// The drivers of the current environment at level 8; LocalFree the list.
DRIVER_INFO_8W* ReadInstalledDrivers(DWORD* count, bool* complete)
{
    return reinterpret_cast<DRIVER_INFO_8W*>(EnumerateRecords(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return Os().EnumPrinterDriversW(nullptr, nullptr, 8, buffer, size, needed, returned);
        },
        count, complete));
}

// A file in use is replaced at the next restart. Windows replaces a file
// there only with MOVEFILE_REPLACE_EXISTING and moves only within a volume,
// and the driver folder may change before then: so the new file is written
// now, by the tool, beside the target, and the restart moves that copy.
// *staged receives the copy's path (MAX_PATH characters).
BOOL StageForRestart(const WCHAR* source, const WCHAR* directory, const WCHAR* target, WCHAR* staged)
{
    if (Os().GetTempFileNameW(directory, L"qxv", 0, staged) == 0) {
        return 0;
    }
    BOOL copied = Os().CopyFileW(source, staged, FALSE);
    LogLine("CopyFile file:%ws to %ws, %d, errcode:%d.", source, staged, copied, Os().GetLastError());
    BOOL scheduled =
        copied && Os().MoveFileExW(staged, target, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
    LogLine("MoveFileEx file:%ws to %ws at restart, %d, errcode:%d.", staged, target, scheduled, Os().GetLastError());
    if (!scheduled) {
        // The box shows why it failed, not how the clean-up went.
        DWORD error = Os().GetLastError();
        Os().DeleteFileW(staged);
        Os().SetLastError(error);
        return 0;
    }
    RestartRequired = TRUE;
    return 1;
}

// The driver files waiting for the restart, by name, with their staged copies.
struct PendingFile {
    WCHAR name[MAX_PATH];
    WCHAR staged[MAX_PATH];
};
PendingFile PendingFiles[4];
int PendingFileCount;

void RememberPending(const WCHAR* name, const WCHAR* staged)
{
    int slot = 0;
    while (slot < PendingFileCount && wcscmp(PendingFiles[slot].name, name) != 0) {
        ++slot;
    }
    if (slot == 4) {
        return;
    }
    FormatBounded(PendingFiles[slot].name, MAX_PATH, L"%ws", name);
    FormatBounded(PendingFiles[slot].staged, MAX_PATH, L"%ws", staged);
    PendingFileCount = slot == PendingFileCount ? slot + 1 : PendingFileCount;
}

const WCHAR* PendingCopyOf(const WCHAR* installedPath)
{
    const WCHAR* name = installedPath != nullptr ? wcsrchr(installedPath, L'\\') : nullptr;
    for (int i = 0; name != nullptr && i < PendingFileCount; ++i) {
        if (wcscmp(name + 1, PendingFiles[i].name) == 0) {
            return PendingFiles[i].staged;
        }
    }
    return nullptr;
}

// The spooler loads a driver from the copies it made of the driver
// directory's files when the driver was registered, which took the older
// build of a file in use: that copy is replaced at the restart as well, so
// the restart does complete the installation.
BOOL ReplaceRegisteredFilesAtRestart(const WCHAR* driverName)
{
    if (PendingFileCount == 0) {
        return 1;
    }
    DWORD count = 0;
    bool complete = false;
    DRIVER_INFO_8W* drivers = ReadInstalledDrivers(&count, &complete);
    BOOL result = complete ? 1 : 0;
    bool found = false;
    for (DWORD i = 0; i < count && result; ++i) {
        if (drivers[i].pName == nullptr || wcscmp(drivers[i].pName, driverName) != 0) {
            continue;
        }
        found = true;
        const WCHAR* files[] = {drivers[i].pDriverPath, drivers[i].pConfigFile, drivers[i].pDataFile};
        for (const WCHAR* installed : files) {
            const WCHAR* staged = PendingCopyOf(installed);
            WCHAR folder[MAX_PATH] = {0};
            WCHAR copy[MAX_PATH] = {0};
            if (staged == nullptr || FormatBounded(folder, MAX_PATH, L"%ws", installed) != S_OK) {
                continue;
            }
            *wcsrchr(folder, L'\\') = 0;
            result = StageForRestart(staged, folder, installed, copy);
        }
    }
    Os().LocalFree(drivers);
    return result && found ? 1 : 0;
}

template <typename Found> bool PollUntil(Found found)
{
    for (int attempt = 0; attempt < kPollAttempts; ++attempt) {
        if (found()) {
            return true;
        }
        Os().Sleep(kPollIntervalMs);
    }
    return false;
}

FILETIME DriverDate(int year, int month, int day)
{
    SYSTEMTIME date = {};
    date.wYear = static_cast<WORD>(year);
    date.wMonth = static_cast<WORD>(month);
    date.wDay = static_cast<WORD>(day);
    FILETIME time = {};
    Os().SystemTimeToFileTime(&date, &time);
    return time;
}

BOOL CopyDataFile()
{
    WCHAR directory[MAX_PATH];
    if (!DriverDirectory(directory)) {
        return FALSE;
    }
    WCHAR target[MAX_PATH] = {0};
    WCHAR source[MAX_PATH] = {0};
    FormatBounded(target, MAX_PATH, L"%ws\\%ws", directory, DRIVER_DATA_FILE);
    FormatBounded(source, MAX_PATH, L"%ws\\dat\\%ws", InstallDirectory, DRIVER_DATA_FILE);
    ClearReadOnly(target);
    Os().DeleteFileW(target);
    BOOL copied = Os().CopyFileW(source, target, FALSE);
    LogLine("CopyFile file:%ws to %ws, %d, errcode:%d.", source, target, copied, Os().GetLastError());
    return copied;
}

BOOL AddPrinterQueue(const InstallRequest* request)
{
    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<LPWSTR>(request->printerName);
    printer.pPortName = const_cast<LPWSTR>(request->portName);
    printer.pDriverName = const_cast<LPWSTR>(request->driverName);
    printer.pPrintProcessor = const_cast<LPWSTR>(DRIVER_PRINT_PROCESSOR);
    printer.pDatatype = const_cast<LPWSTR>(DRIVER_DATA_TYPE);
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE queue = Os().AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
    if (queue == nullptr) {
        LogLine("AddPrinter failed, errcode:%d.", Os().GetLastError());
        return FALSE;
    }
    Os().ClosePrinter(queue);
    return TRUE;
}

} // namespace

BOOL DriverExists(const WCHAR* driverName)
{
    DWORD count = 0;
    DRIVER_INFO_8W* drivers = ReadInstalledDrivers(&count, nullptr);
    BOOL found = 0;
    for (DWORD i = 0; i < count && !found; ++i) {
        found = drivers[i].pName != nullptr && wcscmp(drivers[i].pName, driverName) == 0;
    }
    Os().LocalFree(drivers);
    return found;
}

BOOL CopyDriverFile(const WCHAR* fileName)
{
    const WCHAR* architecture = ArchitectureFolder();
    WCHAR directory[MAX_PATH];
    if (architecture == nullptr || !DriverDirectory(directory)) {
        return 0;
    }
    WCHAR target[MAX_PATH] = {0};
    WCHAR source[MAX_PATH] = {0};
    FormatBounded(target, MAX_PATH, L"%ws\\%ws", directory, fileName);
    FormatBounded(source, MAX_PATH, L"%ws\\%ws\\%ws", InstallDirectory, architecture, fileName);

    ClearReadOnly(target);
    BOOL removed = Os().DeleteFileW(target);
    LogLine("Remove file:%ws, %d, errcode:%d.", target, removed, Os().GetLastError());
    BOOL copied = Os().CopyFileW(source, target, FALSE);
    DWORD copyError = Os().GetLastError();
    LogLine("CopyFile file:%ws to %ws, %d, errcode:%d.", source, target, copied, copyError);

    if (wcscmp(fileName, DRIVER_MONITOR_DLL) == 0) {
        // The monitor DLL is loaded by the running spooler: the system directory's copy is replaced while it is
        // stopped.
        CycleSpooler(CopyToSystemDirectory, source);
    }
    if (copied) {
        return copied;
    }
    WCHAR staged[MAX_PATH] = {0};
    if (!InUse(copyError) || !StageForRestart(source, directory, target, staged)) {
        return 0;
    }
    RememberPending(fileName, staged);
    return 1;
}

BOOL AddDriver(const InstallRequest* request)
{
    int year = 0, month = 0, day = 0, build = 0;
    sscanf(DRIVER_VERSION_TEXT, "%d.%d.%d.%d", &year, &month, &day, &build);

    // The dependent-files multi-string: one entry, double-terminated.
    WCHAR dependentFiles[] = DRIVER_MONITOR_DLL L"\0";
    bool monitor = (request->flags & MODEL_FLAG_LANGUAGE_MONITOR) != 0;

    DRIVER_INFO_8W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(request->driverName);
    driver.pDriverPath = const_cast<LPWSTR>(DRIVER_RENDER_DLL);
    driver.pDataFile = const_cast<LPWSTR>(DRIVER_DATA_FILE);
    driver.pConfigFile = const_cast<LPWSTR>(DRIVER_CONFIG_DLL);
    driver.pDependentFiles = monitor ? dependentFiles : nullptr;
    driver.pMonitorName = monitor ? const_cast<LPWSTR>(DRIVER_MONITOR_NAME) : nullptr;
    driver.pDefaultDataType = const_cast<LPWSTR>(DRIVER_DATA_TYPE);
    driver.ftDriverDate = DriverDate(year, month, day);
    driver.dwlDriverVersion = (static_cast<DWORDLONG>(year & 0xFFFF) << 48) |
                              (static_cast<DWORDLONG>(month & 0xFFFF) << 32) |
                              (static_cast<DWORDLONG>(day & 0xFFFF) << 16) | static_cast<DWORDLONG>(build & 0xFFFF);
    driver.pszHardwareID = const_cast<LPWSTR>(request->hardwareId);
    driver.pszProvider = const_cast<LPWSTR>(DRIVER_PROVIDER);

    if (!Os().AddPrinterDriverW(nullptr, 8, reinterpret_cast<LPBYTE>(&driver))) {
        LogLine("AddPrinterDriver failed, errcode:%d.", Os().GetLastError());
        return 0;
    }
    return PollUntil([request] { return DriverExists(request->driverName); }) ? 1 : 0;
}

BOOL InstallPrinterLanguageMonitor()
{
    MONITOR_INFO_2W monitor = {};
    monitor.pName = const_cast<LPWSTR>(DRIVER_MONITOR_NAME);
    monitor.pEnvironment = nullptr;
    monitor.pDLLName = const_cast<LPWSTR>(DRIVER_MONITOR_DLL);
    if (Os().AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor))) {
        return 1;
    }
    DWORD error = Os().GetLastError();
    if (error == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
        return 1;
    }
    LogLine("InstallPrinterLanguageMonitor failed, errcode:%d.", error);
    return 0;
}

BOOL InstallDriverManually(InstallRequest* request)
{
    // What an earlier printer left waiting is this call's to find again.
    PendingFileCount = 0;
    BOOL renderCopied = CopyDriverFile(DRIVER_RENDER_DLL);
    BOOL configCopied = CopyDriverFile(DRIVER_CONFIG_DLL);
    BOOL result = renderCopied && configCopied;
    BOOL dataCopied = CopyDataFile();
    result = result && dataCopied;

    if (request->flags & MODEL_FLAG_LANGUAGE_MONITOR) {
        CopyDriverFile(DRIVER_MONITOR_DLL);
        result = InstallPrinterLanguageMonitor();
    }
    if (result && !DriverExists(request->driverName)) {
        if (!AddDriver(request)) {
            return 0;
        }
    }
    if (result && !ReplaceRegisteredFilesAtRestart(request->driverName)) {
        return 0;
    }
    if (FindPrinterQueue(request)) {
        LogLine("The printer %ws is already added.", request->printerName);
        return 1;
    }
    if (!NameNewPrinterQueue(request)) {
        return 0;
    }
    AddPrinterQueue(request);
    // Only the printer's queue counts: the install loop reports it as installed.
    return PollUntil([request] { return FindPrinterQueue(request); }) ? 1 : 0;
}
