// The Windows names the logic is written against: the SDK's own headers on
// Windows, a stand-in with the same names and values elsewhere.
#pragma once

#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winspool.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <newdev.h>
#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>
#include <objbase.h>
#include <sddl.h>
#include <aclapi.h>
#ifndef UPDP_UI_PROMPT
#define UPDP_SILENT_UPLOAD 0x00000001
#define UPDP_UI_PROMPT 0x00000002
#define UPDP_CHECK_DRIVERSTORE 0x00000004
#endif
#ifndef STRSAFE_MAX_CCH
#define STRSAFE_MAX_CCH 2147483647
#endif
#ifndef STRSAFE_E_INSUFFICIENT_BUFFER
#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)
#endif
#ifndef STRSAFE_E_INVALID_PARAMETER
#define STRSAFE_E_INVALID_PARAMETER ((HRESULT)0x80070057L)
#endif
#else
#include "common/sdk_stand_in/windef.h"
#include "common/sdk_stand_in/winerror.h"
#include "common/sdk_stand_in/winbase.h"
#include "common/sdk_stand_in/winreg.h"
#include "common/sdk_stand_in/winsvc.h"
#include "common/sdk_stand_in/winspool.h"
#include "common/sdk_stand_in/setupapi.h"
#include "common/sdk_stand_in/cfgmgr32.h"
#include "common/sdk_stand_in/newdev.h"
#include "common/sdk_stand_in/shellapi.h"
#include "common/sdk_stand_in/shlobj.h"
#include "common/sdk_stand_in/winuser.h"
#include "common/sdk_stand_in/commctrl.h"
#include "common/sdk_stand_in/sddl.h"
#include "common/sdk_stand_in/aclapi.h"
#include "common/sdk_stand_in/strsafe.h"
#endif
