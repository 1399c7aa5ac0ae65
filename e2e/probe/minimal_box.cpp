// The yardstick for the tool's start: the least a MinGW GUI program can do,
// one message box, built and linked as the tool is.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    MessageBoxW(nullptr, L"A minimal program.", L"Minimal", MB_OK);
    return 0;
}
