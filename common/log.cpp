#include "common/log.h"

#include <cstdarg>
#include <cstring>

#include "common/platform.h"
#include "common/run_log.h"
#include "common/win_format.h"

WCHAR LogFormatBuffer[256];
WCHAR LogOutputBuffer[768];

void LogLine(const char* templateText, ...)
{
    const size_t formatCapacity = sizeof(LogFormatBuffer) / sizeof(WCHAR);
    const size_t outputCapacity = sizeof(LogOutputBuffer) / sizeof(WCHAR);
    if (templateText == nullptr || strnlen(templateText, formatCapacity) == formatCapacity) {
        return;
    }
    if (Os().MultiByteToWideChar(CP_ACP, 0, templateText, -1, LogFormatBuffer, static_cast<int>(formatCapacity)) == 0) {
        return;
    }

    va_list args;
    va_start(args, templateText);
    bool truncated = false;
    FormatWindowsV(LogOutputBuffer, outputCapacity, LogFormatBuffer, args, &truncated);
    va_end(args);
    if (truncated) {
        // A cut line would mislead more than a missing one.
        LogOutputBuffer[outputCapacity - 1] = 0;
        return;
    }
    Os().OutputDebugStringW(LogOutputBuffer);
    Os().OutputDebugStringW(L"\n");
    WriteRunLog(LogOutputBuffer);
}
