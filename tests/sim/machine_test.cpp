// The simulated machine answers as Windows does where the tool depends on it.
#include <string>

#include "common/platform.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::HasSubstr;

class SimulatedKernel : public SimTest {};

// What Windows does with pending renames at boot, which the replacement of a
// driver file in use relies on.
TEST_F(SimulatedKernel, ARestartMovesOnlyWhatWindowsWouldMove)
{
    const std::wstring folder = L"C:\\Windows\\system32\\spool\\drivers\\x64\\";
    for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.dll", L"d.dll"}) {
        machine.volume.WriteFile(folder + name, "old");
    }
    machine.volume.SetReadOnly(folder + L"d.dll");
    machine.volume.WriteFile(folder + L"new.tmp", "staged");
    machine.volume.WriteFile(L"D:\\new.dll", "other drive");
    machine.volume.WriteFile(L"C:\\Drivers\\new.dll", "as shipped");
    machine.volume.WriteFile(L"C:\\Leftover\\file.tmp", "");
    const DWORD replace = MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING;
    ASSERT_TRUE(Os().MoveFileExW(L"C:\\Drivers\\new.dll", (folder + L"a.dll").c_str(), MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(Os().MoveFileExW((folder + L"new.tmp").c_str(), (folder + L"b.dll").c_str(), replace));
    ASSERT_TRUE(Os().MoveFileExW(L"D:\\new.dll", (folder + L"c.dll").c_str(), replace));
    ASSERT_TRUE(Os().MoveFileExW(L"C:\\Drivers\\new.dll", (folder + L"d.dll").c_str(), replace));
    ASSERT_TRUE(Os().MoveFileExW(L"C:\\Leftover", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    machine.volume.WriteFile(L"C:\\Drivers\\new.dll", "changed before the restart");

    machine.Restart();
    EXPECT_EQ(machine.volume.ReadFile(folder + L"a.dll"), "old") << "no replacement without the flag";
    EXPECT_EQ(machine.volume.ReadFile(folder + L"b.dll"), "staged");
    EXPECT_FALSE(machine.volume.FileExists(folder + L"new.tmp"));
    EXPECT_EQ(machine.volume.ReadFile(folder + L"c.dll"), "old") << "no move across drives";
    EXPECT_EQ(machine.volume.ReadFile(folder + L"d.dll"), "old") << "a read-only file stays";
    EXPECT_TRUE(machine.volume.DirectoryExists(L"C:\\Leftover")) << "a folder that is not empty stays";
    EXPECT_THAT(machine.volume.PendingRenames(), ::testing::IsEmpty());
    // Only administrators may schedule: the list is in the machine's registry.
    machine.RunAs(sim::Token{sim::kOperatorSid, false}, [] {
        EXPECT_FALSE(Os().MoveFileExW(L"C:\\Drivers\\new.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    });
}

TEST(SimulatedMessageBoxes, AnUnforeseenOrDifferentBoxIsAFinding)
{
    sim::Machine machine;
    sim::SimPlatform platform(machine);
    machine.messageBoxes.Expect(L"Question?", L"Message", MB_OKCANCEL | MB_ICONQUESTION, IDOK);
    EXPECT_EQ(platform.MessageBoxW(nullptr, L"Question?", L"Message", MB_OKCANCEL | MB_ICONQUESTION), IDOK);
    EXPECT_THAT(machine.Violations(), ::testing::IsEmpty());

    machine.messageBoxes.Expect(L"Question?", L"Message", MB_OKCANCEL | MB_ICONQUESTION, IDOK);
    EXPECT_EQ(platform.MessageBoxW(nullptr, L"Question?", L"Message", MB_OK), IDCANCEL);
    EXPECT_EQ(platform.MessageBoxW(nullptr, L"Surprise", nullptr, MB_OK), IDCANCEL);
    ASSERT_EQ(machine.Violations().size(), 2u);
    EXPECT_THAT(machine.Violations()[1], HasSubstr("unexpected message box: \"Surprise\""));
    EXPECT_FALSE(machine.messageBoxes.Shown()[2].caption.has_value());
}

} // namespace
