// The spooler's two-call enumerations: a size query, then the records into a
// zero-filled block of exactly that size.
#pragma once

#include "common/platform.h"

// `enumerate(buffer, size, &needed, &returned)` is one call of the enumeration.
// Returns the block (LocalFree it, or keep it) and sets *count. *count is 0
// when there is nothing to list, and also when the list could not be read:
// then *complete (if given) is false, so a caller never takes a failed read
// for an empty list. A list that grew between the two calls is read again.
template <typename Enumerate> BYTE* EnumerateRecords(Enumerate enumerate, DWORD* count, bool* complete = nullptr)
{
    const int kAttempts = 3;
    *count = 0;
    if (complete != nullptr) {
        *complete = false;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        DWORD needed = 0;
        DWORD returned = 0;
        if (enumerate(nullptr, 0, &needed, &returned)) {
            if (complete != nullptr) {
                *complete = needed == 0;
            }
            return nullptr;
        }
        if (Os().GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
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
            if (complete != nullptr) {
                *complete = true;
            }
            return buffer;
        }
        const bool grew = Os().GetLastError() == ERROR_INSUFFICIENT_BUFFER;
        Os().LocalFree(buffer);
        if (!grew) {
            return nullptr;
        }
    }
    return nullptr;
}
