// Starts the program named by argv[first] with the arguments after it: the
// program quoted, the arguments as given, since the tool reads its own switches.
#pragma once

#include <windows.h>

#include <string>

inline bool StartProgram(int argc, wchar_t** argv, int first, PROCESS_INFORMATION* process)
{
    std::wstring line = L"\"" + std::wstring(argv[first]) + L"\"";
    for (int i = first + 1; i < argc; ++i) {
        line += L" ";
        line += argv[i];
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process)) {
        return false;
    }
    CloseHandle(process->hThread);
    return true;
}
