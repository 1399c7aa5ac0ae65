// Starts a program, waits for it, and prints its whole exit code: a Unix
// exit status keeps only 8 bits, and the tool's codes (1603, 3010 ...) need more.
//
//   run_wait.exe <timeoutMs> <program> [arguments...]
// prints "exit=<code>", or "exit=timeout" after ending a program that ran too long.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: run_wait <timeoutMs> <program> [arguments...]\n");
        return 2;
    }
    // The program quoted, the arguments as given: the tool reads its own switches.
    std::wstring line = L"\"" + std::wstring(argv[2]) + L"\"";
    for (int i = 3; i < argc; ++i) {
        line += L" ";
        line += argv[i];
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "run_wait: cannot start the program, error %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, std::wcstoul(argv[1], nullptr, 10)) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 124);
        std::printf("exit=timeout\n");
        return 0;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    std::printf("exit=%lu\n", code);
    return 0;
}
