// The Windows-convention formatter and FormatBounded with any format, any
// arguments and any capacity: never a write past the capacity, always a
// terminated text, and both agree on whether the text was cut.
#include <cstdarg>
#include <vector>

#include "common/format.h"
#include "common/win_format.h"
#include "fuzz/fuzz_support.h"

namespace {

size_t FormatWindows(WCHAR* destination, size_t capacity, const WCHAR* format, bool* truncated, ...)
{
    va_list args;
    va_start(args, truncated);
    size_t length = FormatWindowsV(destination, capacity, format, args, truncated);
    va_end(args);
    return length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const size_t capacity = input.ConsumeIntegralInRange<size_t>(1, 1100);
    const std::wstring a = TakeText(input, 1200), b = TakeText(input, 40);
    const std::wstring format = TakeText(input, 400);
    // Each conversion reads one argument slot. Every slot holds a pointer to a
    // terminated text: on x86-64 any conversion can read such a slot safely.
    size_t conversions = 0;
    for (wchar_t c : format) {
        conversions += c == L'%' ? 1 : 0;
    }
    if (conversions > 12) {
        return 0;
    }
    const WCHAR *pa = a.c_str(), *pb = b.c_str();
    std::vector<WCHAR> first(capacity), second(capacity);
    bool truncated = false;
    const size_t length = FormatWindows(first.data(), capacity, format.c_str(), &truncated, pa, pb, pa, pb, pa, pb, pa,
                                        pb, pa, pb, pa, pb);
    Require(length < capacity && first[length] == 0, "the text is not terminated inside its capacity");
    const HRESULT bounded =
        FormatBounded(second.data(), capacity, format.c_str(), pa, pb, pa, pb, pa, pb, pa, pb, pa, pb, pa, pb);
    Require((bounded == S_OK) == !truncated, "the two formatters disagree on a cut");
    Require(std::wstring(first.data(), length) == std::wstring(second.data(), length), "the two texts differ");
    return 0;
}
