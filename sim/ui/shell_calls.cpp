// Shell operations of the simulated machine: change notifications, and
// deleting files and folders, to the Recycle Bin or for good.
#include <algorithm>
#include <cstdlib>
#include <cwctype>

#include "sim/sim_platform.h"

namespace sim {

namespace {

// The shell reads pFrom up to its double NUL. A list without one runs on into
// whatever follows it; the bound stands for the shell failing somewhere there.
const size_t kPathListBound = 32768;

bool ReadPathList(LPCWSTR list, std::vector<std::wstring>* paths)
{
    if (list == nullptr) {
        return false;
    }
    std::wstring path;
    for (size_t i = 0; i < kPathListBound; ++i) {
        if (list[i] != 0) {
            path += list[i];
        } else if (path.empty()) {
            return !paths->empty();
        } else {
            paths->push_back(path);
            path.clear();
        }
    }
    return false;
}

} // namespace

void SimPlatform::SHChangeNotify(LONG event, UINT flags, LPCVOID item1, LPCVOID item2)
{
    Counted("SHChangeNotify");
    ChangeNotification notification;
    notification.event = event;
    notification.flags = flags;
    if ((flags & SHCNF_TYPE) == SHCNF_PATHW) {
        if (item1 != nullptr) {
            notification.item1 = static_cast<const wchar_t*>(item1);
        }
        if (item2 != nullptr) {
            notification.item2 = static_cast<const wchar_t*>(item2);
        }
    }
    machine_.shell.Record(notification);
}

// A defined folder that is missing from the volume fails as Windows fails it
// without KF_FLAG_CREATE. The path is CoTaskMemAlloc'ed: the caller frees it.
HRESULT SimPlatform::SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path)
{
    DWORD injected = ERROR_SUCCESS;
    if (path != nullptr) {
        *path = nullptr;
    }
    if (Injected("SHGetKnownFolderPath", &injected)) {
        return HRESULT_FROM_WIN32(injected);
    }
    if (path == nullptr || flags != KF_FLAG_DEFAULT || token != nullptr) {
        machine_.ReportViolation("SHGetKnownFolderPath with flags, a token or no result, which the machine does not "
                                 "model");
        return E_INVALIDARG;
    }
    std::optional<std::wstring> folder = machine_.KnownFolder(id);
    if (!folder) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (!machine_.volume.DirectoryExists(*folder)) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    auto* block = static_cast<PWSTR>(std::calloc(folder->size() + 1, sizeof(WCHAR)));
    if (block == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::copy(folder->begin(), folder->end(), block);
    machine_.TrackBlock(block);
    *path = block;
    return S_OK;
}

void SimPlatform::CoTaskMemFree(LPVOID block)
{
    Counted("CoTaskMemFree");
    if (block == nullptr) {
        return;
    }
    if (!machine_.UntrackBlock(block)) {
        machine_.ReportViolation("CoTaskMemFree of a block that is not allocated");
        return;
    }
    std::free(block);
}

int SimPlatform::SHFileOperationW(LPSHFILEOPSTRUCTW operation)
{
    DWORD injected = ERROR_SUCCESS;
    if (Injected("SHFileOperationW", &injected)) {
        SetLastErrorCode(injected);
        return static_cast<int>(injected);
    }
    if (operation == nullptr || operation->wFunc != FO_DELETE) {
        machine_.ReportViolation("SHFileOperationW other than FO_DELETE is not modelled by the simulated machine");
        return ERROR_INVALID_PARAMETER;
    }
    FileOperation record;
    record.owner = operation->hwnd;
    record.function = operation->wFunc;
    record.flags = operation->fFlags;
    record.foldersHeld = machine_.HeldFolders();
    record.result = DeleteThroughShell(operation, &record);
    operation->fAnyOperationsAborted = record.anyOperationsAborted;
    machine_.shell.Record(record);
    return record.result;
}

int SimPlatform::DeleteThroughShell(LPSHFILEOPSTRUCTW operation, FileOperation* record)
{
    if (!ReadPathList(operation->pFrom, &record->paths)) {
        machine_.ReportViolation("SHFileOperationW with a pFrom that is no list of paths ended by a double NUL");
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    for (const std::wstring& path : record->paths) {
        if (!Volume::IsAbsolute(path) || path.find_first_of(L"*?") != std::wstring::npos) {
            machine_.ReportViolation("SHFileOperationW with a relative path or a wildcard");
            return ERROR_INVALID_PARAMETER;
        }
        // Windows takes a folder with a trailing backslash as the folder. Wine
        // does not: it asks, does nothing and reports success.
        if (!machine_.volume.FileExists(path) && !machine_.volume.DirectoryExists(path)) {
            // Since Vista the shell reports this with the Win32 code (older
            // shells gave DE_INVALIDFILES, 0x7C). Its own "cannot find" window
            // is not modelled.
            return ERROR_FILE_NOT_FOUND;
        }
    }
    if ((operation->fFlags & FOF_NOCONFIRMATION) == 0) {
        record->confirmationShown = true;
        if (!machine_.shell.confirmDeletion) {
            record->anyOperationsAborted = TRUE;
            return ERROR_CANCELLED;
        }
    }
    const bool allowUndo = (operation->fFlags & FOF_ALLOWUNDO) != 0;
    for (const std::wstring& path : record->paths) {
        const bool recyclable = allowUndo && RecycleBinTakes(path);
        // Where no Recycle Bin can take a path, the shell offers to delete it
        // for good instead, and does so without asking under FOF_NOCONFIRMATION.
        if (allowUndo && !recyclable && (operation->fFlags & FOF_NOCONFIRMATION) == 0 &&
            !machine_.shell.confirmDeletion) {
            record->anyOperationsAborted = TRUE;
            return ERROR_CANCELLED;
        }
        DWORD error = recyclable ? machine_.volume.Recycle(path) : machine_.volume.RemoveTree(path);
        if (error != ERROR_SUCCESS) {
            return static_cast<int>(error);
        }
        if (!recyclable) {
            record->deletedForGood.push_back(path);
        }
    }
    return 0;
}

// Each local fixed drive has a Recycle Bin; removable, network and other drives have none.
bool SimPlatform::RecycleBinTakes(const std::wstring& path)
{
    auto found = machine_.driveTypes.find(static_cast<wchar_t>(towupper(path[0])));
    return found != machine_.driveTypes.end() && found->second == DRIVE_FIXED;
}

} // namespace sim
