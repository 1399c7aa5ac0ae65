// Holds a file open the way a loaded DLL is held: readable, not writable,
// not deletable. Prints "held" once it holds the file and lets go when the
// release file exists (or after the timeout).
//
//   hold_file.exe <file> <release file> <timeoutMs>
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: hold_file <file> <release file> <timeoutMs>\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_file: cannot open the file, error %lu\n", GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    const unsigned long timeout = std::wcstoul(argv[3], nullptr, 10);
    for (unsigned long waited = 0; waited < timeout && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES;
         waited += 50) {
        Sleep(50);
    }
    CloseHandle(file);
    return 0;
}
