#include "common/path.h"

namespace {

bool CopyPart(WCHAR* destination, size_t capacity, LPCWSTR begin, LPCWSTR end)
{
    size_t length = static_cast<size_t>(end - begin);
    if (length >= capacity) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        destination[i] = begin[i];
    }
    destination[length] = 0;
    return true;
}

} // namespace

BOOL SplitPath(LPCWSTR path, WCHAR* drive, size_t driveCapacity, WCHAR* directory, size_t directoryCapacity,
               WCHAR* name, size_t nameCapacity, WCHAR* extension, size_t extensionCapacity)
{
    LPCWSTR end = path;
    while (*end != 0) {
        ++end;
    }
    LPCWSTR directoryStart = (path[0] != 0 && path[1] == L':') ? path + 2 : path;
    LPCWSTR nameStart = directoryStart;
    for (LPCWSTR p = directoryStart; p < end; ++p) {
        if (*p == L'\\' || *p == L'/') {
            nameStart = p + 1;
        }
    }
    LPCWSTR extensionStart = end;
    for (LPCWSTR p = nameStart; p < end; ++p) {
        if (*p == L'.') {
            extensionStart = p;
        }
    }
    if (CopyPart(drive, driveCapacity, path, directoryStart) &&
        CopyPart(directory, directoryCapacity, directoryStart, nameStart) &&
        CopyPart(name, nameCapacity, nameStart, extensionStart) &&
        CopyPart(extension, extensionCapacity, extensionStart, end)) {
        return TRUE;
    }
    drive[0] = directory[0] = name[0] = extension[0] = 0;
    return FALSE;
}
