// Shell operations of the simulated machine: change notifications, and
// deleting files and folders, to the Recycle Bin or for good.
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
    machine_.faults.Count("SHChangeNotify");
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
        DWORD error = allowUndo ? machine_.volume.Recycle(path) : machine_.volume.RemoveTree(path);
        if (error != ERROR_SUCCESS) {
            return static_cast<int>(error);
        }
    }
    return 0;
}

} // namespace sim
