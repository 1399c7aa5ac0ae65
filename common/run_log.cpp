#include "common/run_log.h"

#include <cstdarg>
#include <cwchar>

#include "common/format.h"
#include "common/log.h"
#include "common/platform.h"

const WCHAR kRunLogName[] = L"PrinterSetup.log";
RunLogState RunLog = {INVALID_HANDLE_VALUE, 0, false};

namespace {


// An entry is put together here: the tool logs from one thread at a time.
const size_t kEntryChars = 1200;
WCHAR EntryText[kEntryChars];
char EntryBytes[kEntryChars * 3 + 2];

bool IsSeparator(WCHAR c)
{
    return c == L'\\' || c == L'/';
}

// "C:\" or "\\server\share\": the part of a path no one below the
// administrators can replace. 0 for anything else (a relative path, a device
// path such as "\\?\" or "\\.\"), which the log refuses.
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

// Holds the log's folder open without delete sharing: while it is held,
// neither it nor a folder above it can be renamed or replaced, so the checks
// below stay true until the file is open.
HANDLE HoldFolder(const WCHAR* folder)
{
    return Os().CreateFileW(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Why the folders from the root down to the held one cannot take the log,
// or null when they can.
const WCHAR* CheckFolders(const WCHAR* path, size_t root, size_t folderEnd, HANDLE held)
{
    BY_HANDLE_FILE_INFORMATION facts = {};
    if (!Os().GetFileInformationByHandle(held, &facts)) {
        return L"its folder cannot be examined";
    }
    if ((facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return L"its folder is a link or a reparse point";
    }
    WCHAR prefix[MAX_PATH] = {0};
    for (size_t at = root; at < folderEnd; ++at) {
        if (!IsSeparator(path[at]) || IsSeparator(path[at - 1])) {
            continue;
        }
        wmemcpy(prefix, path, at);
        prefix[at] = 0;
        const DWORD attributes = Os().GetFileAttributesW(prefix);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return L"a folder above it cannot be examined";
        }
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return L"a folder above it is a link or a reparse point";
        }
    }
    return nullptr;
}

// Opens path for appending, only as a plain file of one name in plain
// folders. Returns the handle and its size, or INVALID_HANDLE_VALUE with the
// reason.
HANDLE OpenPlainFile(const WCHAR* path, DWORD* size, const WCHAR** reason)
{
    const size_t length = wcslen(path);
    const size_t root = RootLength(path);
    size_t last = length;
    while (last > 0 && !IsSeparator(path[last - 1])) {
        --last;
    }
    if (root == 0 || last < root || last == length) {
        *reason = L"it is not a full path to a file";
        return INVALID_HANDLE_VALUE;
    }
    WCHAR folder[MAX_PATH] = {0};
    const size_t folderEnd = last > root ? last - 1 : root;
    wmemcpy(folder, path, folderEnd);
    HANDLE held = HoldFolder(folder);
    if (held == INVALID_HANDLE_VALUE && Os().CreateDirectoryW(folder, nullptr)) {
        held = HoldFolder(folder);
    }
    if (held == INVALID_HANDLE_VALUE) {
        *reason = L"its folder cannot be opened";
        return INVALID_HANDLE_VALUE;
    }
    *reason = CheckFolders(path, root, folderEnd, held);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (*reason == nullptr) {
        // The link itself is opened, never what it leads to, and nothing is
        // cut: a file that is not plain stays as it was.
        file = Os().CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        *reason = file == INVALID_HANDLE_VALUE ? L"it cannot be opened" : nullptr;
    }
    BY_HANDLE_FILE_INFORMATION facts = {};
    if (*reason == nullptr && !Os().GetFileInformationByHandle(file, &facts)) {
        *reason = L"it cannot be examined";
    } else if (*reason == nullptr && (facts.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *reason = L"it is a link or a reparse point";
    } else if (*reason == nullptr && (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *reason = L"it is a folder";
    } else if (*reason == nullptr && facts.nNumberOfLinks != 1) {
        *reason = L"the file has another name (a hard link)";
    }
    Os().CloseHandle(held);
    if (*reason != nullptr) {
        if (file != INVALID_HANDLE_VALUE) {
            Os().CloseHandle(file);
        }
        return INVALID_HANDLE_VALUE;
    }
    *size = facts.nFileSizeHigh != 0 ? 0xFFFFFFFFu : facts.nFileSizeLow;
    return file;
}

bool Put(const char* bytes, DWORD count)
{
    DWORD written = 0;
    if (!Os().WriteFile(RunLog.file, bytes, count, &written, nullptr) || written != count) {
        // A log that fails once is not trusted with the rest of the run.
        RunLog.full = true;
        return false;
    }
    RunLog.bytes += count;
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
    FormatBounded(EntryText, kEntryChars, L"%04d-%02d-%02d %02d:%02d:%02d.%03d %ws", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, text);
    const DWORD count = EncodeLine(EntryText, EntryBytes);
    Put(EntryBytes, count);
}

} // namespace

void OpenRunLog(LPCWSTR chosen)
{
    WCHAR path[MAX_PATH] = {0};
    if (chosen != nullptr) {
        FormatBounded(path, MAX_PATH, L"%ws", chosen);
    } else {
        WCHAR temp[MAX_PATH] = {0};
        const DWORD length = Os().GetTempPathW(MAX_PATH, temp);
        if (length == 0 || length >= MAX_PATH || FormatBounded(path, MAX_PATH, L"%ws%ws%ws", temp,
                                                               IsSeparator(temp[length - 1]) ? L"" : L"\\",
                                                               kRunLogName) != S_OK) {
            LogLine("The log is not written: the temporary folder is unknown.");
            return;
        }
    }
    const WCHAR* reason = nullptr;
    DWORD size = 0;
    HANDLE file = OpenPlainFile(path, &size, &reason);
    if (file != INVALID_HANDLE_VALUE && size >= kRunLogRotateBytes) {
        // The older runs make way: the file becomes "<file>.old", replacing
        // the one before (the name is replaced, never written through).
        Os().CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        WCHAR older[MAX_PATH] = {0};
        if (FormatBounded(older, MAX_PATH, L"%ws.old", path) != S_OK ||
            !Os().MoveFileExW(path, older, MOVEFILE_REPLACE_EXISTING)) {
            reason = L"it is full and cannot make way";
        } else {
            file = OpenPlainFile(path, &size, &reason);
        }
    }
    if (file != INVALID_HANDLE_VALUE && size >= kRunLogRotateBytes) {
        Os().CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        reason = L"it is full";
    }
    if (file == INVALID_HANDLE_VALUE) {
        LogLine("The log %ws is not written: %ws.", path, reason);
        return;
    }
    RunLog.file = file;
    RunLog.bytes = 0;
    RunLog.full = false;
    if (size == 0) {
        Put("\xEF\xBB\xBF", 3); // so that every editor reads the file as UTF-8
    }
}

bool RunLogOpen()
{
    return RunLog.file != INVALID_HANDLE_VALUE && !RunLog.full;
}

void WriteRunLog(LPCWSTR text)
{
    if (!RunLogOpen() || text == nullptr) {
        return;
    }
    // The last entry a run may write says that the rest is missing.
    if (RunLog.bytes + kEntryChars * 3 + 64 > kRunLogRunBytes) {
        WriteEntry(L"The log of this run stops here: it has reached its size limit.");
        RunLog.full = true;
        return;
    }
    WriteEntry(text);
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
        RunLog.file = INVALID_HANDLE_VALUE;
    }
    RunLog.bytes = 0;
    RunLog.full = false;
}
