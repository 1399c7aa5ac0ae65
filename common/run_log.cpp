#include "common/run_log.h"

#include <cstdarg>
#include <cwchar>

#include "common/format.h"
#include "common/log.h"
#include "common/platform.h"

const WCHAR kRunLogName[] = L"PrinterSetup.log";
RunLogState RunLog = {INVALID_HANDLE_VALUE, 0, false, false};

namespace {

// Where a handle leads, "\\?\C:\..." or "\\?\UNC\server\share\...".
const DWORD kFinalPathChars = MAX_PATH + 16;

// The uninstall worker may log while the dialog's thread ends the run: each
// entry is put together on its writer's stack, the counters change atomically,
// and one WriteFile appends one whole entry.
const size_t kEntryChars = 1200;

DWORD BytesWritten()
{
    return __atomic_load_n(&RunLog.bytes, __ATOMIC_RELAXED);
}

bool Flag(const bool* flag)
{
    return __atomic_load_n(flag, __ATOMIC_RELAXED);
}

void Raise(bool* flag)
{
    __atomic_store_n(flag, true, __ATOMIC_RELAXED);
}

bool IsSeparator(WCHAR c)
{
    return c == L'\\' || c == L'/';
}

// "C:\" or "\\server\share\": where a full path starts. 0 for anything else
// (a relative path, a device path such as "\\?\" or "\\.\").
size_t RootLength(LPCWSTR path)
{
    const bool letter = (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
    if (letter && path[1] == L':' && IsSeparator(path[2])) {
        return 3;
    }
    if (!IsSeparator(path[0]) || !IsSeparator(path[1]) || path[2] == 0 || IsSeparator(path[2]) || path[2] == L'?' ||
        path[2] == L'.') {
        return 0;
    }
    int separators = 0;
    for (size_t at = 3; path[at] != 0; ++at) {
        if (IsSeparator(path[at]) && ++separators == 2) {
            return IsSeparator(path[at - 1]) ? 0 : at + 1;
        }
    }
    return 0;
}

// Where the file's name starts, or 0 when the path names no file.
size_t NameStart(LPCWSTR path, size_t length)
{
    size_t name = length;
    while (name > 0 && !IsSeparator(path[name - 1])) {
        --name;
    }
    return name;
}

// Holds the log's folder open without delete sharing: while it is held,
// neither it nor a folder above it can be renamed or replaced.
HANDLE HoldFolder(const WCHAR* folder)
{
    return Os().CreateFileW(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Where a handle really leads, as the file system spells it; false when unknown.
bool FinalPath(HANDLE handle, WCHAR* path)
{
    const DWORD length = Os().GetFinalPathNameByHandleW(handle, path, kFinalPathChars, FILE_NAME_NORMALIZED);
    return length != 0 && length < kFinalPathChars;
}

// Opens the log in the held folder: a plain file of one name, that really is
// in that folder (a path looked up again cannot be steered elsewhere), never
// what a link leads to. Returns the handle and its size, or
// INVALID_HANDLE_VALUE with the reason.
HANDLE OpenIn(const WCHAR* heldPath, const WCHAR* path, DWORD* size, const WCHAR** reason)
{
    // Nothing is cut on opening: a file that is not plain stays as it was.
    HANDLE file = Os().CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *reason = L"it cannot be opened";
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION facts = {};
    WCHAR filePath[kFinalPathChars] = {0};
    const size_t heldLength = wcslen(heldPath);
    if (!Os().GetFileInformationByHandle(file, &facts) || !FinalPath(file, filePath)) {
        *reason = L"it cannot be examined";
    } else if ((facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *reason = L"it is a link or a reparse point";
    } else if ((facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *reason = L"it is a folder";
    } else if (facts.nNumberOfLinks != 1) {
        *reason = L"the file has another name (a hard link)";
    } else if (wcsncmp(filePath, heldPath, heldLength) != 0 || !IsSeparator(filePath[heldLength]) ||
               NameStart(filePath, wcslen(filePath)) != heldLength + 1) {
        *reason = L"it is not in its folder (a link on the way leads elsewhere)";
    } else {
        *reason = nullptr;
        *size = facts.nFileSizeHigh != 0 ? 0xFFFFFFFFu : facts.nFileSizeLow;
        return file;
    }
    Os().CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

// Opens the log at path, making way for this run when it is full: the file
// becomes "<file>.old" (the name is replaced, never written through) while
// the folder is still held. Returns the handle and its size, or
// INVALID_HANDLE_VALUE with the reason.
HANDLE OpenPlainFile(const WCHAR* path, DWORD* size, const WCHAR** reason)
{
    const size_t name = NameStart(path, wcslen(path));
    const size_t root = RootLength(path);
    WCHAR folder[MAX_PATH] = {0};
    wmemcpy(folder, path, name > root ? name - 1 : root);
    HANDLE held = HoldFolder(folder);
    if (held == INVALID_HANDLE_VALUE && Os().CreateDirectoryW(folder, nullptr)) {
        held = HoldFolder(folder);
    }
    if (held == INVALID_HANDLE_VALUE) {
        *reason = L"its folder cannot be opened";
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION facts = {};
    WCHAR heldPath[kFinalPathChars] = {0};
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!Os().GetFileInformationByHandle(held, &facts) || !FinalPath(held, heldPath)) {
        *reason = L"its folder cannot be examined";
    } else if ((facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *reason = L"its folder is a link or a reparse point";
    } else {
        file = OpenIn(heldPath, path, size, reason);
    }
    if (file != INVALID_HANDLE_VALUE && *size >= kRunLogRotateBytes) {
        Os().CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        WCHAR older[MAX_PATH] = {0};
        if (FormatBounded(older, MAX_PATH, L"%ws.old", path) != S_OK ||
            !Os().MoveFileExW(path, older, MOVEFILE_REPLACE_EXISTING)) {
            *reason = L"it is full and cannot make way";
        } else {
            file = OpenIn(heldPath, path, size, reason);
        }
    }
    Os().CloseHandle(held);
    if (file != INVALID_HANDLE_VALUE && *size >= kRunLogRotateBytes) {
        Os().CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        *reason = L"it is full";
    }
    return file;
}

} // namespace

bool IsRunLogPath(LPCWSTR path)
{
    const size_t length = wcsnlen(path, MAX_PATH);
    const size_t root = RootLength(path);
    const size_t name = NameStart(path, length);
    // Room for ".old"; a name, not a folder; no stream (":"), no wildcard, and
    // no trailing dot or blank, which Windows would drop and so name another file.
    if (root == 0 || length + 4 >= MAX_PATH || name == length || name < root || path[length - 1] == L'.' ||
        path[length - 1] == L' ') {
        return false;
    }
    for (size_t at = root; at < length; ++at) {
        if (wcschr(L":*?\"<>|", path[at]) != nullptr || path[at] < 0x20) {
            return false;
        }
    }
    return true;
}

namespace {

bool Put(const char* bytes, DWORD count)
{
    DWORD written = 0;
    if (!Os().WriteFile(RunLog.file, bytes, count, &written, nullptr) || written != count) {
        // A log that fails once is not trusted with the rest of the run.
        Raise(&RunLog.failed);
        return false;
    }
    __atomic_fetch_add(&RunLog.bytes, count, __ATOMIC_RELAXED);
    return true;
}

// UTF-8 of the text, with control characters as blanks; a lone surrogate becomes U+FFFD.
DWORD EncodeLine(const WCHAR* text, char* out)
{
    DWORD n = 0;
    for (size_t i = 0; text[i] != 0; ++i) {
        unsigned code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned>(text[++i]) - 0xDC00);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        } else if (code < 0x20) {
            code = L' ';
        }
        if (code < 0x80) {
            out[n++] = static_cast<char>(code);
        } else if (code < 0x800) {
            out[n++] = static_cast<char>(0xC0 | (code >> 6));
            out[n++] = static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out[n++] = static_cast<char>(0xE0 | (code >> 12));
            out[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out[n++] = static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out[n++] = static_cast<char>(0xF0 | (code >> 18));
            out[n++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out[n++] = static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    out[n++] = '\r';
    out[n++] = '\n';
    return n;
}

void WriteEntry(LPCWSTR text)
{
    SYSTEMTIME now = {};
    Os().GetLocalTime(&now);
    WCHAR entry[kEntryChars];
    char bytes[kEntryChars * 3 + 2];
    FormatBounded(entry, kEntryChars, L"%04d-%02d-%02d %02d:%02d:%02d.%03d %ws", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, text);
    const DWORD count = EncodeLine(entry, bytes);
    Put(bytes, count);
}

void OpenLog(LPCWSTR chosen)
{
    WCHAR path[MAX_PATH] = {0};
    if (chosen != nullptr) {
        FormatBounded(path, MAX_PATH, L"%ws", chosen);
    } else {
        WCHAR temp[MAX_PATH] = {0};
        const DWORD length = Os().GetTempPathW(MAX_PATH, temp);
        if (length == 0 || length >= MAX_PATH ||
            FormatBounded(path, MAX_PATH, L"%ws%ws%ws", temp, IsSeparator(temp[length - 1]) ? L"" : L"\\",
                          kRunLogName) != S_OK) {
            LogLine("The log is not written: the temporary folder is unknown.");
            return;
        }
    }
    const WCHAR* reason = L"it is not a full path to a file";
    DWORD size = 0;
    HANDLE file = IsRunLogPath(path) ? OpenPlainFile(path, &size, &reason) : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        LogLine("The log %ws is not written: %ws.", path, reason);
        return;
    }
    RunLog = RunLogState{file, 0, false, false};
    if (size == 0) {
        Put("\xEF\xBB\xBF", 3); // so that every editor reads the file as UTF-8
    }
}

} // namespace

void OpenRunLog(LPCWSTR chosen)
{
    // The log changes nothing of the run, its last error included.
    const DWORD lastError = Os().GetLastError();
    OpenLog(chosen);
    Os().SetLastError(lastError);
}

namespace {

// True while the log takes lines.
bool RunLogOpen()
{
    return RunLog.file != INVALID_HANDLE_VALUE && !Flag(&RunLog.full) && !Flag(&RunLog.failed);
}

} // namespace

void WriteRunLog(LPCWSTR text)
{
    if (!RunLogOpen() || text == nullptr) {
        return;
    }
    const DWORD lastError = Os().GetLastError();
    // The last entries a run may write say that the rest is missing, and how it ended.
    if (BytesWritten() + kEntryChars * 3 * 2 + 64 > kRunLogRunBytes) {
        WriteEntry(L"The log of this run stops here: it has reached its size limit.");
        Raise(&RunLog.full);
    } else {
        WriteEntry(text);
    }
    Os().SetLastError(lastError);
}

void WriteRunLogLast(LPCWSTR text)
{
    if (RunLog.file == INVALID_HANDLE_VALUE || Flag(&RunLog.failed)) {
        return;
    }
    const DWORD lastError = Os().GetLastError();
    WriteEntry(text);
    Os().SetLastError(lastError);
}

void NoteInRunLog(LPCWSTR format, ...)
{
    if (!RunLogOpen()) {
        return;
    }
    WCHAR text[1024] = {0};
    va_list args;
    va_start(args, format);
    FormatBoundedV(text, 1024, format, args);
    va_end(args);
    WriteRunLog(text);
}

void CloseRunLog()
{
    if (RunLog.file != INVALID_HANDLE_VALUE) {
        Os().CloseHandle(RunLog.file);
    }
    RunLog = RunLogState{INVALID_HANDLE_VALUE, 0, false, false};
}
