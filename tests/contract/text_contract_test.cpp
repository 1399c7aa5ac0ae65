// Text: the platform's formatter must agree with the product's own one, the
// ANSI code page, file times and string resources in the user's language.
#include <string>

#include "common/format.h"
#include "res/resource.h"
#include "tests/contract/contract_host.h"

namespace {

using TextContract = ContractTest;

// The text from the platform's formatter, or from the tool's own.
std::wstring Format(bool own, const WCHAR* format, ...)
{
    WCHAR buffer[1100];
    va_list args;
    va_start(args, format);
    if (own) {
        FormatBoundedV(buffer, 1024, format, args);
    } else {
        Os().wvsprintfW(buffer, format, args);
    }
    va_end(args);
    return buffer;
}

TEST_F(TextContract, ThePlatformFormatterAgreesWithTheToolsOwn)
{
    const WCHAR* text = L"VADedudoro PX630KT and a description longer than thirty-two characters";
#define SAME(...) EXPECT_EQ(Format(false, __VA_ARGS__), Format(true, __VA_ARGS__))
    SAME(L"[%ws] on [%ws].", text, L"USB001");
    SAME(L"%.32ws|%.4ws|%.4ws", text, L"7A3E&pid", L"7a");
    SAME(L"USB%.3d USB%.3d USB%.3d USB%.3d", 1, 12, 123, 1234);
    SAME(L"%04x %04x %04x", 0x4600, 0x3c, 0);
    SAME(L"%d %d %u", -5, static_cast<int>(0x80070005), 0xFFFFFFFFu);
    SAME(L"0x%x %X", static_cast<int>(0x80070005), 0xbeefu);
    SAME(L"version:%d.%d.%d.%d, %ws", 2024, 7, 31, 1, L"");
    SAME(L"%5d|%-5d|%05d|100%%", 42, 42, -42);
#undef SAME
}

TEST_F(TextContract, ThePlatformFormatterStopsAt1024Characters)
{
    std::wstring longText(1500, L'a');
    WCHAR buffer[1100];
    buffer[1024] = L'#';
    // Only the cut text is relied on; the count returned for a cut text differs between implementations.
    Os().wsprintfW(buffer, L"%ws", longText.c_str());
    EXPECT_EQ(std::wstring(buffer), longText.substr(0, 1023));
    EXPECT_EQ(buffer[1024], L'#');
}

TEST_F(TextContract, TheAnsiCodePageIsWindows1252)
{
    if (HostAnsiCodePage() != 1252) {
        GTEST_SKIP() << "this machine's ANSI code page is " << HostAnsiCodePage() << ", not 1252";
    }
    const WCHAR text[] = L"VAD\u00E9\u20AC\u4E2D";
    char bytes[8] = {0};
    BOOL substituted = FALSE;
    EXPECT_EQ(Os().WideCharToMultiByte(CP_ACP, 0, text, 6, bytes, 8, nullptr, &substituted), 6);
    EXPECT_EQ(std::string(bytes, 6), "VAD\xE9\x80?");
    EXPECT_TRUE(substituted);

    WCHAR wide[8] = {0};
    EXPECT_EQ(Os().MultiByteToWideChar(CP_ACP, 0, "\x80\xE9", -1, wide, 8), 3);
    EXPECT_EQ(std::wstring(wide), L"\u20AC\u00E9");
}

TEST_F(TextContract, DriverDateConvertsToFileTime)
{
    SYSTEMTIME date = {};
    date.wYear = 2024;
    date.wMonth = 7;
    date.wDay = 31;
    FILETIME time = {};
    ASSERT_TRUE(Os().SystemTimeToFileTime(&date, &time));
    EXPECT_EQ((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime, 133668576000000000ull);

    date.wMonth = 2;
    date.wDay = 30;
    EXPECT_FALSE(Os().SystemTimeToFileTime(&date, &time));
}

TEST_F(TextContract, StringsLoadInTheUserInterfaceLanguage)
{
    const bool chinese = PRIMARYLANGID(HostUserInterfaceLanguage()) == LANG_CHINESE;
    WCHAR text[1024];
    EXPECT_EQ(Os().LoadStringW(HostModuleInstance(), IDS_MESSAGE_CAPTION, text, 1024), chinese ? 4 : 7);
    EXPECT_EQ(std::wstring(text), chinese ? L"\u63D0\u793A\u4FE1\u606F" : L"Message");

    // The caption buffer of the final uninstall message holds 25 characters.
    WCHAR caption[25];
    int length = Os().LoadStringW(HostModuleInstance(), IDS_UNINSTALL_FAILED, caption, 25);
    EXPECT_EQ(length, 24);
    EXPECT_EQ(caption[24], 0);
}

// A failed load may leave the buffer as it was: a caller that formats
// whatever it holds then formats an earlier message.
TEST_F(TextContract, AStringThatIsMissingLeavesTheBufferAsItWasUnlessItsBlockExists)
{
    WCHAR text[16] = L"earlier";
    EXPECT_EQ(Os().LoadStringW(HostModuleInstance(), 199, text, 16), 0) << "no block holds string 199";
    EXPECT_EQ(std::wstring(text), L"earlier");
    // Strings come in blocks of sixteen; 143 shares a block with the catalogue's last strings.
    EXPECT_EQ(Os().LoadStringW(HostModuleInstance(), 143, text, 16), 0) << "no string 143";
    EXPECT_EQ(text[0], 0);
}

} // namespace
