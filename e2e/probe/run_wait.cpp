// Starts a program, waits for it, and prints its whole exit code: a Unix
// exit status keeps only 8 bits, and the tool's codes (1603, 3010 ...) need more.
//
//   run_wait.exe <timeoutMs> <program> [arguments...]
// prints "exit=<code>", or "exit=timeout" after ending a program that ran too long.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "start_program.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: run_wait <timeoutMs> <program> [arguments...]\n");
        return 2;
    }
    PROCESS_INFORMATION process = {};
    if (!StartProgram(argc, argv, 2, &process)) {
        std::fprintf(stderr, "run_wait: cannot start the program, error %lu\n", GetLastError());
        return 1;
    }
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
