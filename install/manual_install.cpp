#include "install/manual_install.h"

#include <cwchar>

#include "common/enumeration.h"
#include "common/format.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/progress_report.h"
#include "family/driver_files.h"
#include "install/driver_copy.h"
#include "install/model_table.h"
#include "install/printer_queue.h"
#include "res/resource.h"

namespace {

// Both polls below look five times, a second apart.
const int kPollAttempts = 5;
const DWORD kPollIntervalMs = 1000;

// The drivers of the current environment at level 8; LocalFree the list.
DRIVER_INFO_8W* ReadInstalledDrivers(DWORD* count, bool* complete)
{
    return reinterpret_cast<DRIVER_INFO_8W*>(EnumerateRecords(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return Os().EnumPrinterDriversW(nullptr, nullptr, 8, buffer, size, needed, returned);
        },
        count, complete));
}

// The spooler loads a driver from the copies it made of the driver
// directory's files when the driver was registered, which took the older
// build of a file in use: that copy is replaced at the restart as well, so
// the restart does complete the installation.
BOOL ReplaceRegisteredFilesAtRestart(const WCHAR* driverName)
{
    if (!DriverFilesPending()) {
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
        result = ReplaceDriverCopiesAtRestart(drivers[i]);
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
        ShowStepDone(attempt + 1, kPollAttempts);
    }
    return false;
}

// "2024.07.31.1" as sscanf's "%d.%d.%d.%d" reads it, without the C library's
// scanner, which alone would add a sixth to the executable. A field stops
// growing at nine digits, so it cannot overflow.
void ReadVersionFields(const char* text, int fields[4])
{
    for (int field = 0; field < 4 && *text >= '0' && *text <= '9'; ++field) {
        for (int digits = 0; *text >= '0' && *text <= '9'; ++text, ++digits) {
            if (digits < 9) {
                fields[field] = fields[field] * 10 + (*text - '0');
            }
        }
        if (*text == '.') {
            ++text;
        }
    }
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

BOOL AddDriver(const InstallRequest* request)
{
    int fields[4] = {0};
    ReadVersionFields(DRIVER_VERSION_TEXT, fields);
    const int year = fields[0], month = fields[1], day = fields[2], build = fields[3];

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

    ShowStep(IDS_STEP_REGISTERING, kPollAttempts);
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
    ForgetPendingDriverFiles();
    ShowStep(IDS_STEP_COPYING, 0);
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
    ShowStep(IDS_STEP_QUEUE, kPollAttempts);
    AddPrinterQueue(request);
    // Only the printer's queue counts: the install loop reports it as installed.
    return PollUntil([request] { return FindPrinterQueue(request); }) ? 1 : 0;
}
