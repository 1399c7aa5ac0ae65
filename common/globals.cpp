#include "common/globals.h"

HINSTANCE InstanceHandle;
WCHAR InstallDirectory[MAX_PATH];
WCHAR TextBufferA[1024];
WCHAR TextBufferB[1024];
BOOL RestartRequired;
