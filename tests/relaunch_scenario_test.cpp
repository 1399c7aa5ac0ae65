// Whole starts of the tool on the simulated machine: the uninstaller's
// relaunch from the temporary folder, and the modes that are not built yet.
#include <string>

#include "common/globals.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class StartupScenario : public SimTest {
protected:
    const std::wstring folder = L"C:\\Drivers\\PX Series\\";
    const std::wstring uninstaller = folder + L"unins000.exe";
    const std::wstring setup = folder + L"PrinterSetup.exe";

    // The user closes the uninstall dialog once it has listed what it found.
    void CloseUninstallDialog() { machine.dialogs.ScriptPress(IDCANCEL); }
};

TEST_F(StartupScenario, TheUninstallerRunsACopyOfItselfFromTheTemporaryFolder)
{
    machine.InstallTool(uninstaller);

    // The user double-clicks unins000.exe: it copies itself, starts the copy and ends at once.
    EXPECT_EQ(machine.RunTool(uninstaller, L""), 0);
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
    auto launches = machine.Launches();
    ASSERT_EQ(launches.size(), 1u);
    const std::wstring copy = launches[0].imagePath;
    EXPECT_THAT(copy, StartsWith(machine.tempPath + L"uni"));
    EXPECT_THAT(copy, EndsWith(L".tmp"));
    EXPECT_EQ(launches[0].commandLine, L"\"" + copy + L"\" -u " + folder);
    EXPECT_EQ(machine.volume.ReadFile(copy), sim::Machine::kToolImage);
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Process), 0u) << "launch handles are closed at once";
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Thread), 0u);

    // The copy runs uninstall mode for the original folder and starts nothing more.
    CloseUninstallDialog();
    EXPECT_EQ(machine.RunLaunchedTools(), 1u);
    EXPECT_EQ(std::wstring(InstallDirectory), folder);
    EXPECT_EQ(machine.Launches().size(), 1u);
}

TEST_F(StartupScenario, EachRelaunchGetsItsOwnTemporaryFile)
{
    machine.InstallTool(uninstaller);
    machine.RunTool(uninstaller, L"");
    machine.RunTool(uninstaller, L"");
    auto launches = machine.Launches();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_NE(launches[0].imagePath, launches[1].imagePath);
    EXPECT_TRUE(machine.volume.FileExists(launches[0].imagePath));
    EXPECT_TRUE(machine.volume.FileExists(launches[1].imagePath));
}

TEST_F(StartupScenario, FoldersWithBlanksAndChineseSurviveTheRelaunch)
{
    const std::wstring chineseFolder = L"C:\\打印机 驱动\\";
    machine.uiLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    machine.InstallTool(chineseFolder + L"unins000.exe");
    machine.RunTool(chineseFolder + L"unins000.exe", L"");
    CloseUninstallDialog();
    machine.RunLaunchedTools();
    EXPECT_EQ(std::wstring(InstallDirectory), chineseFolder);
}

TEST_F(StartupScenario, AFailedCopyEndsQuietlyWithoutStartingAnything)
{
    machine.InstallTool(uninstaller);
    machine.faults.FailCall("CopyFileW", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine.RunTool(uninstaller, L""), 0);
    // The empty temporary file is no program; its launch fails silently.
    EXPECT_THAT(machine.Launches(), IsEmpty());
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
}

TEST_F(StartupScenario, AFailedTemporaryFileEndsQuietlyWithoutStartingAnything)
{
    machine.InstallTool(uninstaller);
    machine.faults.FailCall("GetTempFileNameW", 1, ERROR_DIRECTORY);
    EXPECT_EQ(machine.RunTool(uninstaller, L""), 0);
    EXPECT_THAT(machine.Launches(), IsEmpty());
    EXPECT_THAT(machine.volume.ListFiles(machine.tempPath), IsEmpty());
}

TEST_F(StartupScenario, TheSwitchOpensTheUninstallDialogForThatFolder)
{
    machine.InstallTool(setup);
    CloseUninstallDialog();
    EXPECT_EQ(machine.RunTool(setup, L"-u " + folder), 0);
    ASSERT_EQ(machine.dialogs.Runs().size(), 1u);
    EXPECT_EQ(machine.dialogs.Runs()[0].result, IDCANCEL);
    EXPECT_THAT(machine.Launches(), IsEmpty());
}

} // namespace
