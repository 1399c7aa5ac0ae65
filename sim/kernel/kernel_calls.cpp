// Kernel operations of the simulated machine: files, processes, threads,
// memory, time, code pages and debug output.
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "sim/kernel/codepage.h"
#include "sim/sim_platform.h"
#include "sim/kernel/wide.h"

namespace sim {

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

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

bool Failed(DWORD error)
{
    if (error != ERROR_SUCCESS) {
        SetLastErrorCode(error);
        return true;
    }
    return false;
}

} // namespace

void SetLastErrorCode(DWORD error)
{
    t_lastError = error;
}

DWORD LastErrorCode()
{
    return t_lastError;
}

bool SimPlatform::Entered(const char* operation)
{
    // Another process's calls are its own: neither counted nor failed as the tool's.
    if (machine_.ActorActing()) {
        return false;
    }
    machine_.WorkerCall(operation);
    machine_.ActBetweenCalls(operation);
    machine_.CountCall(operation);
    return true;
}

void SimPlatform::Counted(const char* operation)
{
    if (Entered(operation)) {
        machine_.faults.Count(operation);
    }
}

bool SimPlatform::Injected(const char* operation, DWORD* error, const void* site)
{
    if (!Entered(operation)) {
        return false;
    }
    DWORD injected = ERROR_SUCCESS;
    if (!machine_.faults.Check(operation, site, &injected)) {
        return false;
    }
    if (error != nullptr) {
        *error = injected;
    } else {
        SetLastErrorCode(injected);
    }
    return true;
}

void SimPlatform::NotModelled(const char* operation)
{
    machine_.ReportViolation(std::string(operation) + " is not modelled by the simulated machine yet");
    SetLastErrorCode(ERROR_CALL_NOT_IMPLEMENTED);
}

void SimPlatform::GetNativeSystemInfo(LPSYSTEM_INFO info)
{
    Counted("GetNativeSystemInfo");
    std::memset(info, 0, sizeof(*info));
    info->wProcessorArchitecture = machine_.processorArchitecture;
    info->dwPageSize = 4096;
    info->dwNumberOfProcessors = 2;
    info->dwAllocationGranularity = 65536;
}

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
HANDLE SimPlatform::CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (Injected("CreateFileW")) {
        return INVALID_HANDLE_VALUE;
    }
    const bool folder = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    if (path == nullptr || !Volume::IsAbsolute(path) || security != nullptr || templateFile != nullptr ||
        disposition != OPEN_EXISTING || (share & FILE_SHARE_DELETE) != 0 ||
        (folder ? access != FILE_LIST_DIRECTORY : access != GENERIC_READ || (share & FILE_SHARE_WRITE) != 0)) {
        NotModelled("CreateFileW other than holding a folder or a file open");
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
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

UINT SimPlatform::GetSystemWindowsDirectoryW(LPWSTR buffer, UINT capacity)
{
    if (Injected("GetSystemWindowsDirectoryW")) {
        return 0;
    }
    return CopyOut(machine_.windowsDirectory, buffer, capacity);
}

BOOL SimPlatform::CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes)
{
    if (Injected("CreateDirectoryW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    std::optional<SecurityDescriptor> own;
    // Without a descriptor the folder takes what its parent passes on.
    if (attributes != nullptr && attributes->lpSecurityDescriptor != nullptr) {
        own = DescriptorOf(attributes);
        if (!own) {
            SetLastErrorCode(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
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

BOOL SimPlatform::CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                                 LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW startupInfo,
                                 LPPROCESS_INFORMATION processInformation)
{
    if (Injected("CreateProcessW")) {
        return FALSE;
    }
    if (applicationName != nullptr || commandLine == nullptr || startupInfo == nullptr ||
        startupInfo->cb != sizeof(STARTUPINFOW) || processInformation == nullptr) {
        machine_.ReportViolation("CreateProcessW called other than with a command line alone and a sized STARTUPINFOW");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Failed(machine_.Launch(commandLine))) {
        return FALSE;
    }
    processInformation->hProcess = machine_.NewHandle(HandleKind::Process);
    processInformation->hThread = machine_.NewHandle(HandleKind::Thread);
    processInformation->dwProcessId = 0x1000 + static_cast<DWORD>(machine_.Launches().size()) * 4;
    processInformation->dwThreadId = processInformation->dwProcessId + 2;
    return TRUE;
}

BOOL SimPlatform::CloseHandle(HANDLE handle)
{
    if (Injected("CloseHandle")) {
        return FALSE;
    }
    if (!machine_.CloseHandle(handle)) {
        machine_.ReportViolation("CloseHandle of a handle that is not open");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE SimPlatform::CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE routine, LPVOID parameter,
                                 DWORD flags, LPDWORD threadId)
{
    if (Injected("CreateThread")) {
        return nullptr;
    }
    if (flags != 0) {
        machine_.ReportViolation("CreateThread with creation flags the machine does not model");
    }
    HANDLE handle = machine_.StartThread(routine, parameter);
    if (handle == nullptr) {
        SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
    } else if (threadId != nullptr) {
        *threadId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle));
    }
    return handle;
}

void SimPlatform::Sleep(DWORD milliseconds)
{
    Counted("Sleep");
    machine_.clock.Advance(milliseconds);
    if (!machine_.ActorActing()) {
        machine_.CheckTime();
    }
}

DWORD SimPlatform::GetLastError()
{
    return t_lastError;
}

void SimPlatform::SetLastError(DWORD error)
{
    t_lastError = error;
}

HLOCAL SimPlatform::LocalAlloc(UINT flags, SIZE_T bytes)
{
    if (Injected("LocalAlloc")) {
        return nullptr;
    }
    void* block =
        (flags & LMEM_ZEROINIT) ? std::calloc(bytes == 0 ? 1 : bytes, 1) : std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    machine_.TrackBlock(block);
    return block;
}

HLOCAL SimPlatform::LocalFree(HLOCAL block)
{
    Counted("LocalFree");
    if (block == nullptr) {
        return nullptr;
    }
    if (!machine_.UntrackBlock(block)) {
        machine_.ReportViolation("LocalFree of a block that is not allocated");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return block;
    }
    std::free(block);
    return nullptr;
}

int SimPlatform::MultiByteToWideChar(UINT codePage, DWORD, LPCCH source, int sourceBytes, LPWSTR target,
                                     int targetChars)
{
    if (Injected("MultiByteToWideChar")) {
        return 0;
    }
    if (codePage != CP_ACP || source == nullptr || sourceBytes == 0 || targetChars < 0) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = sourceBytes < 0 ? std::strlen(source) + 1 : static_cast<size_t>(sourceBytes);
    if (targetChars == 0) {
        return static_cast<int>(length);
    }
    if (length > static_cast<size_t>(targetChars)) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < length; ++i) {
        target[i] = DecodeAnsi(static_cast<unsigned char>(source[i]));
    }
    return static_cast<int>(length);
}

int SimPlatform::WideCharToMultiByte(UINT codePage, DWORD, LPCWCH source, int sourceChars, LPSTR target,
                                     int targetBytes, LPCCH defaultChar, LPBOOL usedDefault)
{
    if (Injected("WideCharToMultiByte")) {
        return 0;
    }
    if (codePage != CP_ACP || source == nullptr || sourceChars == 0 || targetBytes < 0) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    if (sourceChars < 0) {
        while (source[length] != 0) {
            ++length;
        }
        ++length;
    } else {
        length = static_cast<size_t>(sourceChars);
    }
    if (targetBytes != 0 && length > static_cast<size_t>(targetBytes)) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    bool substituted = false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char byte = 0;
        if (!EncodeAnsi(source[i], &byte)) {
            byte = static_cast<unsigned char>(defaultChar != nullptr ? *defaultChar : '?');
            substituted = true;
        }
        if (targetBytes != 0) {
            target[i] = static_cast<char>(byte);
        }
    }
    if (usedDefault != nullptr) {
        *usedDefault = substituted ? TRUE : FALSE;
    }
    return static_cast<int>(length);
}

BOOL SimPlatform::SystemTimeToFileTime(const SYSTEMTIME* time, LPFILETIME fileTime)
{
    if (Injected("SystemTimeToFileTime")) {
        return FALSE;
    }
    static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = time->wYear;
    int month = time->wMonth;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || time->wDay < 1 ||
        time->wDay > kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0) || time->wHour > 23 || time->wMinute > 59 ||
        time->wSecond > 59 || time->wMilliseconds > 999) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Days from 1601-01-01 by the civil-from-days rule.
    int y = month <= 2 ? year - 1 : year;
    int era = y / 400;
    int yearOfEra = y - era * 400;
    int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + time->wDay - 1;
    int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    int64_t daysSince0000 = static_cast<int64_t>(era) * 146097 + dayOfEra;
    const int64_t kDaysTo1601 = 584694; // the same count for 1601-01-01
    int64_t days = daysSince0000 - kDaysTo1601;
    uint64_t ticks = static_cast<uint64_t>(days) * 864000000000ull +
                     (static_cast<uint64_t>(time->wHour) * 3600 + time->wMinute * 60 + time->wSecond) * 10000000ull +
                     static_cast<uint64_t>(time->wMilliseconds) * 10000ull;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

void SimPlatform::OutputDebugStringW(LPCWSTR text)
{
    Counted("OutputDebugStringW");
    machine_.debug.Write(text != nullptr ? text : L"");
}

} // namespace sim
