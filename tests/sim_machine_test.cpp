// The simulated machine answers as Windows does where the tool depends on it.
#include <string>

#include "common/platform.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SimulatedKernel : public SimTest {};

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
