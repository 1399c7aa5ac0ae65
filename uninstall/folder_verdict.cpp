#include "uninstall/folder_verdict.h"

#include <cwchar>
#include <cwctype>

#include "common/format.h"
#include "common/platform.h"
#include "family/driver_files.h"

namespace {

// Folders whose loss no user expects from a driver's uninstaller.
const KNOWNFOLDERID* const kProtectedFolders[] = {
    &FOLDERID_Windows,         &FOLDERID_UserProfiles, &FOLDERID_Profile,         &FOLDERID_Desktop,
    &FOLDERID_Documents,       &FOLDERID_Downloads,    &FOLDERID_Music,           &FOLDERID_Pictures,
    &FOLDERID_Videos,          &FOLDERID_Public,       &FOLDERID_PublicDesktop,   &FOLDERID_PublicDocuments,
    &FOLDERID_PublicDownloads, &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramData,
};

bool Forbidden(WCHAR c)
{
    return c < 0x20 || wcschr(L"*?\"<>|/:", c) != nullptr;
}

// True when path is folder or lies inside it; both normalised.
bool IsSameOrInside(const WCHAR* path, const WCHAR* folder)
{
    size_t i = 0;
    for (; folder[i] != 0; ++i) {
        if (path[i] == 0 || towlower(path[i]) != towlower(folder[i])) {
            return false;
        }
    }
    return path[i] == 0 || path[i] == L'\\' || folder[i - 1] == L'\\';
}

// A folder the system names, normalised; FALSE when it cannot be known.
BOOL NormalisedKnownFolder(const KNOWNFOLDERID& id, WCHAR* normal, bool* defined)
{
    PWSTR path = nullptr;
    HRESULT result = Os().SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path);
    // Not defined on this machine (no 32-bit Program Files on a 32-bit Windows ...), or
    // defined but not there: nothing to protect either way.
    *defined = result != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) &&
               result != HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) && result != E_INVALIDARG;
    BOOL known = SUCCEEDED(result) && path != nullptr && NormaliseFolderPath(path, normal, MAX_PATH);
    Os().CoTaskMemFree(path);
    return known;
}

// The folder or a folder above it is a reparse point: where it really is
// differs from how it is written.
bool PassesThroughALink(const WCHAR* folder)
{
    WCHAR prefix[MAX_PATH] = {0};
    for (size_t i = 3;; ++i) {
        if (folder[i] == L'\\' || folder[i] == 0) {
            wmemcpy(prefix, folder, i);
            prefix[i] = 0;
            const DWORD attributes = Os().GetFileAttributesW(prefix);
            if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                return true;
            }
        }
        if (folder[i] == 0) {
            return false;
        }
    }
}

// Every account's profile and the folders directly in it (Desktop, Downloads
// ...), whoever runs the tool and wherever that account's own known folders point.
bool IsProfileOrInOne(const WCHAR* folder, const WCHAR* profiles)
{
    if (!IsSameOrInside(folder, profiles)) {
        return false;
    }
    int depth = 0;
    for (const WCHAR* c = folder + wcslen(profiles); *c != 0; ++c) {
        depth += *c == L'\\' ? 1 : 0;
    }
    return depth <= 2;
}

// The reason the folder holds more than the driver, or null.
const WCHAR* HoldsProtectedFolder(const WCHAR* folder)
{
    WCHAR normal[MAX_PATH] = {0};
    WCHAR temp[MAX_PATH] = {0};
    const DWORD tempLength = Os().GetTempPathW(MAX_PATH, temp);
    if (tempLength == 0 || tempLength >= MAX_PATH || !NormaliseFolderPath(temp, normal, MAX_PATH)) {
        return L"the temporary folder is unknown";
    }
    if (IsSameOrInside(normal, folder)) {
        return L"it holds the temporary folder";
    }
    for (const KNOWNFOLDERID* id : kProtectedFolders) {
        bool defined = true;
        if (!NormalisedKnownFolder(*id, normal, &defined)) {
            if (defined || id == &FOLDERID_UserProfiles) {
                return L"a user or shared folder is unknown";
            }
        } else if (IsSameOrInside(normal, folder)) {
            return L"it is or holds a user, shared or program folder";
        } else if (id == &FOLDERID_UserProfiles && IsProfileOrInOne(folder, normal)) {
            return L"it is a profile or a folder directly in one";
        }
    }
    return nullptr;
}

bool HoldsDriverInf(const WCHAR* folder)
{
    WCHAR inf[MAX_PATH] = {0};
    DWORD size = 0;
    return FormatBounded(inf, MAX_PATH, L"%ws\\%ws", folder, DRIVER_INF_FILE) == S_OK &&
           Os().SetupGetInfInformationW(inf, INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &size) && size != 0;
}

} // namespace

BOOL NormaliseFolderPath(const WCHAR* path, WCHAR* normal, size_t capacity)
{
    normal[0] = 0;
    if (path == nullptr || !iswalpha(path[0]) || path[1] != L':' || path[2] != L'\\' || capacity < 4) {
        return FALSE;
    }
    size_t length = 0;
    normal[length++] = static_cast<WCHAR>(towupper(path[0]));
    normal[length++] = L':';
    normal[length++] = L'\\';
    size_t componentStart = length;
    for (const WCHAR* c = path + 3;; ++c) {
        if (*c == L'\\' || *c == 0) {
            const WCHAR* component = normal + componentStart;
            const size_t componentLength = length - componentStart;
            if (componentLength != 0 &&
                (component[componentLength - 1] == L'.' || component[componentLength - 1] == L' ')) {
                normal[0] = 0;
                return FALSE; // ".", "..", and names Windows would silently trim
            }
            if (*c == 0) {
                break;
            }
            if (componentLength != 0) {
                normal[length++] = L'\\';
                componentStart = length;
            }
        } else if (Forbidden(*c) || *c == L'~' || length + 2 >= capacity) {
            normal[0] = 0;
            return FALSE;
        } else {
            normal[length++] = *c;
        }
    }
    if (length > 3 && normal[length - 1] == L'\\') {
        --length;
    }
    normal[length] = 0;
    return TRUE;
}

FolderVerdict JudgeDriverFolder(const WCHAR* folder, const WCHAR** reason)
{
    const WCHAR root[4] = {folder[0], L':', L'\\', 0};
    if (Os().GetDriveTypeW(root) != DRIVE_FIXED) {
        *reason = L"it is not on a local fixed drive";
        return FOLDER_REFUSED;
    }
    const DWORD attributes = Os().GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        *reason = L"it is no folder";
        return FOLDER_REFUSED;
    }
    if (PassesThroughALink(folder)) {
        *reason = L"it is or lies behind a link to another place";
        return FOLDER_REFUSED;
    }
    if (!HoldsDriverInf(folder)) {
        *reason = L"it holds no driver INF";
        return FOLDER_REFUSED;
    }
    // TEMP is the user's to set: it may only ever protect, never open up a folder.
    WCHAR system[MAX_PATH] = {0};
    WCHAR windows[MAX_PATH] = {0};
    const UINT systemLength = Os().GetSystemDirectoryW(system, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH || !NormaliseFolderPath(system, windows, MAX_PATH) ||
        wcsrchr(windows, L'\\') == windows + 2) {
        *reason = L"the Windows folder is unknown";
        return FOLDER_REFUSED;
    }
    *wcsrchr(windows, L'\\') = 0;
    if (IsSameOrInside(folder, windows)) {
        *reason = L"it is in the Windows folder";
        return FOLDER_REFUSED;
    }
    if (folder[3] == 0) {
        *reason = L"it is a drive root";
        return FOLDER_LAYOUT_ONLY;
    }
    *reason = HoldsProtectedFolder(folder);
    return *reason != nullptr ? FOLDER_LAYOUT_ONLY : FOLDER_WHOLE;
}
