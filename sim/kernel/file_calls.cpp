// File and folder operations of the simulated machine, over its volume.
#include <cstring>
#include <cwctype>

#include "sim/kernel/wide.h"
#include "sim/sim_platform.h"

namespace sim {

namespace {

// Writes text and terminator if they fit; the length written, or the size
// needed (terminator included) when they do not.
DWORD CopyOut(const std::wstring& text, LPWSTR buffer, DWORD capacity)
{
    if (buffer == nullptr || capacity < text.size() + 1) {
        return static_cast<DWORD>(text.size() + 1);
    }
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    return static_cast<DWORD>(text.size());
}

} // namespace

DWORD SimPlatform::GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    if (Injected("GetModuleFileNameW")) {
        return 0;
    }
    const ProcessContext& process = machine_.CurrentProcess();
    if (module != nullptr && module != process.instance) {
        SetLastErrorCode(126); // ERROR_MOD_NOT_FOUND
        return 0;
    }
    const std::wstring& path = process.imagePath;
    if (size == 0) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > size) {
        // Cut and terminated, as Windows does since Vista.
        std::memcpy(buffer, path.c_str(), (size - 1) * sizeof(WCHAR));
        buffer[size - 1] = 0;
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    SetLastErrorCode(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

DWORD SimPlatform::GetTempPathW(DWORD capacity, LPWSTR buffer)
{
    if (Injected("GetTempPathW")) {
        return 0;
    }
    return CopyOut(machine_.tempPath, buffer, capacity);
}

UINT SimPlatform::GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefix, UINT unique, LPWSTR tempFileName)
{
    if (Injected("GetTempFileNameW")) {
        return 0;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    std::wstring folder = pathName != nullptr ? pathName : L"";
    if (!Volume::IsAbsolute(folder) || !machine_.volume.DirectoryExists(folder)) {
        SetLastErrorCode(ERROR_DIRECTORY);
        return 0;
    }
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    std::wstring start = BoundedText(prefix != nullptr ? prefix : L"", 3);
    if (folder.size() + start.size() + 8 >= MAX_PATH) {
        SetLastErrorCode(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        unsigned number = (unique != 0 ? unique : machine_.NextTempUnique()) & 0xFFFF;
        if (number == 0) {
            continue;
        }
        wchar_t hex[8];
        swprintf(hex, 8, L"%X", number);
        std::wstring path = folder + start + hex + L".tmp";
        if (unique != 0) {
            // With a caller's number nothing is created or checked.
            std::memcpy(tempFileName, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
            return number;
        }
        DWORD error = machine_.volume.CreateNewFile(path, &machine_.CallerToken());
        if (error == ERROR_SUCCESS) {
            std::memcpy(tempFileName, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
            return number;
        }
        if (error != ERROR_FILE_EXISTS) {
            SetLastErrorCode(error);
            return 0;
        }
    }
    SetLastErrorCode(ERROR_FILE_EXISTS);
    return 0;
}

UINT SimPlatform::GetSystemDirectoryW(LPWSTR buffer, UINT capacity)
{
    if (Injected("GetSystemDirectoryW")) {
        return 0;
    }
    return CopyOut(machine_.systemDirectory, buffer, capacity);
}

UINT SimPlatform::GetSystemWindowsDirectoryW(LPWSTR buffer, UINT capacity)
{
    if (Injected("GetSystemWindowsDirectoryW")) {
        return 0;
    }
    return CopyOut(machine_.windowsDirectory, buffer, capacity);
}

BOOL SimPlatform::CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists)
{
    if (Injected("CopyFileW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (Failed(machine_.volume.Copy(existing, target, failIfExists != FALSE, &machine_.CallerToken()))) {
        return FALSE;
    }
    SetLastErrorCode(ERROR_SUCCESS);
    return TRUE;
}

DWORD SimPlatform::GetFileAttributesW(LPCWSTR path)
{
    if (Injected("GetFileAttributesW")) {
        return INVALID_FILE_ATTRIBUTES;
    }
    if (path == nullptr || !Volume::IsAbsolute(path)) {
        machine_.ReportViolation("GetFileAttributesW of a relative path or none: it depends on the current folder");
        SetLastErrorCode(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    DWORD error = ERROR_SUCCESS;
    DWORD attributes = machine_.volume.Attributes(path, &error);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        SetLastErrorCode(error);
    }
    return attributes;
}

// Only the read-only attribute is modelled; the others are kept as they are.
BOOL SimPlatform::SetFileAttributesW(LPCWSTR path, DWORD attributes)
{
    if (Injected("SetFileAttributesW")) {
        return FALSE;
    }
    if (path == nullptr || !Volume::IsAbsolute(path)) {
        machine_.ReportViolation("SetFileAttributesW of a relative path or none: it depends on the current folder");
        SetLastErrorCode(ERROR_INVALID_NAME);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    DWORD error = ERROR_SUCCESS;
    if (machine_.volume.Attributes(path, &error) == INVALID_FILE_ATTRIBUTES) {
        SetLastErrorCode(error);
        return FALSE;
    }
    const std::optional<SecurityDescriptor> security = machine_.volume.Security(path);
    if ((GrantedAccess(*security, machine_.CallerToken()) & FILE_WRITE_ATTRIBUTES) == 0) {
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    machine_.volume.SetReadOnly(path, (attributes & FILE_ATTRIBUTE_READONLY) != 0);
    return TRUE;
}

// Only what the tool does: open an existing folder, or an existing file for
// reading, to hold it: without FILE_SHARE_DELETE, and for a file without
// FILE_SHARE_WRITE. Files are otherwise opened by the operations that use them.
namespace {

// The two ways the tool opens a file: held for reading without write or
// delete sharing, or for appending with every sharing (its log).
const DWORD kAppendAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

HANDLE SimPlatform::CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (Injected("CreateFileW")) {
        return INVALID_HANDLE_VALUE;
    }
    const bool folder = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    const bool openLink = (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
    const bool append = !folder && access == kAppendAccess && share == kShareAll && disposition == OPEN_ALWAYS;
    if (path == nullptr || !Volume::IsAbsolute(path) || security != nullptr || templateFile != nullptr ||
        (!append &&
         (disposition != OPEN_EXISTING || (share & FILE_SHARE_DELETE) != 0 ||
          (folder ? access != FILE_LIST_DIRECTORY : access != GENERIC_READ || (share & FILE_SHARE_WRITE) != 0)))) {
        NotModelled("CreateFileW other than holding a folder or a file open, or appending to a file");
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (append) {
        const bool existed = machine_.volume.FileExists(path);
        Volume::FileId file = 0;
        if (Failed(machine_.volume.OpenForAppend(path, openLink, &machine_.CallerToken(), &file))) {
            return INVALID_HANDLE_VALUE;
        }
        SetLastErrorCode(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return machine_.OpenFile(file);
    }
    DWORD error = ERROR_SUCCESS;
    const DWORD attributes = machine_.volume.Attributes(path, &error);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        SetLastErrorCode(error);
        return INVALID_HANDLE_VALUE;
    }
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != folder) {
        // A folder without backup semantics, or a file with them.
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return folder ? machine_.HoldFolder(path) : machine_.HoldFile(path);
}

BOOL SimPlatform::WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (written != nullptr) {
        *written = 0;
    }
    if (Injected("WriteFile")) {
        return FALSE;
    }
    if (overlapped != nullptr || written == nullptr || (buffer == nullptr && bytes != 0)) {
        NotModelled("WriteFile other than a plain write with a count of bytes written");
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    bool appending = false;
    const std::optional<Volume::FileId> opened = machine_.FileOf(file, &appending);
    if (!opened) {
        machine_.ReportViolation("WriteFile on a handle that is not an open file");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!appending) {
        SetLastErrorCode(ERROR_ACCESS_DENIED); // opened for reading only
        return FALSE;
    }
    machine_.volume.Append(*opened, std::string(static_cast<const char*>(buffer), bytes));
    *written = bytes;
    return TRUE;
}

std::optional<Volume::FileFacts> SimPlatform::FactsOfHandle(HANDLE handle, const char* operation)
{
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    bool appending = false;
    const std::optional<Volume::FileId> opened = machine_.FileOf(handle, &appending);
    if (!opened) {
        machine_.ReportViolation(std::string(operation) + " on a handle that is not an open file or folder");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    std::optional<Volume::FileFacts> facts = machine_.volume.Facts(*opened);
    if (!facts) {
        SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    }
    return facts;
}

BOOL SimPlatform::GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    if (Injected("GetFileInformationByHandle")) {
        return FALSE;
    }
    const std::optional<Volume::FileFacts> facts = FactsOfHandle(file, "GetFileInformationByHandle");
    if (!facts || information == nullptr) {
        return FALSE;
    }
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = facts->attributes;
    information->nFileSizeHigh = static_cast<DWORD>(facts->size >> 32);
    information->nFileSizeLow = static_cast<DWORD>(facts->size & 0xFFFFFFFFu);
    information->nNumberOfLinks = facts->links;
    return TRUE;
}

DWORD SimPlatform::GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD capacity, DWORD flags)
{
    if (Injected("GetFinalPathNameByHandleW")) {
        return 0;
    }
    if (flags != FILE_NAME_NORMALIZED) {
        NotModelled("GetFinalPathNameByHandleW other than the normalised path with its drive");
        return 0;
    }
    const std::optional<Volume::FileFacts> facts = FactsOfHandle(file, "GetFinalPathNameByHandleW");
    if (!facts) {
        return 0;
    }
    return CopyOut(facts->finalPath, path, capacity);
}

BOOL SimPlatform::CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    if (Injected("CreateDirectoryW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    // Without a descriptor the folder takes what its parent passes on.
    std::optional<SecurityDescriptor> own;
    if (!CallerDescriptor(attributes, &own)) {
        return FALSE;
    }
    DWORD error =
        machine_.volume.MakeDirectory(path != nullptr ? path : L"", own ? &*own : nullptr, &machine_.CallerToken());
    return Failed(error) ? FALSE : TRUE;
}

BOOL SimPlatform::RemoveDirectoryW(LPCWSTR path)
{
    if (Injected("RemoveDirectoryW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return Failed(machine_.volume.RemoveDirectory(path != nullptr ? path : L"", &machine_.CallerToken())) ? FALSE
                                                                                                          : TRUE;
}

// Drive roots ("C:\\") and share roots ("\\\\server\\share\\"); a share is remote.
UINT SimPlatform::GetDriveTypeW(LPCWSTR root)
{
    Counted("GetDriveTypeW");
    if (root == nullptr) {
        machine_.ReportViolation("GetDriveTypeW without a root: it depends on the current folder");
        return DRIVE_NO_ROOT_DIR;
    }
    const std::wstring text(root);
    if (text.size() > 2 && text[0] == L'\\' && text[1] == L'\\') {
        return DRIVE_REMOTE;
    }
    if (text.size() != 3 || text[1] != L':' || text[2] != L'\\') {
        return DRIVE_NO_ROOT_DIR;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    auto found = machine_.driveTypes.find(static_cast<wchar_t>(towupper(text[0])));
    return found == machine_.driveTypes.end() ? DRIVE_NO_ROOT_DIR : found->second;
}

BOOL SimPlatform::DeleteFileW(LPCWSTR path)
{
    if (Injected("DeleteFileW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return Failed(machine_.volume.Delete(path, &machine_.CallerToken())) ? FALSE : TRUE;
}

BOOL SimPlatform::MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags)
{
    if (Injected("MoveFileExW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    return Failed(machine_.volume.Move(existing, target != nullptr ? target : L"", flags, &machine_.CallerToken()))
               ? FALSE
               : TRUE;
}

} // namespace sim
