// The simulated machine answers as Windows does where the tool depends on it.
#include <string>

#include "common/platform.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SimulatedKernel : public SimTest {};

TEST_F(SimulatedKernel, FileNamesIgnoreCaseAndDoubledSeparators)
{
    machine.volume.WriteFile(L"C:\\Drivers\\amd64\\qxvprtmon.dll", "monitor");
    machine.volume.CreateDirectory(L"C:\\Windows\\System32\\spool\\drivers\\x64");

    // Case-insensitive names, doubled separators accepted.
    EXPECT_TRUE(Os().CopyFileW(L"c:\\drivers\\\\AMD64\\QXVPRTMON.DLL",
                               L"C:\\Windows\\System32\\spool\\drivers\\x64\\\\qxvprtmon.dll", FALSE));
    EXPECT_EQ(machine.volume.ReadFile(L"C:\\WINDOWS\\system32\\SPOOL\\drivers\\x64\\qxvprtmon.dll"), "monitor");
    // The error codes of missing files and folders are held to Windows by the contract tests.
}

TEST_F(SimulatedKernel, AFileHeldOpenCanBeNeitherDeletedNorOverwritten)
{
    const std::wstring loaded = L"C:\\Windows\\system32\\qxvprtmon.dll";
    machine.volume.WriteFile(loaded, "old");
    machine.volume.WriteFile(L"C:\\Drivers\\qxvprtmon.dll", "new");
    machine.volume.SetHeldOpen(loaded, true);

    EXPECT_FALSE(Os().DeleteFileW(loaded.c_str()));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Os().CopyFileW(L"C:\\Drivers\\qxvprtmon.dll", loaded.c_str(), FALSE));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    // A replacement at the next restart is recorded even for a source that does not exist.
    EXPECT_TRUE(Os().MoveFileExW(L"C:\\Drivers\\gone.dll", loaded.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_EQ(machine.volume.PendingRenames().size(), 1u);
    EXPECT_EQ(machine.volume.PendingRenames()[0].destination, loaded);
    EXPECT_EQ(machine.volume.ReadFile(loaded), "old");
}

TEST_F(SimulatedKernel, SleepAdvancesVirtualTimeOnly)
{
    Os().Sleep(10000);
    Os().Sleep(250);
    EXPECT_EQ(machine.clock.NowMs(), 10250u);
}

TEST_F(SimulatedKernel, FaultsHitExactlyTheChosenCall)
{
    machine.volume.WriteFile(L"C:\\a.txt", "a");
    machine.faults.FailCall("CopyFileW", 2, 112u);
    EXPECT_TRUE(Os().CopyFileW(L"C:\\a.txt", L"C:\\b.txt", FALSE));
    EXPECT_FALSE(Os().CopyFileW(L"C:\\a.txt", L"C:\\c.txt", FALSE));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(112u));
    EXPECT_FALSE(machine.volume.FileExists(L"C:\\c.txt")) << "a failed call has no effect";
    EXPECT_TRUE(Os().CopyFileW(L"C:\\a.txt", L"C:\\d.txt", FALSE));
    EXPECT_EQ(machine.faults.Calls("CopyFileW"), 3);

    machine.faults.FailFrom("LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Os().LocalAlloc(LPTR, 16), nullptr);
    EXPECT_EQ(Os().LocalAlloc(LPTR, 16), nullptr);
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(SimulatedKernel, DebugOutputIsCollectedLineByLine)
{
    Os().OutputDebugStringW(L"first part, ");
    Os().OutputDebugStringW(L"same line\nsecond");
    Os().OutputDebugStringW(L" line\n");
    EXPECT_THAT(machine.debug.Lines(), ElementsAre(L"first part, same line", L"second line"));
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
