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

    bool FolderRecycled() const
    {
        for (const sim::RecycledItem& item : machine.volume.RecycleBin()) {
            if (sim::Volume::Key(item.originalPath) == sim::Volume::Key(kDriverFolder)) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(UnattendedUninstall, VerySilentWaitsForTheRemovalThenTheFolderGoesWithoutAQuestion)
{
    InstallFamily();
    EXPECT_EQ(Uninstall(L"/VERYSILENT /SUPPRESSMSGBOXES"), 0) << "the copy's outcome, once it has ended";
    EXPECT_EQ(FamilyLeft(machine), "");
    EXPECT_THAT(machine.dialogs.Runs(), IsEmpty());
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
    const auto launches = machine.Launches();
    ASSERT_THAT(launches, SizeIs(2));
    EXPECT_TRUE(launches[0].ran) << "the copy ran while unins000.exe waited";
    EXPECT_FALSE(launches[1].ran) << "the folder is sent away only after unins000.exe has ended";
    EXPECT_THAT(launches[1].arguments, ::testing::HasSubstr(L"/RECYCLE="));
    EXPECT_TRUE(machine.volume.DirectoryExists(kDriverFolder));

    machine.RunLaunchedTools();
    EXPECT_TRUE(FolderRecycled());
    ASSERT_THAT(machine.shell.FileOperations(), SizeIs(1));
    EXPECT_FALSE(machine.shell.FileOperations()[0].confirmationShown);
    EXPECT_THAT(machine.shell.FileOperations()[0].deletedForGood, IsEmpty());
}

TEST_F(UnattendedUninstall, SilentShowsTheDialogAndPressesRemoveForTheUser)
{
    InstallFamily();
    EXPECT_EQ(Uninstall(L"/SILENT"), 0);
    EXPECT_EQ(FamilyLeft(machine), "");
    ASSERT_THAT(machine.dialogs.Runs(), SizeIs(1));
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
    EXPECT_TRUE(machine.volume.DirectoryExists(kDriverFolder));
}

} // namespace
