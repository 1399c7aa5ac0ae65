// The Windows-convention formatter behind FormatBounded and the simulated
// wsprintfW, and the StringCchPrintfW contract of FormatBounded.
#include <string>

#include "common/format.h"
#include "tests/support/sim_test.h"

namespace {

std::wstring Format(const WCHAR* format, ...)
{
    WCHAR buffer[1024];
    va_list args;
    va_start(args, format);
    HRESULT result = FormatBoundedV(buffer, 1024, format, args);
    va_end(args);
    EXPECT_EQ(result, S_OK);
    return buffer;
}

TEST(WindowsFormatter, WideStringsAndTheirPrecision)
{
    EXPECT_EQ(Format(L"[%ws]", L"VADedudoro PX630KT"), L"[VADedudoro PX630KT]");
    EXPECT_EQ(Format(L"%ws\\%ws", L"C:\\Drivers\\", L"qxvprtv6.inf"), L"C:\\Drivers\\\\qxvprtv6.inf");
    EXPECT_EQ(Format(L"%.32ws", L"0123456789012345678901234567890123456789"), L"01234567890123456789012345678901");
    EXPECT_EQ(Format(L"%.4ws", L"7A3E&PID_0001"), L"7A3E");
    EXPECT_EQ(Format(L"%.4ws", L"7a"), L"7a");
    EXPECT_EQ(Format(L"%s|%ls", L"wide", L"also wide"), L"wide|also wide");
    EXPECT_EQ(Format(L"%hs|%S", "narrow", "narrow too"), L"narrow|narrow too");
    EXPECT_EQ(Format(L"%ws", static_cast<const WCHAR*>(nullptr)), L"(null)");
    EXPECT_EQ(Format(L"%-6ws|%6ws", L"ab", L"cd"), L"ab    |    cd");
    // Four characters and no terminator: a formatter that scans for the end first reads past the array.
    const WCHAR unterminated[4] = {L'7', L'A', L'3', L'E'};
    EXPECT_EQ(Format(L"%.4ws", unterminated), L"7A3E");
}

TEST(WindowsFormatter, PortNamesAndChecksums)
{
    EXPECT_EQ(Format(L"USB%.3d", 1), L"USB001");
    EXPECT_EQ(Format(L"USB%.3d", 12), L"USB012");
    EXPECT_EQ(Format(L"USB%.3d", 123), L"USB123");
    EXPECT_EQ(Format(L"USB%.3d", 1234), L"USB1234");
    EXPECT_EQ(Format(L"%04x", 0x4600), L"4600");
    EXPECT_EQ(Format(L"%04x", 0x3c), L"003c");
    EXPECT_EQ(Format(L"%04x", 0), L"0000");
    EXPECT_EQ(Format(L"%04X", 0xbeef), L"BEEF");
}

TEST(WindowsFormatter, SignedAndHexadecimalNumbersPercentSignsAndOddTemplates)
{
    EXPECT_EQ(Format(L"errcode:%d.", -5), L"errcode:-5.");
    EXPECT_EQ(Format(L"%d", static_cast<int>(0x80000000u)), L"-2147483648");
    EXPECT_EQ(Format(L"%d", 2147483647), L"2147483647");
    EXPECT_EQ(Format(L"%u", 0xFFFFFFFFu), L"4294967295");
    // An HRESULT shown both ways, as the two catalogue languages do.
    HRESULT denied = static_cast<HRESULT>(0x80070005);
    EXPECT_EQ(Format(L"Failed. Error:%d", denied), L"Failed. Error:-2147024891");
    EXPECT_EQ(Format(L"0x%x", denied), L"0x80070005");
    EXPECT_EQ(Format(L"%#x|%#x", 255, 0), L"0xff|0");
    EXPECT_EQ(Format(L"%5d|%-5d|%05d|%-05d", 42, 42, -42, 7), L"   42|42   |-0042|7    ");
    EXPECT_EQ(Format(L"%I64x", 0x07E80007001F0001ull), L"7e80007001f0001");
    EXPECT_EQ(Format(L"version:%d.%d.%d.%d", 2024, 7, 31, 1), L"version:2024.7.31.1");
    // Percent signs and odd templates.
    EXPECT_EQ(Format(L"100%%"), L"100%");
    EXPECT_EQ(Format(L"%c%c", L'o', L'k'), L"ok");
    EXPECT_EQ(Format(L"trailing %"), L"trailing ");
    EXPECT_EQ(Format(L"%q"), L"q");
}

TEST(FormatBounded, CutsToCapacityAndSaysSo)
{
    WCHAR buffer[8];
    EXPECT_EQ(FormatBounded(buffer, 5, L"%.4ws", L"7a3e&pid"), S_OK);
    EXPECT_EQ(std::wstring(buffer), L"7a3e");

    EXPECT_EQ(FormatBounded(buffer, 5, L"%ws", L"abcdefgh"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::wstring(buffer), L"abcd");

    EXPECT_EQ(FormatBounded(buffer, 5, L"abcd"), S_OK) << "capacity - 1 characters fit exactly";
    EXPECT_EQ(FormatBounded(buffer, 1, L"x"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[0], 0);
}

TEST(FormatBounded, RejectsCapacitiesOutsideItsRange)
{
    WCHAR buffer[4] = {L'x', L'y', L'z', 0};
    EXPECT_EQ(FormatBounded(buffer, 0, L"abc"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(buffer[0], L'x') << "capacity 0 must not write at all";

    EXPECT_EQ(FormatBounded(buffer, size_t{0x80000000}, L"abc"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(buffer[0], 0) << "a terminator is written first when the capacity is non-zero";

    buffer[0] = L'x';
    EXPECT_EQ(FormatBounded(buffer, size_t{0x7FFFFFFF}, L"ok"), S_OK) << "the largest valid capacity";
    EXPECT_EQ(std::wstring(buffer), L"ok");
}

} // namespace
