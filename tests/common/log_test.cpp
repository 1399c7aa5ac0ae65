// Diagnostic lines: exact text, the 767-character limit and the drop rules.
#include <cstring>
#include <string>

#include "common/log.h"
#include "tests/support/sim_test.h"

namespace {

class LogLineTest : public SimTest {};

TEST_F(LogLineTest, WritesTheTextThenALineFeed)
{
    LogLine("CopyFile file:%ws to %ws, %d, errcode:%d.", L"C:\\src\\a.dll", L"C:\\dst\\a.dll", 1, 0);
    LogLine("AddPrinter failed, errcode:%d.", 1796);
    EXPECT_THAT(machine.debug.Writes(),
                ::testing::ElementsAre(L"CopyFile file:C:\\src\\a.dll to C:\\dst\\a.dll, 1, errcode:0.", L"\n",
                                       L"AddPrinter failed, errcode:1796.", L"\n"));
    LogLine("price \x80%d", 5); // 0x80 is the euro sign in Windows-1252: the template is ANSI
    EXPECT_EQ(machine.debug.Lines().back(), L"price \u20AC5");
}

TEST_F(LogLineTest, KeepsLinesOf767CharactersAndDropsLongerOnes)
{
    std::wstring fits(767 - std::wstring(L"The printer  is already added.").size(), L'p');
    LogLine("The printer %ws is already added.", fits.c_str());
    ASSERT_EQ(machine.debug.Lines().size(), 1u);
    EXPECT_EQ(machine.debug.Lines()[0].size(), 767u);

    std::wstring tooLong = fits + L"p";
    LogLine("The printer %ws is already added.", tooLong.c_str());
    EXPECT_EQ(machine.debug.Lines().size(), 1u) << "a 768-character line produces no output at all";
    EXPECT_EQ(machine.debug.Writes().size(), 2u);
}

TEST_F(LogLineTest, RefusesMissingAndUnterminatedTemplates)
{
    LogLine(nullptr);
    char unterminated[300];
    std::memset(unterminated, 'a', sizeof(unterminated));
    unterminated[299] = 0; // the terminator lies beyond the first 256 bytes
    LogLine(unterminated);
    std::string longest(255, 'b');
    LogLine(longest.c_str());
    ASSERT_EQ(machine.debug.Lines().size(), 1u);
    EXPECT_EQ(machine.debug.Lines()[0], std::wstring(255, L'b'));
}

TEST_F(LogLineTest, WritesNothingWhenTheTemplateCannotBeConverted)
{
    LogLine("first %d", 1);
    machine.faults.FailCall("MultiByteToWideChar", 2, ERROR_NOT_ENOUGH_MEMORY);
    LogLine("second %d", 2);
    EXPECT_THAT(machine.debug.Lines(), ::testing::ElementsAre(L"first 1"));
}

} // namespace
