// A DLL planted under a system DLL's name next to the tool: whichever process
// loads it appends its own path to C:\planted-dll-loads.txt. It exports
// nothing the real DLL has.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        char line[MAX_PATH + 2] = "?";
        DWORD length = GetModuleFileNameA(instance, line, MAX_PATH);
        line[length++] = '\n';
        HANDLE file = CreateFileA("C:\\planted-dll-loads.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            SetFilePointer(file, 0, nullptr, FILE_END);
            DWORD written = 0;
            WriteFile(file, line, length, &written, nullptr);
            CloseHandle(file);
        }
    }
    return TRUE;
}
