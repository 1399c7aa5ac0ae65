// One copy of the tool at a time: a second one says so and does nothing,
// the hand-overs are no second copy, and a mutex someone without
// administrator rights made cannot keep the tool from working.
#include <string>

#include "common/instance_guard.h"
#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::Contains;
using ::testing::IsEmpty;

const std::wstring kBusy = L"Another installation or removal of the printer driver is running. Please wait until it "
                           L"has finished, then try again.";
const std::wstring kInstalled = L"The printer [VADedudoro PX630KT] is installed on the port [USB001].";

class SingleInstance : public SimTest {
protected:
    SingleInstance()
    {
        InstallDriverFolder(machine, kDriverFolder);
        machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    }

    int Run(const std::wstring& program, const std::wstring& arguments = L"")
    {
        return machine.RunTool(kDriverFolder + program, arguments);
    }

    // Another copy of the tool, elevated, at work.
    void AnotherCopyWorks()
    {
        machine.HoldNamedMutex(kInstanceMutexName, *sim::ParseSddl(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)"));
    }

    bool Installed() { return machine.spooler.FindQueue(L"VADedudoro PX630KT") != nullptr; }
};

TEST_F(SingleInstance, ASecondCopySaysSoOrExitsWith1618AndDoesNothingElse)
{
    AnotherCopyWorks();
    machine.messageBoxes.Expect(kBusy, L"Message", MB_OK | MB_ICONWARNING, IDOK);
    EXPECT_EQ(Run(L"PrinterSetup.exe"), 0) << "without a switch the tool ends as it always has";
    EXPECT_EQ(Run(L"PrinterSetup.exe", L"/VERYSILENT"), 1618) << "quiet: no box, only the exit code";
    machine.uiLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    machine.messageBoxes.Expect(L"另一个打印机驱动的安装或卸载正在进行，请等待其完成后再试。", L"提示信息",
                                MB_OK | MB_ICONWARNING, IDOK);
    EXPECT_EQ(Run(L"unins000.exe"), 0);
    machine.messageBoxes.Expect(L"另一个打印机驱动的安装或卸载正在进行，请等待其完成后再试。", L"提示信息",
                                MB_OK | MB_ICONWARNING, IDOK);
    EXPECT_EQ(Run(L"PrinterSetup.exe", L"-u " + kDriverFolder), 0);

    EXPECT_FALSE(Installed());
    EXPECT_EQ(machine.faults.Calls("SetupDiGetClassDevsW"), 0);
    EXPECT_THAT(machine.Launches(), IsEmpty());
    EXPECT_THAT(machine.dialogs.Runs(IDD_UNINSTALL), IsEmpty());
    EXPECT_THAT(machine.debug.Lines(), Contains(L"Another copy of the tool is at work: this one ends."));

    // Once the other copy has ended, the tool works.
    machine.ReleaseNamedMutex(kInstanceMutexName);
    EXPECT_EQ(Run(L"PrinterSetup.exe", L"/VERYSILENT"), 0);
    EXPECT_TRUE(Installed());
}

// A deployment's install right after its uninstall: the hand-over may still be at work.
TEST_F(SingleInstance, ARunWithSwitchesWaitsAWhileForTheOtherCopy)
{
    AnotherCopyWorks();
    const uint64_t start = machine.clock.NowMs();
    EXPECT_EQ(Run(L"PrinterSetup.exe", L"/VERYSILENT"), 1618);
    EXPECT_EQ(machine.clock.NowMs() - start, 9000u) << "ten looks, a second apart";

    int looks = 0;
    machine.SetActorBetweenCalls(sim::Token{}, [&](const char* operation) {
        if (std::string(operation) == "CreateMutexW" && ++looks == 3) {
            machine.ReleaseNamedMutex(kInstanceMutexName); // the other copy has ended
        }
    });
    EXPECT_EQ(Run(L"PrinterSetup.exe", L"/VERYSILENT"), 0);
    EXPECT_TRUE(Installed());
}

// The guard is held while the tool works and let go for the process it hands over to.
TEST_F(SingleInstance, TheToolHoldsTheGuardWhileItWorksAndHandsItOver)
{
    bool heldWhileInstalling = false;
    bool heldWhileHandingOver = true;
    sim::Token other;
    machine.SetActorBetweenCalls(other, [&](const char* operation) {
        const std::string name = operation;
        if (name == "UpdateDriverForPlugAndPlayDevicesW") {
            heldWhileInstalling = machine.NamedMutexExists(kInstanceMutexName);
        } else if (name == "CreateProcessW") {
            heldWhileHandingOver = machine.NamedMutexExists(kInstanceMutexName);
        }
    });
    machine.messageBoxes.Expect(kInstalled, L"Message", MB_ICONINFORMATION, IDOK);
    EXPECT_EQ(Run(L"PrinterSetup.exe"), 0);
    EXPECT_TRUE(heldWhileInstalling);
    EXPECT_FALSE(machine.NamedMutexExists(kInstanceMutexName)) << "let go when the tool ends";

    // Installed: PrinterSetup.exe hands over to unins000.exe, which hands over to its copy.
    machine.dialogs.ScriptPress(IDCANCEL);
    EXPECT_EQ(Run(L"PrinterSetup.exe"), 0);
    machine.RunLaunchedTools();
    EXPECT_FALSE(heldWhileHandingOver);
    EXPECT_EQ(machine.dialogs.Runs(IDD_UNINSTALL).size(), 1u) << "the copy's dialog ran: no hand-over is a second copy";
}

// Anyone may make a mutex of the guard's name; only one of an administrator's counts.
TEST_F(SingleInstance, AMutexMadeWithoutAdministratorRightsDoesNotStopTheTool)
{
    const std::wstring user = sim::kOperatorSid;
    for (const std::wstring& sddl :
         {L"O:" + user + L"D:P(A;;GA;;;WD)", L"O:" + user + L"D:P(D;;GA;;;BA)(A;;GA;;;WD)"}) {
        machine.HoldNamedMutex(kInstanceMutexName, *sim::ParseSddl(sddl));
        EXPECT_EQ(Run(L"PrinterSetup.exe", L"/VERYSILENT"), 0) << sim::Utf8(sddl);
        EXPECT_TRUE(Installed());
        machine.ReleaseNamedMutex(kInstanceMutexName);
    }
    EXPECT_THAT(machine.debug.Lines(),
                Contains(L"The instance guard Global\\PrinterSetup.Instance was made by a process without "
                         L"administrator rights; the tool goes on without it."));
    EXPECT_THAT(machine.debug.Lines(), Contains(L"The instance guard Global\\PrinterSetup.Instance cannot be taken, "
                                                L"errcode:5; the tool goes on without it."));
}

} // namespace
