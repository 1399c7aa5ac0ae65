#include "uninstall/removal.h"

#include <cwchar>
#include <cwctype>

#include "common/format.h"
#include "common/globals.h"
#include "common/platform.h"
#include "common/spooler_control.h"
#include "install/driver_files.h"
#include "res/resource.h"
#include "uninstall/component_inventory.h"
#include "uninstall/uninstall_dialog.h"

namespace {

const DWORD kPauseAfterRestartMs = 1000;
const DWORD kPauseAfterRemovalMs = 300;
const int kDriverAttempts = 10;
const int kMonitorFileAttempts = 5;
const DWORD kPauseAfterFailedAttemptMs = 1000;

void PostProgress(HWND dialog, int position)
{
    Os().PostMessageW(Os().GetDlgItem(dialog, IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void SetRemoved(WCHAR* status)
{
    Os().LoadStringW(InstanceHandle, IDS_REMOVED, TextBufferA, 1024);
    FormatBounded(status, 256, TextBufferA);
}

// The error is read after the text is loaded, as the last platform call left it.
void SetFailed(WCHAR* status, int error)
{
    FormatBounded(status, 256, TextBufferA, error);
}

void SetFailedWithLastError(WCHAR* status)
{
    Os().LoadStringW(InstanceHandle, IDS_REMOVE_FAILED, TextBufferA, 1024);
    SetFailed(status, static_cast<int>(Os().GetLastError()));
}

BOOL RemovePrinter(PrinterEntry* printer)
{
    HANDLE handle = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!Os().OpenPrinterW(printer->info->pPrinterName, &handle, &defaults)) {
        // Gone already, for example through another entry of the same queue.
        return Os().GetLastError() == ERROR_INVALID_PRINTER_NAME;
    }
    Os().SetPrinterW(handle, 0, nullptr, PRINTER_CONTROL_PURGE);
    BOOL deleted = Os().DeletePrinter(handle);
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
        printer->removed = RemovePrinter(printer) ? 1 : 0;
        if (printer->removed) {
            SetRemoved(printer->status);
            --entry->printerCount;
            Os().Sleep(kPauseAfterRemovalMs);
        } else {
            SetFailedWithLastError(printer->status);
            ++failures;
        }
    }
    return failures;
}

int RemoveDriver(PackageNode* node, DriverEntry* entry)
{
    if (entry->printerCount != 0 || entry->info == nullptr || entry->removed) {
        return 0;
    }
    for (int attempt = 0; attempt < kDriverAttempts; ++attempt) {
        if (entry->info->pMonitorName != nullptr) {
            Os().DeleteMonitorW(nullptr, nullptr, entry->info->pMonitorName);
        }
        // Gone already counts as removed: the same driver can stand under several packages.
        entry->removed =
            Os().DeletePrinterDriverExW(nullptr, nullptr, entry->info->pName, DPD_DELETE_UNUSED_FILES, 0) ||
                    Os().GetLastError() == ERROR_UNKNOWN_PRINTER_DRIVER
                ? 1
                : 0;
        if (entry->removed) {
            break;
        }
        Os().Sleep(kPauseAfterFailedAttemptMs);
    }
    if (!entry->removed) {
        SetFailedWithLastError(entry->status);
        return 1;
    }
    SetRemoved(entry->status);
    --node->driverCount;
    Os().Sleep(kPauseAfterRemovalMs);
    return 0;
}

int RemovePackage(PackageNode* node)
{
    if (node->driverCount != 0 || node->infPath[0] == 0 || node->removed) {
        return 0;
    }
    HRESULT result = Os().DeletePrinterDriverPackageW(nullptr, node->infPath, nullptr);
    if (result == S_OK) {
        node->removed = 1;
        SetRemoved(node->status);
        return 0;
    }
    Os().LoadStringW(InstanceHandle, IDS_REMOVE_FAILED, TextBufferA, 1024);
    SetFailed(node->status, static_cast<int>(result));
    return 1;
}

int RemoveInventory(HWND dialog)
{
    int failures = 0;
    for (PackageNode* node = ComponentInventory; node != nullptr; node = node->next) {
        for (DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
            failures += RemovePrinters(entry);
            PostProgress(dialog, 60);
            failures += RemoveDriver(node, entry);
        }
        PostProgress(dialog, 80);
        failures += RemovePackage(node);
    }
    return failures;
}

void DeleteMonitorFile()
{
    WCHAR systemDirectory[MAX_PATH] = {0};
    UINT length = Os().GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    WCHAR path[MAX_PATH] = {0};
    FormatBounded(path, MAX_PATH, L"%ws\\%ws", systemDirectory, L"qxvprtmon.dll");
    for (int attempt = 0; attempt < kMonitorFileAttempts; ++attempt) {
        if (Os().DeleteFileW(path) || Os().GetLastError() == ERROR_FILE_NOT_FOUND) {
            return;
        }
        Os().Sleep(kPauseAfterFailedAttemptMs);
    }
}

bool SamePath(const WCHAR* a, const WCHAR* b)
{
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (towlower(*a) != towlower(*b)) {
            return false;
        }
    }
    return (*a == 0 || (*a == L'\\' && a[1] == 0)) && (*b == 0 || (*b == L'\\' && b[1] == 0));
}

// A "." or ".." component: the path may name some other folder than it shows.
bool HasDotComponent(const WCHAR* path)
{
    for (const WCHAR* part = path; part != nullptr; part = wcschr(part, L'\\')) {
        part += *part == L'\\' ? 1 : 0;
        if (part[0] == L'.' &&
            (part[1] == 0 || part[1] == L'\\' || (part[1] == L'.' && (part[2] == 0 || part[2] == L'\\')))) {
            return true;
        }
    }
    return false;
}

// The folder comes from the command line: only a plain absolute path (no
// wildcards, quotes, forward slashes or dot components), that is neither a
// drive root nor the Windows or system directory and that holds the driver's
// INF, is the driver folder.
bool IsDriverFolder(const WCHAR* folder)
{
    const size_t length = wcslen(folder);
    const bool drivePath = length > 3 && iswalpha(folder[0]) && folder[1] == L':' && folder[2] == L'\\';
    const bool uncPath = length > 2 && folder[0] == L'\\' && folder[1] == L'\\';
    if ((!drivePath && !uncPath) || wcspbrk(folder, L"*?\"/") != nullptr || HasDotComponent(folder)) {
        return false;
    }
    WCHAR systemDirectory[MAX_PATH] = {0};
    const UINT systemLength = Os().GetSystemDirectoryW(systemDirectory, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH || SamePath(folder, systemDirectory)) {
        return false;
    }
    WCHAR* lastBackslash = wcsrchr(systemDirectory, L'\\');
    if (lastBackslash != nullptr) {
        *lastBackslash = 0; // the Windows directory
    }
    if (SamePath(folder, systemDirectory)) {
        return false;
    }
    WCHAR inf[MAX_PATH] = {0};
    DWORD size = 0;
    return FormatBounded(inf, MAX_PATH, L"%ws\\%ws", folder, DRIVER_INF_FILE) == S_OK &&
           Os().SetupGetInfInformationW(inf, INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &size) && size != 0;
}

void SendFolderToRecycleBin(HWND dialog)
{
    // A list of one path, double-terminated inside its own buffer; without its
    // trailing backslash, which some shells refuse for a folder.
    WCHAR folder[MAX_PATH + 2] = {0};
    FormatBounded(folder, MAX_PATH, L"%ws", InstallDirectory);
    size_t length = wcslen(folder);
    if (length > 3 && folder[length - 1] == L'\\') {
        folder[length - 1] = 0;
    }
    if (!IsDriverFolder(folder)) {
        return;
    }
    Os().SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, InstallDirectory, InstallDirectory);
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = dialog;
    operation.wFunc = FO_DELETE;
    operation.pFrom = folder;
    operation.fFlags = FOF_ALLOWUNDO;
    Os().SHFileOperationW(&operation);
}

} // namespace

DWORD WINAPI RemovalThread(LPVOID parameter)
{
    HWND dialog = static_cast<HWND>(parameter);
    EnableDialogButtons(dialog, FALSE);
    Os().ShowWindow(Os().GetDlgItem(dialog, IDC_PROGRESS), SW_SHOW);
    PostProgress(dialog, 20);
    StopSpooler();
    StartSpooler();
    Os().Sleep(kPauseAfterRestartMs);
    PostProgress(dialog, 30);

    // What the inventory could not hold is still installed: never a complete removal.
    int failures = RemoveInventory(dialog) + InventoryGaps;

    PostProgress(dialog, 100);
    Os().PostMessageW(dialog, WM_REFRESH_TREE, 0, 0);
    Os().ShowWindow(Os().GetDlgItem(dialog, IDC_PROGRESS), SW_HIDE);
    if (failures != 0) {
        ActiveWorker = WORKER_NONE;
        EnableDialogButtons(dialog, TRUE);
        ShowUninstallFailed(dialog);
        return 0;
    }
    // Without failures the buttons stay disabled through the clean-up: "Close"
    // must not end the process between stopping and starting the spooler.
    if (StopSpooler()) {
        DeleteMonitorFile();
        StartSpooler();
    }
    SendFolderToRecycleBin(dialog);
    // The final messages use buffers of their own: the tree rebuild may be using A and B now.
    WCHAR text[1024] = {0};
    WCHAR caption[25] = {0};
    Os().LoadStringW(InstanceHandle, IDS_UNINSTALLED, text, 1024);
    Os().LoadStringW(InstanceHandle, IDS_MESSAGE_CAPTION, caption, 25);
    Os().MessageBoxW(dialog, text, caption, MB_OK);
    ActiveWorker = WORKER_CLOSING;
    if (!Os().PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0)) {
        // The dialog cannot be told to close (its queue is full): the user closes it.
        Os().EnableWindow(Os().GetDlgItem(dialog, IDCANCEL), TRUE);
    }
    return 0;
}

void ShowUninstallFailed(HWND dialog)
{
    WCHAR text[1024] = {0};
    Os().LoadStringW(InstanceHandle, IDS_UNINSTALL_FAILED, text, 1024);
    Os().MessageBoxW(dialog, text, nullptr, MB_OK);
}
