// Bounded formatting with the StringCchPrintfW contract.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "common/wintypes.h"

// capacity in characters. 0 or more than STRSAFE_MAX_CCH: STRSAFE_E_INVALID_PARAMETER
// (the first character is terminated when capacity is non-zero). Otherwise at most
// capacity - 1 characters and a terminator; S_OK, or STRSAFE_E_INSUFFICIENT_BUFFER
// when the text was cut.
HRESULT FormatBounded(WCHAR* destination, size_t capacity, const WCHAR* format, ...);
HRESULT FormatBoundedV(WCHAR* destination, size_t capacity, const WCHAR* format, va_list args);
