// The driver family's file names and fixed registration values.
#pragma once

#include "common/wintypes.h"

#define DRIVER_INF_FILE L"qxvprtv6.inf"
#define DRIVER_RENDER_DLL L"qxvprtdrv6.dll"
#define DRIVER_CONFIG_DLL L"qxvprtdrv6ui.dll"
#define DRIVER_DATA_FILE L"qxvprtdrv6.dat"
#define DRIVER_MONITOR_DLL L"qxvprtmon.dll"
#define DRIVER_MONITOR_NAME L"Language Monitor"
#define DRIVER_PRINT_PROCESSOR L"WinPrint"
#define DRIVER_DATA_TYPE L"RAW"
#define DRIVER_PROVIDER L"Velmora Imaging Co., LTD."
// 8-bit, read with "%d.%d.%d.%d": year, month, day and build.
#define DRIVER_VERSION_TEXT "2024.07.31.1"
