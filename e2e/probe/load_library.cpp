// The control for the planted-DLL check: loads each named DLL the plain way
// (the application's folder first) and prints where it came from.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    for (int i = 1; i < argc; ++i) {
        HMODULE module = LoadLibraryW(argv[i]);
        wchar_t path[MAX_PATH] = L"";
        if (module != nullptr) {
            GetModuleFileNameW(module, path, MAX_PATH);
        }
        char name[MAX_PATH * 3] = "", where[MAX_PATH * 3] = "(not loaded)";
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, name, sizeof(name), nullptr, nullptr);
        if (module != nullptr) {
            WideCharToMultiByte(CP_UTF8, 0, path, -1, where, sizeof(where), nullptr, nullptr);
        }
        std::printf("%s\t%s\n", name, where);
    }
    return 0;
}
