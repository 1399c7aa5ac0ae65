#include "common/launch.h"

#include <cstring>

#include "common/format.h"
#include "common/instance_guard.h"
#include "common/platform.h"

namespace {

BOOL Launch(LPCWSTR commandLine, PROCESS_INFORMATION* process)
{
    // CreateProcessW may write into the command line, so it gets a copy.
    WCHAR line[1024] = {0};
    if (FormatBounded(line, 1024, L"%ws", commandLine) != S_OK) {
        // A cut line would name another folder.
        Os().SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    memset(process, 0, sizeof(*process));
    // A hand-over: the process started here is the one that works now.
    ReleaseInstanceGuard();
    if (!Os().CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process)) {
        return FALSE;
    }
    Os().CloseHandle(process->hThread);
    return TRUE;
}

} // namespace

BOOL LaunchProcess(LPCWSTR commandLine)
{
    PROCESS_INFORMATION process;
    if (!Launch(commandLine, &process)) {
        return FALSE;
    }
    Os().CloseHandle(process.hProcess);
    return TRUE;
}

BOOL LaunchAndWait(LPCWSTR commandLine, DWORD* exitCode, bool* started)
{
    PROCESS_INFORMATION process;
    *started = Launch(commandLine, &process) != FALSE;
    if (!*started) {
        return FALSE;
    }
    BOOL ended = Os().WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                 Os().GetExitCodeProcess(process.hProcess, exitCode);
    const DWORD error = ended ? ERROR_SUCCESS : LastFailure();
    Os().CloseHandle(process.hProcess);
    Os().SetLastError(error);
    return ended;
}
