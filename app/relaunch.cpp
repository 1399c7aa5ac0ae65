#include "app/relaunch.h"

#include "common/format.h"
#include "common/globals.h"
#include "common/launch.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/run_options.h"

namespace {

// SYSTEM and Administrators only, owned by Administrators, nothing taken from
// the parent: a process without administrator rights can neither write into
// the folder nor rename or delete it or anything in it.
const WCHAR kProtectedFolder[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// A new folder below the Windows folder's Temp, named after a fresh GUID.
// Users may add to that Temp but not rename or delete what others made
// there; CreateDirectoryW fails on anything that exists under the name, a
// link included, so the folder is the one made here, with the access list above.
DWORD MakeProtectedFolder(WCHAR* folder)
{
    WCHAR windows[MAX_PATH] = {0};
    UINT length = Os().GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return length == 0 ? LastFailure() : ERROR_BUFFER_OVERFLOW;
    }
    GUID guid = {};
    HRESULT created = Os().CoCreateGuid(&guid);
    if (FAILED(created)) {
        return static_cast<DWORD>(created);
    }
    if (FormatBounded(folder, MAX_PATH, L"%ws\\Temp\\unins-%08x%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x", windows,
                      static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                      guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
                      guid.Data4[7]) != S_OK) {
        return ERROR_BUFFER_OVERFLOW;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!Os().ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolder, SDDL_REVISION_1, &descriptor,
                                                                   nullptr)) {
        return LastFailure();
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    BOOL made = Os().CreateDirectoryW(folder, &attributes);
    DWORD error = made ? ERROR_SUCCESS : LastFailure();
    Os().LocalFree(descriptor);
    return error;
}

// Copies the tool into the folder and holds the copy open without write or
// delete sharing, so it stays what was copied until the launch has read it.
DWORD CopyAndHold(LPCWSTR modulePath, LPCWSTR folder, WCHAR* copy, HANDLE* held)
{
    if (Os().GetTempFileNameW(folder, L"unins", 0, copy) == 0) {
        copy[0] = 0;
        return LastFailure();
    }
    if (!Os().CopyFileW(modulePath, copy, FALSE)) {
        return LastFailure();
    }
    *held =
        Os().CreateFileW(copy, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return *held == INVALID_HANDLE_VALUE ? LastFailure() : ERROR_SUCCESS;
}

// The running copy cannot delete itself or its folder: Windows does it at
// the next restart, the file first, then the folder it leaves empty.
void DeleteAtRestart(LPCWSTR copy, LPCWSTR folder)
{
    if (!Os().MoveFileExW(copy, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        LogLine("Delete at restart failed: %ws, errcode:%d.", copy, Os().GetLastError());
    }
    if (!Os().MoveFileExW(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        LogLine("Delete at restart failed: %ws, errcode:%d.", folder, Os().GetLastError());
    }
}

// The run's log switch, written afresh for the copy ("" without one).
void LogSwitch(WCHAR* text, size_t capacity)
{
    FormatBounded(text, capacity, Options.logPath[0] != 0 ? L"/LOG=\"%ws\" " : L"", Options.logPath);
}

// The copy removes the family while this process waits for it; its exit code
// is the outcome. An error only when the copy could not start.
DWORD RunCopyAndWait(LPCWSTR copy, int* outcome)
{
    WCHAR log[MAX_PATH + 16] = {0};
    LogSwitch(log, MAX_PATH + 16);
    const WCHAR* quiet = Options.quiet == QUIET_VERYSILENT ? L"/VERYSILENT "
                         : Options.quiet == QUIET_SILENT   ? L"/SILENT "
                                                           : L"";
    WCHAR commandLine[1024] = {0};
    // /NORESTART, which every switched run accepts, makes the copy's a run whose exit code counts.
    if (FormatBounded(commandLine, 1024, L"\"%ws\" %ws%ws%ws/NORESTART -u %ws", copy, quiet,
                      Options.suppressBoxes ? L"/SUPPRESSMSGBOXES " : L"", log, InstallDirectory) != S_OK) {
        return ERROR_BUFFER_OVERFLOW;
    }
    DWORD exitCode = EXIT_FAILED;
    bool started = false;
    if (!LaunchAndWait(commandLine, &exitCode, &started)) {
        if (!started) {
            return LastFailure();
        }
        LogLine("The uninstaller's copy cannot be waited for, errcode:%d.", LastFailure());
        exitCode = EXIT_FAILED;
    }
    LogLine("The uninstaller's copy ended with %d.", static_cast<int>(exitCode));
    // A copy that crashed or was ended says nothing the table knows: a failure.
    const bool known = exitCode == EXIT_OK || exitCode == EXIT_NOTHING_TO_REMOVE || exitCode == EXIT_CANCELLED ||
                       exitCode == EXIT_FAILED || exitCode == EXIT_ANOTHER_INSTANCE ||
                       exitCode == EXIT_BAD_COMMAND_LINE;
    *outcome = known ? static_cast<int>(exitCode) : EXIT_FAILED;
    if (exitCode != EXIT_OK && exitCode != EXIT_NOTHING_TO_REMOVE) {
        return ERROR_SUCCESS;
    }
    // This process runs from the folder, which cannot go while it does: the
    // copy sends it to the Recycle Bin once this process has ended.
    FormatBounded(commandLine, 1024, L"\"%ws\" /VERYSILENT /SUPPRESSMSGBOXES %ws/RECYCLE=%u -u %ws", copy, log,
                  static_cast<unsigned>(Os().GetCurrentProcessId()), InstallDirectory);
    if (!LaunchProcess(commandLine)) {
        LogLine("The folder %ws is not sent to the Recycle Bin: its hand-over cannot start, errcode:%d.",
                InstallDirectory, LastFailure());
    }
    return ERROR_SUCCESS;
}

} // namespace

DWORD RelaunchFromProtectedCopy(LPCWSTR modulePath, int* outcome)
{
    WCHAR folder[MAX_PATH] = {0};
    if (DWORD error = MakeProtectedFolder(folder)) {
        return error;
    }
    WCHAR copy[MAX_PATH] = {0};
    HANDLE held = INVALID_HANDLE_VALUE;
    DWORD error = CopyAndHold(modulePath, folder, copy, &held);
    if (error == ERROR_SUCCESS && Options.switched) {
        error = RunCopyAndWait(copy, outcome);
    } else if (error == ERROR_SUCCESS) {
        WCHAR commandLine[1024] = {0};
        FormatBounded(commandLine, 1024, L"\"%ws\" -u %ws", copy, InstallDirectory);
        error = LaunchProcess(commandLine) ? ERROR_SUCCESS : LastFailure();
    }
    if (held != INVALID_HANDLE_VALUE) {
        Os().CloseHandle(held);
    }
    if (error == ERROR_SUCCESS) {
        DeleteAtRestart(copy, folder);
        return ERROR_SUCCESS;
    }
    if (copy[0] != 0) {
        Os().DeleteFileW(copy);
    }
    Os().RemoveDirectoryW(folder);
    return error;
}
