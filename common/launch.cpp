#include "common/launch.h"

#include <cstring>

#include "common/format.h"
#include "common/instance_guard.h"
#include "common/platform.h"

BOOL LaunchProcess(LPCWSTR commandLine)
{
    // CreateProcessW may write into the command line, so it gets a copy.
    WCHAR line[1024] = {0};
    FormatBounded(line, 1024, L"%ws", commandLine);
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof(process));
    // A hand-over: the process started here is the one that works now.
    ReleaseInstanceGuard();
    if (!Os().CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return FALSE;
    }
    Os().CloseHandle(process.hThread);
    Os().CloseHandle(process.hProcess);
    return TRUE;
}
