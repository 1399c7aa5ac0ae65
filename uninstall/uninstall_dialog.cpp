#include "uninstall/uninstall_dialog.h"

#include "common/catalogue.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/platform.h"
#include "common/run_options.h"
#include "family/component_inventory.h"
#include "res/resource.h"
#include "uninstall/dialog_state.h"
#include "uninstall/removal.h"

namespace {

HTREEITEM InsertItem(HWND tree, HTREEITEM parent, WCHAR* text)
{
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = text;
    return reinterpret_cast<HTREEITEM>(Os().SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void ExpandItem(HWND tree, HTREEITEM item)
{
    Os().SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

// Loads a catalogue string into buffer A; the caller formats it into B.
void LoadIntoA(UINT id)
{
    LoadText(id, TextBufferA, 1024);
}

void FormatPackageLine(const PackageNode* node)
{
    if (node->infPath[0] != 0) {
        LoadIntoA(IDS_PACKAGE_LINE);
        Os().wsprintfW(TextBufferB, TextBufferA, node->infFileName, node->driverVer, node->infPath, node->status);
    } else {
        LoadIntoA(IDS_NO_PACKAGE);
        Os().wsprintfW(TextBufferB, TextBufferA);
    }
}

void FormatDriverLine(const DriverEntry* entry)
{
    if (entry->info != nullptr) {
        const DWORDLONG version = entry->info->dwlDriverVersion;
        LoadIntoA(IDS_DRIVER_LINE);
        Os().wsprintfW(TextBufferB, TextBufferA, entry->info->pName, entry->info->pszMfgName,
                       static_cast<int>((version >> 48) & 0xFFFF), static_cast<int>((version >> 32) & 0xFFFF),
                       static_cast<int>((version >> 16) & 0xFFFF), static_cast<int>(version & 0xFFFF), entry->status);
    } else {
        LoadIntoA(IDS_NO_DRIVER);
        Os().wsprintfW(TextBufferB, TextBufferA);
    }
}

void FormatPrinterLine(const PrinterEntry* printer)
{
    if (printer->info != nullptr) {
        LoadIntoA(IDS_PRINTER_LINE);
        Os().wsprintfW(TextBufferB, TextBufferA, printer->info->pPrinterName, printer->info->pPortName,
                       printer->status);
    } else {
        LoadIntoA(IDS_NO_PRINTER);
        Os().wsprintfW(TextBufferB, TextBufferA);
    }
}

// Starts the worker unless one runs already. False when its thread could not
// be created; the worker then counts as running until the caller decides.
bool StartWorker(HWND dialog, LPTHREAD_START_ROUTINE routine, int worker)
{
    int idle = WORKER_NONE;
    if (!ActiveWorker.compare_exchange_strong(idle, worker)) {
        return true;
    }
    HANDLE thread = Os().CreateThread(nullptr, 0, routine, dialog, 0, nullptr);
    if (thread == nullptr) {
        return false;
    }
    // The worker reports through the dialog; its handle is not needed.
    Os().CloseHandle(thread);
    return true;
}

// "Remove", pressed by the user or, in a run with switches, for the user.
void PressRemove(HWND dialog)
{
    if (!StartWorker(dialog, RemovalThread, WORKER_REMOVAL)) {
        ActiveWorker = WORKER_NONE;
        UninstallOutcome = EXIT_FAILED;
        ShowUninstallFailed(dialog);
        if (RunsQuietly()) {
            Os().EndDialog(dialog, IDCANCEL); // no one is there to close it
        }
    }
}

} // namespace

bool UninstallDialog()
{
    ActiveWorker = WORKER_NONE;
    return Os().DialogBoxParamW(InstanceHandle, MAKEINTRESOURCEW(IDD_UNINSTALL), nullptr, UninstallDialogProc, 0) != -1;
}

int RunUninstallMode()
{
    if (Options.quiet == QUIET_VERYSILENT) {
        return RemoveWithoutDialog();
    }
    UninstallOutcome = EXIT_CANCELLED;
    return UninstallDialog() ? UninstallOutcome.load() : EXIT_FAILED;
}

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        if (!StartWorker(dialog, ScanThread, WORKER_SCAN)) {
            // "Remove" must never act on an inventory that was not read: without
            // a thread the scan runs here, and the window waits for it.
            ScanThread(dialog);
        }
        break;
    case WM_COMMAND:
        // Enter can deliver IDOK while the button is disabled: a busy worker is never joined by a second one.
        if (LOWORD(wParam) == IDOK) {
            PressRemove(dialog);
        } else if (LOWORD(wParam) == IDCANCEL && ActiveWorker != WORKER_REMOVAL) {
            // Esc or the close box during a removal would end the process with the spooler stopped.
            Os().EndDialog(dialog, IDCANCEL);
        }
        break;
    case WM_REFRESH_TREE:
        FillComponentTree(dialog);
        break;
    case WM_WORKER_DONE: {
        const bool scanned = ActiveWorker == WORKER_SCAN;
        EnableDialogButtons(dialog, TRUE);
        ActiveWorker = WORKER_NONE;
        if (scanned && RunsQuietly()) {
            // /SILENT: the dialog shows what goes, and "Remove" is pressed for the user.
            PressRemove(dialog);
        }
        break;
    }
    default:
        break;
    }
    return FALSE;
}

DWORD WINAPI ScanThread(LPVOID parameter)
{
    HWND dialog = static_cast<HWND>(parameter);
    EnableDialogButtons(dialog, FALSE);
    HWND progress = Os().GetDlgItem(dialog, IDC_PROGRESS);
    Os().ShowWindow(progress, SW_SHOW);
    Os().SendMessageW(progress, PBM_SETPOS, 80, 0);
    ReadInventory(&ComponentInventory);
    Os().PostMessageW(dialog, WM_REFRESH_TREE, 0, 0);
    Os().ShowWindow(progress, SW_HIDE);
    FinishWorker(dialog);
    return 0;
}

void FillComponentTree(HWND dialog)
{
    HWND tree = Os().GetDlgItem(dialog, IDC_COMPONENT_TREE);
    Os().SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    const Inventory& inventory = ComponentInventory;
    if (inventory.packages == nullptr && inventory.monitors == nullptr && inventory.gaps == 0) {
        LoadText(IDS_NOTHING_TO_REMOVE, TextBufferB, 1024);
        InsertItem(tree, TVI_ROOT, TextBufferB);
        return;
    }
    LoadText(IDS_DRIVER_FOLDER, TextBufferB, 1024);
    Os().wsprintfW(TextBufferA, TextBufferB, InstallDirectory);
    InsertItem(tree, TVI_ROOT, TextBufferA);
    if (inventory.gaps != 0) {
        LoadText(IDS_INVENTORY_INCOMPLETE, TextBufferB, 1024);
        InsertItem(tree, TVI_ROOT, TextBufferB);
    }
    for (const PackageNode* node = inventory.packages; node != nullptr; node = node->next) {
        FormatPackageLine(node);
        HTREEITEM packageItem = InsertItem(tree, TVI_ROOT, TextBufferB);
        for (const DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
            FormatDriverLine(entry);
            HTREEITEM driverItem = InsertItem(tree, packageItem, TextBufferB);
            for (const PrinterEntry* printer = entry->printers; printer != nullptr; printer = printer->next) {
                FormatPrinterLine(printer);
                InsertItem(tree, driverItem, TextBufferB);
            }
            ExpandItem(tree, driverItem);
        }
        ExpandItem(tree, packageItem);
    }
    for (const MonitorEntry* entry = inventory.monitors; entry != nullptr; entry = entry->next) {
        LoadIntoA(IDS_MONITOR_LINE);
        Os().wsprintfW(TextBufferB, TextBufferA, entry->info->pName, entry->info->pDLLName, entry->status);
        InsertItem(tree, TVI_ROOT, TextBufferB);
    }
}
