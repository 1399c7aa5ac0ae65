#include "uninstall/folder_guard.h"

#include <cwchar>
#include <cwctype>

#include "common/format.h"
#include "common/globals.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/run_options.h"
#include "family/component_inventory.h"
#include "family/driver_files.h"

namespace {

// The driver's own layout inside its folder: what may go even from a folder
// that holds more than the driver.
const WCHAR* const kLayoutFiles[] = {
    DRIVER_INF_FILE,
    L"unins000.exe",
    L"PrinterSetup.exe",
    (L"dat\\" DRIVER_DATA_FILE),
};
const WCHAR* const kArchitectureFolders[] = {L"i386", L"amd64", L"arm", L"arm64"};
const WCHAR* const kArchitectureFiles[] = {DRIVER_RENDER_DLL, DRIVER_CONFIG_DLL, DRIVER_MONITOR_DLL};
const size_t kLayoutPaths = 4 + 4 * 3;

// folder\name into a MAX_PATH buffer; a drive root keeps its one backslash.
bool JoinPath(const WCHAR* folder, const WCHAR* name, WCHAR* path)
{
    const WCHAR* separator = folder[wcslen(folder) - 1] == L'\\' ? L"" : L"\\";
    return FormatBounded(path, MAX_PATH, L"%ws%ws%ws", folder, separator, name) == S_OK;
}

// Appends path to a double-NUL list if it is a plain file (no folder, no link).
void AddIfPlainFile(const WCHAR* folder, const WCHAR* name, WCHAR* list, size_t* used, size_t capacity, int* count)
{
    WCHAR path[MAX_PATH] = {0};
    if (!JoinPath(folder, name, path)) {
        return;
    }
    const DWORD attributes = Os().GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return;
    }
    const size_t length = wcslen(path) + 1;
    if (*used + length + 1 > capacity) {
        return;
    }
    wmemcpy(list + *used, path, length);
    *used += length;
    ++*count;
}

// Opens a folder without FILE_SHARE_DELETE: until the handle is closed, no
// one can rename, move or delete it or a folder above it, so what is checked
// after this is what the shell will find.
HANDLE HoldFolder(const WCHAR* path)
{
    return Os().CreateFileW(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

struct HeldFolders {
    HANDLE handles[8];
    int count;
};

void ReleaseFolders(HeldFolders* held)
{
    for (int i = 0; i < held->count; ++i) {
        Os().CloseHandle(held->handles[i]);
    }
    held->count = 0;
}

// Holds a layout subfolder if it is a plain folder (no link); false otherwise.
bool HoldPlainFolder(const WCHAR* folder, const WCHAR* name, HeldFolders* held)
{
    WCHAR path[MAX_PATH] = {0};
    if (held->count == 8 || !JoinPath(folder, name, path)) {
        return false;
    }
    HANDLE handle = HoldFolder(path);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD attributes = Os().GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        Os().CloseHandle(handle);
        return false;
    }
    held->handles[held->count++] = handle;
    return true;
}

// The driver's own files in the folder, as a double-NUL list; their number.
// The subfolders they are listed from stay held in *held.
int ListLayoutFiles(const WCHAR* folder, WCHAR* list, size_t capacity, HeldFolders* held)
{
    size_t used = 0;
    int count = 0;
    const bool datHeld = HoldPlainFolder(folder, L"dat", held);
    for (const WCHAR* name : kLayoutFiles) {
        if (wcschr(name, L'\\') == nullptr || datHeld) {
            AddIfPlainFile(folder, name, list, &used, capacity, &count);
        }
    }
    for (const WCHAR* architecture : kArchitectureFolders) {
        if (!HoldPlainFolder(folder, architecture, held)) {
            continue;
        }
        for (const WCHAR* file : kArchitectureFiles) {
            WCHAR name[32] = {0};
            FormatBounded(name, 32, L"%ws\\%ws", architecture, file);
            AddIfPlainFile(folder, name, list, &used, capacity, &count);
        }
    }
    list[used] = 0;
    return count;
}

// The driver's own folder, once its files are gone: its subfolders and
// itself, each only if empty (RemoveDirectoryW removes nothing else).
void RemoveEmptyFolders(const WCHAR* folder)
{
    WCHAR path[MAX_PATH] = {0};
    for (const WCHAR* name : kArchitectureFolders) {
        if (JoinPath(folder, name, path)) {
            Os().RemoveDirectoryW(path);
        }
    }
    if (JoinPath(folder, L"dat", path)) {
        Os().RemoveDirectoryW(path);
    }
    if (!Os().RemoveDirectoryW(folder)) {
        LogLine("The folder %ws stays: it holds more than the driver, errcode:%d.", folder, LastFailure());
    }
}

void Recycle(HWND owner, const WCHAR* list, int count)
{
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_DELETE;
    operation.pFrom = list;
    // A quiet run asks nothing; it lists only the driver's own files, so
    // nothing else can be deleted for good where no Recycle Bin takes it.
    operation.fFlags = FOF_ALLOWUNDO | (RunsQuietly() ? FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT : 0);
    const int result = Os().SHFileOperationW(&operation);
    LogLine("RecycleDriverFolder, %ws, %d paths, code:%d, aborted:%d.", list, count, result,
            operation.fAnyOperationsAborted);
}

} // namespace

void RecycleDriverFolder(HWND owner)
{
    WCHAR folder[MAX_PATH] = {0};
    const WCHAR* reason = L"its path is no plain local path";
    // Held before it is judged, so that the folder judged is the folder the shell is given.
    HeldFolders held = {};
    FolderVerdict verdict = FOLDER_REFUSED;
    if (NormaliseFolderPath(InstallDirectory, folder, MAX_PATH)) {
        held.handles[0] = HoldFolder(folder);
        held.count = held.handles[0] != INVALID_HANDLE_VALUE ? 1 : 0;
        verdict = held.count == 1 ? JudgeDriverFolder(folder, &reason) : FOLDER_REFUSED;
        reason = held.count == 1 ? reason : L"it cannot be opened";
    }
    if (verdict == FOLDER_REFUSED) {
        ReleaseFolders(&held);
        LogLine("The folder %ws is not sent to the Recycle Bin: %ws.", InstallDirectory, reason);
        return;
    }
    if (verdict == FOLDER_WHOLE && !RunsQuietly()) {
        // The shell moves the folder itself, which a held folder would refuse.
        ReleaseFolders(&held);
        // A list of one path, double-terminated, without a trailing backslash.
        WCHAR list[MAX_PATH + 1] = {0};
        FormatBounded(list, MAX_PATH, L"%ws", folder);
        Os().SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, InstallDirectory, InstallDirectory);
        Recycle(owner, list, 1);
        return;
    }
    if (verdict == FOLDER_WHOLE) {
        // No one is asked: whatever else the folder holds stays, and so does the folder then.
        reason = L"a run without questions takes only the driver's own files";
    }
    LogLine("The folder %ws is not sent to the Recycle Bin whole, only the driver's files: %ws.", folder, reason);
    WCHAR list[kLayoutPaths * MAX_PATH + 1] = {0};
    const int count = ListLayoutFiles(folder, list, kLayoutPaths * MAX_PATH + 1, &held);
    if (count != 0) {
        Recycle(owner, list, count);
    }
    ReleaseFolders(&held);
    if (verdict == FOLDER_WHOLE) {
        RemoveEmptyFolders(folder);
    }
}

int RecycleWhenEnded(DWORD processId)
{
    const DWORD kWaitMs = 60000;
    HANDLE process = Os().OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process != nullptr) {
        const DWORD waited = Os().WaitForSingleObject(process, kWaitMs);
        Os().CloseHandle(process);
        if (waited != WAIT_OBJECT_0) {
            // It still runs from the folder (or the id is another process's now): the folder stays.
            LogLine("The folder %ws is not sent to the Recycle Bin: the uninstaller %d has not ended.",
                    InstallDirectory, static_cast<int>(processId));
            return EXIT_FAILED;
        }
    }
    // The family may have come back meanwhile (installed again from the folder): then the folder stays.
    Inventory now = {};
    ReadInventory(&now);
    const bool clean = InventoryIsClean(now);
    FreeInventory(&now);
    if (!clean) {
        LogLine("The folder %ws is not sent to the Recycle Bin: the printer driver is installed again.",
                InstallDirectory);
        return EXIT_FAILED;
    }
    RecycleDriverFolder(nullptr);
    return EXIT_OK;
}
