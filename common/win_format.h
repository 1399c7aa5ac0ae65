// The formatter with the Windows wide conventions (%ws, %d, %x, %.32ws,
// %04x, %.3d ...), shared by both hosts: the C library's wide printf gives
// %s and %ws other meanings on Linux, so the product carries its own.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "common/wintypes.h"

// Writes at most capacity - 1 characters and a terminator (capacity >= 1).
// Returns the number of characters written; *truncated tells whether the
// whole text did not fit.
size_t FormatWindowsV(WCHAR* destination, size_t capacity, const WCHAR* format, va_list args, bool* truncated);
