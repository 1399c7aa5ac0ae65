#include "common/format.h"

#include "common/win_format.h"

HRESULT FormatBoundedV(WCHAR* destination, size_t capacity, const WCHAR* format, va_list args)
{
    if (capacity == 0 || capacity > STRSAFE_MAX_CCH || format == nullptr) {
        if (capacity != 0) {
            destination[0] = 0;
        }
        return STRSAFE_E_INVALID_PARAMETER;
    }
    bool truncated = false;
    FormatWindowsV(destination, capacity, format, args, &truncated);
    return truncated ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

HRESULT FormatBounded(WCHAR* destination, size_t capacity, const WCHAR* format, ...)
{
    va_list args;
    va_start(args, format);
    HRESULT result = FormatBoundedV(destination, capacity, format, args);
    va_end(args);
    return result;
}
