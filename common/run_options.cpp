#include "common/run_options.h"

#include <cwchar>


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

} // namespace

BOOL ParseRunOptions(LPCWSTR text, size_t length, RunOptions* options, WCHAR* bad, size_t capacity)
{
    *options = RunOptions{};
    bad[0] = 0;
    size_t at = 0;
    while (at < length) {
        if (IsBlank(text[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < length && !IsBlank(text[end])) {
            ++end;
        }
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
        } else if (bad[0] == 0) {
            // The first one is named; the rest are still read, so a quiet run stays quiet about it.
            const size_t shown = size < capacity - 1 ? size : capacity - 1;
            wmemcpy(bad, token, shown);
            bad[shown] = 0;
        }
        options->switched = true;
        at = end;
    }
    return bad[0] == 0;
}

bool RunsQuietly()
{
    return Options.quiet != QUIET_NONE;
}

bool SuppressesBoxes()
{
    return Options.quiet != QUIET_NONE && Options.suppressBoxes;
}
