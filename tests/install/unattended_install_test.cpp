// Install mode run by a management system: switches before "-u", no question
// on screen, and an exit code that says what happened.
#include <string>

#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::wstring kInstalled = L"The printer [VADedudoro PX630KT] is installed on the port [USB001].";
const std::wstring kFailed =
    L"The printer driver install failed, error code:1801. Please contact our technical support.";

class UnattendedInstall : public SimTest {
protected:
    UnattendedInstall() { InstallDriverFolder(machine, kDriverFolder); }

    int Run(const std::wstring& switches, const std::wstring& program = L"PrinterSetup.exe")
    {
        return machine.RunTool(kDriverFolder + program, switches);
    }

    // Neither the store nor the folder can provide the driver.
    void BreakTheDriver()
    {
        machine.spooler.bindingDoesNothing = true;
        machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
    }

    bool Installed() { return machine.spooler.FindQueue(L"VADedudoro PX630KT") != nullptr; }
};

TEST_F(UnattendedInstall, VerySilentInstallsWithNothingOnScreenAndSaysSoInItsExitCode)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    EXPECT_EQ(Run(L"/verysilent /SuppressMsgBoxes /NORESTART"), 0);
    EXPECT_TRUE(Installed());
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
    EXPECT_EQ(machine.clock.NowMs(), 10000u) << "the same waits as the run a user watches";
    EXPECT_THAT(machine.spooler.uploadFlags, ElementsAre(UPDP_SILENT_UPLOAD)) << "no prompt can hold the run";
    EXPECT_THAT(machine.spooler.bindFlags, ElementsAre(INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE));
}

TEST_F(UnattendedInstall, AFileReplacedAtTheRestartIs3010)
{
    machine.spooler.bindingDoesNothing = true;
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    const std::wstring target = machine.spooler.DriverDirectory() + L"\\qxvprtdrv6.dll";
    machine.volume.WriteFile(target, "MZ an older build");
    machine.volume.SetHeldOpen(target, true);
    EXPECT_EQ(Run(L"/SILENT"), 3010);
    EXPECT_TRUE(Installed());
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
}

// Silent still shows a failure and lets the user retry; with the boxes
// suppressed the failure takes Cancel.
TEST_F(UnattendedInstall, AFailureIs1603AndItsBoxShowsUnlessSuppressed)
{
    BreakTheDriver();
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.messageBoxes.Expect(kFailed, L"Message", MB_RETRYCANCEL | MB_ICONERROR, IDCANCEL);
    EXPECT_EQ(Run(L"/SILENT"), 1603);

    EXPECT_EQ(Run(L"/SILENT /SUPPRESSMSGBOXES"), 1603);
    EXPECT_EQ(machine.messageBoxes.Shown().size(), 1u);

    // Suppressing alone is no quiet run: the box shows, and Retry works.
    machine.messageBoxes.Expect(kFailed, L"Message", MB_RETRYCANCEL | MB_ICONERROR, IDRETRY,
                                [this] { WriteDriverFolder(machine, kDriverFolder); });
    machine.messageBoxes.Expect(kInstalled, L"Message", MB_ICONINFORMATION, IDOK);
    EXPECT_EQ(Run(L"/SUPPRESSMSGBOXES"), 0);
    EXPECT_TRUE(Installed());
}

TEST_F(UnattendedInstall, WithNoPrinterTheDriverIsStagedForWindowsToInstallLater)
{
    EXPECT_EQ(Run(L"/VERYSILENT"), 3100);
    ASSERT_EQ(machine.spooler.Packages().size(), 1u);
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
    EXPECT_EQ(machine.faults.Calls("SetupDiGetClassDevsW"), 1) << "one scan, no question";

    machine.faults.FailCall("UploadPrinterDriverPackageW", machine.faults.Calls("UploadPrinterDriverPackageW") + 1,
                            ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run(L"/VERYSILENT"), 1603) << "a package that could not be staged is no success";
}

TEST_F(UnattendedInstall, AQuestionTheUserCancelsIs1602OneThatCannotBeAskedIs1603AndWithoutSwitchesEveryEndIs0)
{
    const std::wstring noPrinter = L"No printer found, please turn on the printer and plug in to your computer.";
    machine.messageBoxes.Expect(noPrinter, L"Message", MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL);
    EXPECT_EQ(Run(L"/NORESTART"), 1602);
    machine.messageBoxes.Expect(noPrinter, L"Message", MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL);
    EXPECT_EQ(Run(L""), 0);
    EXPECT_THAT(machine.spooler.Packages(), IsEmpty());
    EXPECT_THAT(machine.spooler.bindFlags, IsEmpty());

    machine.faults.FailCall("MessageBoxW", machine.faults.Calls("MessageBoxW") + 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Run(L"/NORESTART"), 1603) << "no one cancelled";
    machine.faults.FailCall("GetModuleFileNameW", machine.faults.Calls("GetModuleFileNameW") + 1,
                            ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Run(L"/VERYSILENT"), 1603) << "its own folder unknown, the tool installs nothing";
}

// The uninstaller would ask the user, and its outcome is not the run's to
// report: a run with switches makes sure of the printer instead.
TEST_F(UnattendedInstall, WithTheFamilyInstalledARunWithSwitchesInstallsInsteadOfHandingOver)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.messageBoxes.Expect(kInstalled, L"Message", MB_ICONINFORMATION, IDOK);
    ASSERT_EQ(Run(L""), 0);
    EXPECT_EQ(Run(L"/VERYSILENT /SUPPRESSMSGBOXES"), 0);
    machine.messageBoxes.Expect(kInstalled, L"Message", MB_ICONINFORMATION, IDOK);
    EXPECT_EQ(Run(L"/NORESTART"), 0);
    EXPECT_THAT(machine.Launches(), IsEmpty());
    EXPECT_THAT(machine.spooler.uploadFlags, ElementsAre(UPDP_UI_PROMPT)) << "the queue is there: nothing to do";
}

TEST_F(UnattendedInstall, UnknownAndMalformedSwitchesAreRefusedAndNothingElseHappens)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.messageBoxes.Expect(L"The command line switch [/quiet] cannot be used here.", L"Message",
                                MB_OK | MB_ICONERROR, IDOK);
    EXPECT_EQ(Run(L"/NORESTART /quiet"), 87);
    // Silent, before or after the refused switch: only the exit code and the diagnostic line.
    EXPECT_EQ(Run(L"/VERYSILENT /LOG=\"C:\\logs\\px.log"), 87);
    EXPECT_EQ(Run(L"\"/SILENT\" /LOG /VERYSILENT"), 87);
    EXPECT_EQ(Run(L"/SILENT -U C:\\Drivers"), 87);
    EXPECT_EQ(machine.messageBoxes.Shown().size(), 1u);
    EXPECT_FALSE(Installed());
    EXPECT_EQ(machine.faults.Calls("SetupDiGetClassDevsW"), 0);
    EXPECT_THAT(machine.debug.Lines(), ElementsAre(L"The command line switch /quiet is refused.",
                                                   L"The command line switch /LOG=\"C:\\logs\\px.log is refused.",
                                                   L"The command line switch \"/SILENT\" is refused.",
                                                   L"The command line switch -U is refused."));
}

} // namespace
