#include "common/run_options.h"

#include <cwchar>

#include "common/run_log.h"

RunOptions Options;

namespace {

bool IsBlank(WCHAR c)
{
    return c == L' ' || c == L'\t';
}

// The switch names compare without case, as Windows setup programs take them.
bool SameSwitch(LPCWSTR token, size_t length, LPCWSTR name)
{
    size_t i = 0;
    for (; i < length && name[i] != 0; ++i) {
        const WCHAR a = (token[i] >= L'a' && token[i] <= L'z') ? static_cast<WCHAR>(token[i] - 32) : token[i];
        if (a != name[i]) {
            return false;
        }
    }
    return i == length && name[i] == 0;
}

const WCHAR kLogSwitch[] = L"/LOG";

// A blank ends a token, except between quotes. A quote never closed quotes
// nothing: the token ends at its first blank, so the switches after it are
// still read.
size_t TokenEnd(LPCWSTR text, size_t at, size_t length)
{
    bool quoted = false;
    size_t end = at;
    for (; end < length && (quoted || !IsBlank(text[end])); ++end) {
        quoted = text[end] == L'"' ? !quoted : quoted;
    }
    if (quoted) {
        for (end = at; end < length && !IsBlank(text[end]);) {
            ++end;
        }
    }
    return end;
}

bool HasQuote(LPCWSTR text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == L'"') {
            return true;
        }
    }
    return false;
}

// "/LOG=file", "/LOG=\"file\"" or "\"/LOG=file\"": the file, a path the log
// may take, copied to path. False for anything else, /LOG= with nothing
// after it and a quote never closed included.
bool ReadLogFile(LPCWSTR token, size_t size, WCHAR* path)
{
    const size_t prefix = sizeof(kLogSwitch) / sizeof(WCHAR); // "/LOG="
    if (size >= 2 && token[0] == L'"' && token[size - 1] == L'"') {
        ++token; // the whole switch quoted, as some tools write each argument
        size -= 2;
    }
    if (size <= prefix || token[prefix - 1] != L'=' || !SameSwitch(token, prefix - 1, kLogSwitch)) {
        return false;
    }
    LPCWSTR value = token + prefix;
    size_t count = size - prefix;
    if (count >= 2 && value[0] == L'"' && value[count - 1] == L'"') {
        ++value;
        count -= 2;
    }
    if (count == 0 || count >= MAX_PATH || HasQuote(value, count)) {
        return false;
    }
    wmemcpy(path, value, count);
    path[count] = 0;
    if (!IsRunLogPath(path)) {
        path[0] = 0; // the default log takes the refusal
        return false;
    }
    return true;
}

// "/RECYCLE=<process id>", in decimal.
bool ReadRecycleAfter(LPCWSTR token, size_t size, DWORD* processId)
{
    const size_t prefix = 9; // "/RECYCLE="
    if (size <= prefix || size > prefix + 10 || !SameSwitch(token, prefix - 1, L"/RECYCLE") ||
        token[prefix - 1] != L'=') {
        return false;
    }
    unsigned long long value = 0;
    for (size_t i = prefix; i < size; ++i) {
        if (token[i] < L'0' || token[i] > L'9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(token[i] - L'0');
    }
    if (value == 0 || value > 0xFFFFFFFFull) {
        return false;
    }
    *processId = static_cast<DWORD>(value);
    return true;
}

} // namespace

BOOL ParseRunOptions(LPCWSTR text, size_t length, RunOptions* options, WCHAR* bad, size_t capacity)
{
    *options = RunOptions{};
    bad[0] = 0;
    bool refused = false; // even where bad has no room for the name
    size_t at = 0;
    while (at < length) {
        if (IsBlank(text[at])) {
            ++at;
            continue;
        }
        const size_t end = TokenEnd(text, at, length);
        const LPCWSTR token = text + at;
        const size_t size = end - at;
        if (SameSwitch(token, size, L"/SILENT")) {
            options->quiet = options->quiet == QUIET_NONE ? QUIET_SILENT : options->quiet;
        } else if (SameSwitch(token, size, L"/VERYSILENT")) {
            options->quiet = QUIET_VERYSILENT;
        } else if (SameSwitch(token, size, L"/SUPPRESSMSGBOXES")) {
            options->suppressBoxes = true;
        } else if (SameSwitch(token, size, L"/NORESTART")) {
            options->noRestart = true;
        } else if (SameSwitch(token, size, kLogSwitch)) {
            options->logPath[0] = 0;
        } else if (ReadLogFile(token, size, options->logPath)) {
            // the file is in options->logPath
        } else if (ReadRecycleAfter(token, size, &options->recycleAfter)) {
            // the uninstaller's own hand-over
        } else if (!refused) {
            // The first one is named; the rest are still read, so a quiet run stays quiet about it.
            refused = true;
            const size_t shown = size < capacity - 1 ? size : capacity - 1;
            wmemcpy(bad, token, shown);
            bad[shown] = 0;
        }
        options->switched = true;
        at = end;
    }
    return refused ? FALSE : TRUE;
}

bool RunsQuietly()
{
    return Options.quiet != QUIET_NONE;
}

bool SuppressesBoxes()
{
    return Options.quiet != QUIET_NONE && Options.suppressBoxes;
}
