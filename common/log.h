// Diagnostic lines for developers, written to the debugger output.
#pragma once

#include "common/wintypes.h"

// templateText is 8-bit text in the ANSI code page; the arguments follow the
// wide conventions (%ws, %d). A line longer than 767 characters is dropped.
void LogLine(const char* templateText, ...);

extern WCHAR LogFormatBuffer[256];
extern WCHAR LogOutputBuffer[768];
