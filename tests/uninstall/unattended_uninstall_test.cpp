// The uninstaller run by a management system: unins000.exe waits for its
// copy and ends with its outcome, the family goes with no question asked,
// and the folder goes once unins000.exe, which runs from it, has ended.
#include <string>

#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

const std::wstring kFailed = L"Uninstall driver failed. Please try again, or reboot your OS then try again, or contact "
                             L"our support for assistance.";

class UnattendedUninstall : public SimTest {
protected:
    UnattendedUninstall() { InstallDriverFolder(machine, kDriverFolder); }

    void InstallFamily()
    {
        machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
        ASSERT_EQ(machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L"/VERYSILENT"), 0);
        machine.faults.Reset();
    }

    // unins000.exe as a deployment runs it: the exit code it ends with.
    int Uninstall(const std::wstring& switches) { return machine.RunTool(kDriverFolder + L"unins000.exe", switches); }

    // Quietly, no one is asked: only the driver's own files go, then the folders they leave empty.
    bool FolderRecycled() const
    {
        bool infRecycled = false;
        for (const sim::RecycledItem& item : machine.volume.RecycleBin()) {
            infRecycled =
                infRecycled || sim::Volume::Key(item.originalPath) == sim::Volume::Key(kDriverFolder + L"qxvprtv6.inf");
        }
        return infRecycled && !machine.volume.DirectoryExists(kDriverFolder);
    }
};

TEST_F(UnattendedUninstall, VerySilentWaitsForTheRemovalThenTheFolderGoesWithoutAQuestion)
{
    InstallFamily();
    EXPECT_EQ(Uninstall(L"/VERYSILENT /SUPPRESSMSGBOXES"), 0) << "the copy's outcome, once it has ended";
    EXPECT_EQ(FamilyLeft(machine), "");
    EXPECT_THAT(machine.dialogs.Runs(IDD_UNINSTALL), IsEmpty());
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
    const auto launches = machine.Launches();
    ASSERT_THAT(launches, SizeIs(2));
    EXPECT_TRUE(launches[0].ran) << "the copy ran while unins000.exe waited";
    EXPECT_THAT(launches[1].arguments, ::testing::HasSubstr(L"/RECYCLE="));
    EXPECT_THAT(machine.shell.FileOperations(), IsEmpty()) << "unins000.exe still runs from the folder";

    machine.RunLaunchedTools();
    EXPECT_TRUE(FolderRecycled());
    ASSERT_THAT(machine.shell.FileOperations(), SizeIs(1));
    EXPECT_FALSE(machine.shell.FileOperations()[0].confirmationShown);
    EXPECT_THAT(machine.shell.FileOperations()[0].deletedForGood, IsEmpty());
}

// With no one to ask, a file that is not the driver's stays, and so does its folder.
TEST_F(UnattendedUninstall, AQuietRemovalTakesOnlyTheDriversOwnFiles)
{
    InstallFamily();
    machine.volume.WriteFile(kDriverFolder + L"report.docx", "someone's work");
    EXPECT_EQ(Uninstall(L"/VERYSILENT /SUPPRESSMSGBOXES"), 0);
    machine.RunLaunchedTools();
    EXPECT_EQ(*machine.volume.ReadFile(kDriverFolder + L"report.docx"), "someone's work");
    EXPECT_FALSE(machine.volume.FileExists(kDriverFolder + L"qxvprtv6.inf"));
    EXPECT_FALSE(machine.volume.DirectoryExists(kDriverFolder + L"amd64")) << "emptied, so removed";
}

// The family installed again before the hand-over ran: the folder it came from stays.
TEST_F(UnattendedUninstall, TheFolderStaysWhenTheFamilyCameBack)
{
    InstallFamily();
    EXPECT_EQ(Uninstall(L"/VERYSILENT"), 0);
    ASSERT_EQ(machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L"/VERYSILENT"), 0);
    machine.RunLaunchedTools();
    EXPECT_TRUE(machine.volume.FileExists(kDriverFolder + L"qxvprtv6.inf"));
    EXPECT_THAT(machine.shell.FileOperations(), IsEmpty());
}

// What the tool leaves broken is no success: the spooler that does not start
// again, the monitor file that stays.
TEST_F(UnattendedUninstall, ASpoolerLeftStoppedOrAMonitorFileLeftIsAFailure)
{
    InstallFamily();
    machine.volume.WriteFile(machine.systemDirectory + L"\\qxvprtmon.dll", "MZ monitor");
    machine.volume.SetReadOnly(machine.systemDirectory + L"\\qxvprtmon.dll");
    EXPECT_EQ(Uninstall(L"/VERYSILENT /SUPPRESSMSGBOXES"), 1603);
    EXPECT_EQ(FamilyLeft(machine), "");
    machine.RunLaunchedTools();
    EXPECT_TRUE(machine.volume.FileExists(kDriverFolder + L"qxvprtv6.inf")) << "the folder stays";
}

// A copy that crashed says nothing the exit-code table knows.
TEST_F(UnattendedUninstall, ACopyThatCrashedIs1603)
{
    InstallFamily();
    machine.otherProgramsExitCode = 0xC0000005;
    machine.SetActorBetweenCalls(sim::Token{}, [this](const char* operation) {
        for (const std::wstring& folder : machine.volume.ListFolders(machine.windowsDirectory + L"\\Temp")) {
            for (const std::wstring& file : machine.volume.ListFiles(folder)) {
                if (std::string(operation) == "CreateProcessW" &&
                    machine.volume.ReadFile(file).value_or("") == sim::Machine::kToolImage) {
                    machine.volume.WriteFile(file, "MZ a build that crashes"); // no copy of the tool any more
                }
            }
        }
    });
    EXPECT_EQ(Uninstall(L"/VERYSILENT /SUPPRESSMSGBOXES"), 1603);
    EXPECT_THAT(machine.debug.Lines(), Contains(L"The uninstaller's copy ended with -1073741819."));
}

// The uninstaller's name written in another case is no installer for a deployment.
TEST_F(UnattendedUninstall, TheUninstallerNamedInAnotherCaseRefusesSwitches)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.InstallTool(kDriverFolder + L"UNINS000.EXE");
    EXPECT_EQ(machine.RunTool(kDriverFolder + L"UNINS000.EXE", L"/VERYSILENT"), 87);
    EXPECT_EQ(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);
}

TEST_F(UnattendedUninstall, SilentShowsTheDialogAndPressesRemoveForTheUser)
{
    InstallFamily();
    EXPECT_EQ(Uninstall(L"/SILENT"), 0);
    EXPECT_EQ(FamilyLeft(machine), "");
    ASSERT_THAT(machine.dialogs.Runs(IDD_UNINSTALL), SizeIs(1));
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty()) << "no success box";
    EXPECT_THAT(machine.shell.FileOperations(), IsEmpty()) << "unins000.exe still ran from the folder";
    machine.RunLaunchedTools();
    EXPECT_TRUE(FolderRecycled());
}

// A failure still shows its box unless boxes are suppressed; the folder stays.
TEST_F(UnattendedUninstall, AFailureIs1603AndTheFolderStays)
{
    InstallFamily();
    machine.faults.FailFrom("DeletePrinterDriverExW", 1, ERROR_PRINTER_DRIVER_IN_USE);
    machine.messageBoxes.ExpectWithoutCaption(kFailed, MB_OK, IDOK);
    EXPECT_EQ(Uninstall(L"/SILENT"), 1603);
    EXPECT_EQ(Uninstall(L"/VERYSILENT /SUPPRESSMSGBOXES"), 1603);
    EXPECT_EQ(machine.messageBoxes.Shown().size(), 1u);
    EXPECT_NE(FamilyLeft(machine), "");
    for (const sim::LaunchRecord& launch : machine.Launches()) {
        EXPECT_EQ(launch.arguments.find(L"/RECYCLE="), std::wstring::npos) << "no hand-over for the folder";
    }
    machine.RunLaunchedTools();
    EXPECT_FALSE(FolderRecycled());
}

TEST_F(UnattendedUninstall, NothingToRemoveIs3101AndAClosedDialogIsACancel)
{
    EXPECT_EQ(Uninstall(L"/VERYSILENT /LOG"), 3101);
    EXPECT_EQ(machine.faults.Calls("ControlService"), 0) << "an uninstall just in case leaves printing alone";
    machine.RunLaunchedTools();
    EXPECT_TRUE(FolderRecycled()) << "the folder goes all the same";

    InstallDriverFolder(machine, kDriverFolder);
    InstallFamily();
    machine.dialogs.ScriptPress(IDCANCEL);
    EXPECT_EQ(Uninstall(L"/NORESTART"), 1602) << "a switch without quiet: the user closed the dialog";
    EXPECT_NE(FamilyLeft(machine), "");
}

TEST_F(UnattendedUninstall, TheHandOversOwnSwitchNeedsAFolder)
{
    machine.messageBoxes.Expect(L"The command line switch [/RECYCLE=4] cannot be used here.", L"Message",
                                MB_OK | MB_ICONERROR, IDOK);
    EXPECT_EQ(machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L"/RECYCLE=4"), 87);
    EXPECT_EQ(Uninstall(L"/VERYSILENT /RECYCLE=4"), 87);
    EXPECT_THAT(machine.Launches(), IsEmpty());
}

} // namespace
