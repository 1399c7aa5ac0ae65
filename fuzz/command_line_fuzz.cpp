// The switches before "-u", read by the parser alone (the whole start with
// any command line is startup_fuzz): never a write past the buffer for the
// refused switch, a refusal that quotes the command line, a log file only
// where the log may go, and a line of blanks that is no switch at all.
#include <cwchar>
#include <vector>

#include "common/run_log.h"
#include "common/run_options.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input is the command line in UTF-16LE; a NUL would end it, so it is a blank here.
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        text.push_back(unit != 0 ? unit : L' ');
    }
    // The caller's buffer, with a canary after it.
    const size_t capacity = 1 + size % 300;
    std::vector<WCHAR> bad(capacity + 1, L'#');
    RunOptions options;
    const BOOL understood = ParseRunOptions(text.c_str(), text.size(), &options, bad.data(), capacity);

    Require(bad[capacity] == L'#', "the refused switch was written past its buffer");
    Require(wcsnlen(bad.data(), capacity) < capacity, "the refused switch is not terminated");
    Require(understood != FALSE ? bad[0] == 0 : capacity == 1 || bad[0] != 0,
            "a refusal without a switch to name, or a name without a refusal");
    Require(understood != FALSE || text.find(bad.data()) != std::wstring::npos,
            "the refused switch is not the command line's");
    Require(options.logPath[0] == 0 || IsRunLogPath(options.logPath), "a log file where the log may not go");
    Require(options.quiet == QUIET_NONE || options.quiet == QUIET_SILENT || options.quiet == QUIET_VERYSILENT,
            "a quiet level that does not exist");
    const bool blank = text.find_first_not_of(L" \t") == std::wstring::npos;
    Require(options.switched != blank, "a blank line is taken for a switch, or a switch for none");
    return 0;
}
