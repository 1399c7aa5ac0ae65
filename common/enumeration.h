// The spooler's two-call enumerations: a size query, then the records into a
// zero-filled block of exactly that size.
#pragma once

#include "common/platform.h"

// `enumerate(buffer, size, &needed, &returned)` is one call of the enumeration.
// Returns the block (LocalFree it, or keep it) and sets *count; *count is 0
// when the size is 0, the block cannot be had, or the second call fails (the
// list grew meanwhile), so the records are never read past the block.
template <typename Enumerate> BYTE* EnumerateRecords(Enumerate enumerate, DWORD* count)
{
    DWORD needed = 0;
    DWORD returned = 0;
    *count = 0;
    enumerate(nullptr, 0, &needed, &returned);
    if (needed == 0) {
        return nullptr;
    }
    auto* buffer = static_cast<BYTE*>(Os().LocalAlloc(LPTR, needed));
    if (buffer == nullptr) {
        return nullptr;
    }
    const DWORD size = needed;
    returned = 0;
    if (enumerate(buffer, size, &needed, &returned)) {
        *count = returned;
    }
    return buffer;
}
