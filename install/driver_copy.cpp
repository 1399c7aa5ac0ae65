#include "install/driver_copy.h"

#include <cwchar>

#include "common/format.h"
#include "common/globals.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/spooler_control.h"
#include "family/driver_files.h"

namespace {

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

} // namespace

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

void ForgetPendingDriverFiles()
{
    PendingFileCount = 0;
}

bool DriverFilesPending()
{
    return PendingFileCount != 0;
}

BOOL ReplaceDriverCopiesAtRestart(const DRIVER_INFO_8W& driver)
{
    BOOL result = 1;
    DWORD firstError = ERROR_SUCCESS;
    const WCHAR* files[] = {driver.pDriverPath, driver.pConfigFile, driver.pDataFile};
    for (const WCHAR* installed : files) {
        const WCHAR* staged = PendingCopyOf(installed);
        WCHAR folder[MAX_PATH] = {0};
        WCHAR copy[MAX_PATH] = {0};
        if (staged == nullptr || FormatBounded(folder, MAX_PATH, L"%ws", installed) != S_OK) {
            continue;
        }
        *wcsrchr(folder, L'\\') = 0;
        // One file that cannot be replaced leaves the installation incomplete, whatever the next does.
        if (!StageForRestart(staged, folder, installed, copy) && result) {
            result = 0;
            firstError = Os().GetLastError();
        }
    }
    if (!result) {
        // The box shows why the first one failed, not how the next went.
        Os().SetLastError(firstError);
    }
    return result;
}
