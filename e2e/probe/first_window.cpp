// Measures a GUI program as its user meets it: the time from its start to its
// first window, and its peak working set once its work is done.
//
//   first_window.exe <first caption> <last caption> <answer id> <program> [arguments...]
// starts the program, times until a shown window captioned <first caption>
// appears, waits for one captioned <last caption> (a box at the end of the
// work), reads the program's peak working set, presses <answer id> there and
// waits for the program to end. Prints "first_window_ms=", "peak_working_set=" and "exit=".
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>

#include "start_program.h"

namespace {

const DWORD kPollMs = 2;
const DWORD kTimeoutMs = 60000;

// A shown top-level window of that process with that caption.
HWND FindShown(const wchar_t* caption, DWORD processId)
{
    struct Search {
        const wchar_t* caption;
        DWORD processId;
        HWND found;
    } search{caption, processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            wchar_t text[256] = {};
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->processId || !IsWindowVisible(window) || GetWindowTextW(window, text, 256) == 0 ||
                std::wcscmp(text, s->caption) != 0) {
                return TRUE;
            }
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(const wchar_t* caption, HANDLE process, DWORD processId)
{
    for (DWORD waited = 0; waited < kTimeoutMs; waited += kPollMs) {
        if (HWND window = FindShown(caption, processId)) {
            return window;
        }
        if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
            return nullptr; // ended without showing it
        }
    }
    return nullptr;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: first_window <first caption> <last caption> <answer id> <program> [args]\n");
        return 2;
    }
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, started, shown;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!StartProgram(argc, argv, 4, &process)) {
        std::fprintf(stderr, "first_window: cannot start the program, error %lu\n", GetLastError());
        return 1;
    }
    if (WaitFor(argv[1], process.hProcess, process.dwProcessId) == nullptr) {
        std::fprintf(stderr, "first_window: no window captioned as asked\n");
        TerminateProcess(process.hProcess, 124);
        return 1;
    }
    QueryPerformanceCounter(&shown);
    std::printf("first_window_ms=%lld\n", (shown.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart);
    HWND last = WaitFor(argv[2], process.hProcess, process.dwProcessId);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    const bool measured = last != nullptr && GetProcessMemoryInfo(process.hProcess, &memory, sizeof(memory));
    if (measured) {
        std::printf("peak_working_set=%llu\n", static_cast<unsigned long long>(memory.PeakWorkingSetSize));
        PostMessageW(last, WM_COMMAND, std::wcstoul(argv[3], nullptr, 10), 0);
    }
    if (WaitForSingleObject(process.hProcess, kTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 124);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    std::printf("exit=%lu\n", code);
    // A run that could not be measured is no figure.
    return measured ? 0 : 1;
}
