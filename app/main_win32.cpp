// GUI entry point of PrinterSetup.exe.
#include "app/startup.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    InitWin32Platform();
    SetPlatform(&Win32Platform());
    return RunStartup(instance, commandLine);
}
