#include "uninstall/removal.h"

#include "common/catalogue.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/run_log.h"
#include "common/run_options.h"
#include "common/spooler_control.h"
#include "family/component_inventory.h"
#include "family/driver_files.h"
#include "family/environments.h"
#include "res/resource.h"
#include "uninstall/dialog_state.h"
#include "uninstall/folder_guard.h"

namespace {

const DWORD kPauseAfterRestartMs = 1000;
const DWORD kPauseAfterRemovalMs = 300;
const int kDriverAttempts = 10;
const int kMonitorFileAttempts = 5;
const DWORD kPauseAfterFailedAttemptMs = 1000;

void PostProgress(HWND dialog, int position)
{
    if (dialog == nullptr) {
        return; // a removal without a window
    }
    Os().PostMessageW(Os().GetDlgItem(dialog, IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void SetRemoved(WCHAR* status)
{
    LoadText(IDS_REMOVED, TextBufferA, 1024);
    FormatBounded(status, 256, TextBufferA);
}

// The error is the one the failing call left, whatever loading the text does to the last error.
void SetFailed(WCHAR* status, DWORD error)
{
    LoadText(IDS_REMOVE_FAILED, TextBufferA, 1024);
    FormatBounded(status, 256, TextBufferA, static_cast<int>(error));
}

// Each outcome goes to the run log, as the tree shows it.
void NoteOutcome(LPCWSTR kind, LPCWSTR name, bool removed, DWORD error)
{
    if (removed) {
        NoteInRunLog(L"Removed the %ws %ws.", kind, name);
    } else {
        NoteInRunLog(L"The %ws %ws was not removed, errcode:%d.", kind, name, static_cast<int>(error));
    }
}

BOOL RemovePrinter(PrinterEntry* printer, DWORD* error)
{
    HANDLE handle = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!Os().OpenPrinterW(printer->info->pPrinterName, &handle, &defaults)) {
        *error = Os().GetLastError();
        // Gone already, for example through another entry of the same queue.
        return *error == ERROR_INVALID_PRINTER_NAME;
    }
    Os().SetPrinterW(handle, 0, nullptr, PRINTER_CONTROL_PURGE);
    BOOL deleted = Os().DeletePrinter(handle);
    *error = Os().GetLastError();
    Os().ClosePrinter(handle);
    return deleted;
}

int RemovePrinters(DriverEntry* entry)
{
    int failures = 0;
    for (PrinterEntry* printer = entry->printers; printer != nullptr; printer = printer->next) {
        if (printer->removed) {
            continue;
        }
        DWORD error = ERROR_SUCCESS;
        printer->removed = RemovePrinter(printer, &error) ? 1 : 0;
        NoteOutcome(L"print queue", printer->info->pPrinterName, printer->removed != 0, error);
        if (printer->removed) {
            SetRemoved(printer->status);
            --entry->printerCount;
            Os().Sleep(kPauseAfterRemovalMs);
        } else {
            SetFailed(printer->status, error);
            ++failures;
        }
    }
    return failures;
}

// A monitor that is gone already counts as removed, as a driver does.
bool RemoveMonitor(LPWSTR name, DWORD* error)
{
    if (Os().DeleteMonitorW(nullptr, nullptr, name)) {
        return true;
    }
    *error = Os().GetLastError();
    return *error == ERROR_UNKNOWN_PRINT_MONITOR;
}

// One attempt at the driver together with its monitor: both must be gone.
// The driver goes first, so a driver that stays keeps its monitor; and only
// a monitor of the family's DLL goes with it, never another maker's.
bool RemoveDriverOnce(const DRIVER_INFO_8W* driver, DWORD* error)
{
    // Gone already counts as removed: the same driver can stand under several packages.
    LPWSTR environment = const_cast<LPWSTR>(EnvironmentArgument(driver->pEnvironment));
    if (!Os().DeletePrinterDriverExW(nullptr, environment, driver->pName, DPD_DELETE_UNUSED_FILES, 0)) {
        *error = Os().GetLastError();
        if (*error != ERROR_UNKNOWN_PRINTER_DRIVER) {
            return false;
        }
    }
    return !IsFamilyMonitor(ComponentInventory, driver->pMonitorName) || RemoveMonitor(driver->pMonitorName, error);
}

int RemoveDriver(PackageNode* node, DriverEntry* entry)
{
    if (entry->printerCount != 0 || entry->info == nullptr || entry->removed) {
        return 0;
    }
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kDriverAttempts; ++attempt) {
        entry->removed = RemoveDriverOnce(entry->info, &error) ? 1 : 0;
        if (entry->removed) {
            break;
        }
        Os().Sleep(kPauseAfterFailedAttemptMs);
    }
    NoteOutcome(L"driver", entry->info->pName, entry->removed != 0, error);
    if (!entry->removed) {
        SetFailed(entry->status, error);
        return 1;
    }
    SetRemoved(entry->status);
    --node->driverCount;
    Os().Sleep(kPauseAfterRemovalMs);
    return 0;
}

int CountPackages(const Inventory& inventory)
{
    int count = 0;
    for (const PackageNode* node = inventory.packages; node != nullptr; node = node->next) {
        ++count;
    }
    return count;
}

int CountMonitors(const Inventory& inventory)
{
    int count = 0;
    for (const MonitorEntry* entry = inventory.monitors; entry != nullptr; entry = entry->next) {
        ++count;
    }
    return count;
}

int RemovePackage(PackageNode* node)
{
    if (node->driverCount != 0 || node->infPath[0] == 0 || node->removed) {
        return 0;
    }
    HRESULT result = Os().DeletePrinterDriverPackageW(nullptr, node->infPath, node->environment);
    NoteOutcome(L"driver package", node->infPath, result == S_OK, static_cast<DWORD>(result));
    if (result == S_OK) {
        node->removed = 1;
        SetRemoved(node->status);
        return 0;
    }
    SetFailed(node->status, static_cast<DWORD>(result));
    return 1;
}

// Monitors of the family that no driver took along; only after a run in which
// everything else went, since a driver that stayed may still use them.
int RemoveMonitors(MonitorEntry* monitors)
{
    int failures = 0;
    for (MonitorEntry* entry = monitors; entry != nullptr; entry = entry->next) {
        if (entry->removed) {
            continue;
        }
        DWORD error = ERROR_SUCCESS;
        entry->removed = RemoveMonitor(entry->info->pName, &error) ? 1 : 0;
        NoteOutcome(L"port monitor", entry->info->pName, entry->removed != 0, error);
        if (entry->removed) {
            SetRemoved(entry->status);
        } else {
            SetFailed(entry->status, error);
            ++failures;
        }
    }
    return failures;
}

int RemoveInventory(HWND dialog)
{
    int failures = 0;
    for (PackageNode* node = ComponentInventory.packages; node != nullptr; node = node->next) {
        for (DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
            failures += RemovePrinters(entry);
            PostProgress(dialog, 60);
            failures += RemoveDriver(node, entry);
        }
        PostProgress(dialog, 80);
        failures += RemovePackage(node);
    }
    return failures != 0 ? failures : RemoveMonitors(ComponentInventory.monitors);
}

// A run without failures is checked by reading the machine again, and so is a
// run on an inventory that could not be read whole. What is left becomes the
// inventory, so the tree shows it and "Remove" acts on it.
int CheckWhatIsLeft(int failures)
{
    if (failures != 0 && ComponentInventory.gaps == 0) {
        return failures; // the tree shows each outcome; "Remove" retries what failed
    }
    Inventory left = {};
    ReadInventory(&left);
    if (failures == 0 && InventoryIsClean(left)) {
        FreeInventory(&left);
        return 0;
    }
    LogLine("Uninstall check: %d packages, %d monitors, %d unread.", CountPackages(left), CountMonitors(left),
            left.gaps);
    FreeInventory(&ComponentInventory);
    ComponentInventory = left;
    return failures != 0 ? failures : 1;
}

bool MonitorFilePath(WCHAR* path)
{
    WCHAR systemDirectory[MAX_PATH] = {0};
    UINT length = Os().GetSystemDirectoryW(systemDirectory, MAX_PATH);
    return length != 0 && length < MAX_PATH &&
           FormatBounded(path, MAX_PATH, L"%ws\\%ws", systemDirectory, L"qxvprtmon.dll") == S_OK;
}

bool MonitorFileExists()
{
    WCHAR path[MAX_PATH] = {0};
    return !MonitorFilePath(path) || Os().GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ||
           Os().GetLastError() != ERROR_FILE_NOT_FOUND;
}

// True when the file is gone.
bool DeleteMonitorFile()
{
    WCHAR path[MAX_PATH] = {0};
    if (!MonitorFilePath(path)) {
        return false;
    }
    for (int attempt = 0; attempt < kMonitorFileAttempts; ++attempt) {
        if (Os().DeleteFileW(path) || Os().GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        Os().Sleep(kPauseAfterFailedAttemptMs);
    }
    LogLine("The monitor file %ws stays, errcode:%d.", path, Os().GetLastError());
    return false;
}

// Restarts the spooler, removes the inventory bottom-up and checks what is
// left; returns the failures (0: nothing of the family is left, checked).
int RemoveFamily(HWND dialog)
{
    NothingWasInstalled = InventoryIsClean(ComponentInventory);
    if (NothingWasInstalled && Options.switched) {
        return 0; // an uninstall "just in case" leaves the spooler alone
    }
    PostProgress(dialog, 20);
    StopSpooler();
    StartSpooler();
    Os().Sleep(kPauseAfterRestartMs);
    PostProgress(dialog, 30);
    // What the inventory could not read is perhaps still installed: never a complete removal.
    return CheckWhatIsLeft(RemoveInventory(dialog) + ComponentInventory.gaps);
}

// No registered monitor uses the monitor file any more: the check found none.
// False when the file stays or the spooler does not run again.
bool DeleteMonitorFileWithSpoolerStopped()
{
    if (NothingWasInstalled && Options.switched && !MonitorFileExists()) {
        return true;
    }
    if (!StopSpooler()) {
        return false;
    }
    const bool deleted = DeleteMonitorFile();
    return StartSpooler() && deleted;
}

int SucceededOutcome()
{
    return NothingWasInstalled ? EXIT_NOTHING_TO_REMOVE : EXIT_OK;
}

// A run with switches closes the dialog itself once the removal has ended.
void CloseDialog(HWND dialog)
{
    if (!Os().PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0)) {
        // The dialog cannot be told to close (its queue is full): the user closes it.
        Os().EnableWindow(Os().GetDlgItem(dialog, IDCANCEL), TRUE);
    }
}

} // namespace

DWORD WINAPI RemovalThread(LPVOID parameter)
{
    HWND dialog = static_cast<HWND>(parameter);
    EnableDialogButtons(dialog, FALSE);
    Os().ShowWindow(Os().GetDlgItem(dialog, IDC_PROGRESS), SW_SHOW);
    const int failures = RemoveFamily(dialog);
    PostProgress(dialog, 100);
    Os().PostMessageW(dialog, WM_REFRESH_TREE, 0, 0);
    Os().ShowWindow(Os().GetDlgItem(dialog, IDC_PROGRESS), SW_HIDE);
    if (failures != 0) {
        UninstallOutcome = EXIT_FAILED;
        FinishWorker(dialog);
        ShowUninstallFailed(dialog);
        if (RunsQuietly()) {
            CloseDialog(dialog);
        }
        return 0;
    }
    // Without failures the buttons stay disabled through the clean-up: "Close"
    // must not end the process between stopping and starting the spooler.
    const bool cleanedUp = DeleteMonitorFileWithSpoolerStopped();
    if (!Options.switched) {
        // With switches the uninstaller that waits for this copy runs from the
        // folder: its hand-over sends the folder to the Recycle Bin.
        RecycleDriverFolder(dialog);
    }
    // A run whose exit code counts says 0 only with the spooler back and no file left behind.
    UninstallOutcome = cleanedUp ? SucceededOutcome() : EXIT_FAILED;
    if (!cleanedUp && Options.switched) {
        ShowUninstallFailed(dialog);
    } else if (!RunsQuietly()) {
        // The final messages use buffers of their own: the tree rebuild may be using A and B now.
        WCHAR text[1024] = {0};
        WCHAR caption[25] = {0};
        LoadText(IDS_UNINSTALLED, text, 1024);
        LoadText(IDS_MESSAGE_CAPTION, caption, 25);
        ShowBox(dialog, text, caption, MB_OK);
    }
    ActiveWorker = WORKER_CLOSING;
    CloseDialog(dialog);
    return 0;
}

int RemoveWithoutDialog()
{
    ReadInventory(&ComponentInventory);
    if (RemoveFamily(nullptr) != 0) {
        ShowUninstallFailed(nullptr);
        return EXIT_FAILED;
    }
    return DeleteMonitorFileWithSpoolerStopped() ? SucceededOutcome() : EXIT_FAILED;
}

void ShowUninstallFailed(HWND dialog)
{
    WCHAR text[1024] = {0};
    LoadText(IDS_UNINSTALL_FAILED, text, 1024);
    ShowBox(dialog, text, nullptr, MB_OK);
}
