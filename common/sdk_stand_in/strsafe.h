// Stand-in for strsafe.h: the bounded string functions' limits and results.
#pragma once

#include "common/sdk_stand_in/windef.h"

#define STRSAFE_MAX_CCH 2147483647
#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)
#define STRSAFE_E_INVALID_PARAMETER ((HRESULT)0x80070057L)
