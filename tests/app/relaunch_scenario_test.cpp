// Whole starts of the tool on the simulated machine: the uninstaller's
// relaunch from a copy that only administrators can change.
#include <string>

#include "common/globals.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

const std::string kOtherProgram = "MZ\x90 someone else's program";

class StartupScenario : public SimTest {
protected:
    const std::wstring folder = L"C:\\Drivers\\PX Series\\";
    const std::wstring uninstaller = folder + L"unins000.exe";
    const std::wstring setup = folder + L"PrinterSetup.exe";
    const std::wstring windowsTemp = L"C:\\Windows\\Temp";
    const sim::Token user{sim::kOperatorSid, false};

    // The user closes the uninstall dialog once it has listed what it found.
    void CloseUninstallDialog() { machine.dialogs.ScriptPress(IDCANCEL); }

    std::vector<std::wstring> RelaunchFolders() { return machine.volume.ListFolders(windowsTemp); }

    std::wstring RelaunchFailed(DWORD error)
    {
        return L"The uninstaller could not be started, error code:" + std::to_wstring(error) +
               L". Please try again, or contact our technical support.";
    }
};

TEST_F(StartupScenario, TheUninstallerRunsACopyOfItselfFromAFolderOnlyAdministratorsCanChange)
{
    machine.InstallTool(uninstaller);

    // The user double-clicks unins000.exe: it copies itself, starts the copy and ends at once.
    machine.RunTool(uninstaller, L"");
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
    auto launches = machine.Launches();
    ASSERT_EQ(launches.size(), 1u);
    const std::wstring copy = launches[0].imagePath;
    ASSERT_THAT(RelaunchFolders(), SizeIs(1));
    const std::wstring copyFolder = RelaunchFolders()[0];
    EXPECT_THAT(copy, StartsWith(copyFolder + L"\\uni"));
    EXPECT_THAT(copy, EndsWith(L".tmp"));
    EXPECT_EQ(launches[0].commandLine, L"\"" + copy + L"\" -u " + folder);
    EXPECT_TRUE(launches[0].toolImage);

    // Administrators own the folder and, with SYSTEM, are all it lets in.
    const sim::SecurityDescriptor security = *machine.volume.Security(copyFolder);
    EXPECT_EQ(security.owner, L"BA");
    EXPECT_TRUE(security.protectedDacl);
    for (const sim::Ace& ace : security.dacl) {
        EXPECT_TRUE(ace.sid == L"SY" || ace.sid == L"BA") << sim::Utf8(ace.sid);
    }
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Process), 0u) << "launch handles are closed at once";
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Thread), 0u);

    // The copy runs uninstall mode for the original folder and starts nothing more.
    CloseUninstallDialog();
    EXPECT_EQ(machine.RunLaunchedTools(), 1u);
    EXPECT_EQ(std::wstring(InstallDirectory), folder);
    EXPECT_EQ(machine.Launches().size(), 1u);
}

// A process of the same user, without administrator rights, watches the
// temporary folders and, before every platform call the tool makes, tries to
// put its own program where the tool's copy is: over it, in its place, or
// in a folder of its own under the copy folder's name.
TEST_F(StartupScenario, AProcessWithoutAdministratorRightsCannotSwapTheCopy)
{
    machine.InstallTool(uninstaller);
    machine.volume.WriteFile(L"C:\\Users\\Operator\\program.exe", kOtherProgram);
    // Where the copy used to go: a file the elevated tool made in the user's own temporary folder.
    const std::wstring exposed = machine.tempPath + L"uni1A2B.tmp";
    machine.InstallTool(exposed);
    int attempts = 0;
    bool heldWhileStarting = false;
    // Over the file, or in its place.
    const auto replace = [](const std::wstring& file) {
        if (!Os().CopyFileW(L"C:\\Users\\Operator\\program.exe", file.c_str(), FALSE) &&
            Os().DeleteFileW(file.c_str())) {
            Os().CopyFileW(L"C:\\Users\\Operator\\program.exe", file.c_str(), TRUE);
        }
    };
    machine.SetActorBetweenCalls(user, [&](const std::string& operation) {
        if (operation == "CreateProcessW") {
            // What is started must be what was copied: nobody, an administrator included, may change it now.
            for (const std::wstring& copyFolder : RelaunchFolders()) {
                for (const std::wstring& file : machine.volume.ListFiles(copyFolder)) {
                    heldWhileStarting = machine.volume.Delete(file) == ERROR_ACCESS_DENIED;
                }
            }
        }
        for (const std::wstring& place : {machine.tempPath, windowsTemp}) {
            for (const std::wstring& found : machine.volume.ListFolders(place)) {
                ++attempts;
                const std::wstring moved = found + L".old";
                if (Os().MoveFileExW(found.c_str(), moved.c_str(), 0)) {
                    Os().CreateDirectoryW(found.c_str(), nullptr);
                }
                for (const std::wstring& file : machine.volume.ListFiles(moved)) {
                    const std::wstring name = file.substr(file.rfind(L'\\'));
                    Os().CopyFileW(L"C:\\Users\\Operator\\program.exe", (found + name).c_str(), FALSE);
                }
            }
            for (const std::wstring& file : machine.volume.ListFiles(place)) {
                ++attempts;
                replace(file);
            }
        }
        for (const std::wstring& copyFolder : RelaunchFolders()) {
            // A DLL beside the copy would be loaded by anything that searches the program's folder.
            Os().CopyFileW(L"C:\\Users\\Operator\\program.exe", (copyFolder + L"\\version.dll").c_str(), TRUE);
            for (const std::wstring& file : machine.volume.ListFiles(copyFolder)) {
                ++attempts;
                replace(file);
            }
        }
    });

    machine.RunTool(uninstaller, L"");
    machine.SetActorBetweenCalls(user, nullptr);

    EXPECT_GT(attempts, 10);
    EXPECT_TRUE(heldWhileStarting);
    EXPECT_EQ(machine.volume.ReadFile(exposed), kOtherProgram) << "in the user's temporary folder it would have won";
    ASSERT_EQ(machine.Launches().size(), 1u);
    EXPECT_TRUE(machine.Launches()[0].toolImage) << "started " << sim::Utf8(machine.Launches()[0].imagePath);
    EXPECT_THAT(machine.Launches()[0].imagePath, StartsWith(windowsTemp + L"\\unins-"));
    ASSERT_THAT(RelaunchFolders(), SizeIs(1));
    EXPECT_THAT(machine.volume.ListFiles(RelaunchFolders()[0]), SizeIs(1)) << "only the copy is in its folder";
    EXPECT_THAT(machine.messageBoxes.Shown(), IsEmpty());
}

TEST_F(StartupScenario, CopiesAreDeletedAtTheNextRestartAndDoNotPileUp)
{
    machine.InstallTool(uninstaller);
    for (int run = 0; run < 3; ++run) {
        CloseUninstallDialog();
        machine.RunTool(uninstaller, L"");
        machine.RunLaunchedTools();
    }
    const auto launches = machine.Launches();
    ASSERT_EQ(launches.size(), 3u);
    EXPECT_NE(launches[0].imagePath, launches[1].imagePath);
    EXPECT_THAT(RelaunchFolders(), SizeIs(3)) << "a running copy cannot delete itself";

    machine.Restart();
    EXPECT_THAT(RelaunchFolders(), IsEmpty());
    EXPECT_THAT(machine.volume.ListFiles(machine.tempPath), ElementsAre(machine.tempPath + L"PrinterSetup.log"));
}

TEST_F(StartupScenario, ACopyThatCannotStartIsReportedAndLeavesNothingBehind)
{
    // unins000.exe is damaged: its copy is no program Windows can start.
    machine.volume.WriteFile(uninstaller, "damaged");
    machine.messageBoxes.Expect(RelaunchFailed(ERROR_BAD_EXE_FORMAT), L"Message", MB_OK | MB_ICONERROR, IDOK);
    machine.RunTool(uninstaller, L"");
    EXPECT_THAT(machine.Launches(), IsEmpty());
    EXPECT_THAT(RelaunchFolders(), IsEmpty());
    EXPECT_THAT(machine.volume.PendingRenames(), IsEmpty());
}

// Wine leaves some failures without an error code: a failure is never taken for success.
TEST_F(StartupScenario, ALaunchThatFailsWithoutAnErrorCodeIsStillAFailure)
{
    machine.InstallTool(uninstaller);
    machine.faults.FailCall("CreateProcessW", 1, ERROR_SUCCESS);
    machine.messageBoxes.Expect(RelaunchFailed(ERROR_GEN_FAILURE), L"Message", MB_OK | MB_ICONERROR, IDOK);
    machine.RunTool(uninstaller, L"");
    EXPECT_THAT(RelaunchFolders(), IsEmpty());
}

TEST_F(StartupScenario, AFolderThatCannotBeMadeIsReportedInTheUsersLanguage)
{
    machine.uiLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    machine.InstallTool(uninstaller);
    machine.faults.FailCall("CreateDirectoryW", 1, ERROR_DISK_FULL);
    machine.messageBoxes.Expect(L"卸载程序无法启动，错误码:112，请重试或联系技术支持。", L"提示信息",
                                MB_OK | MB_ICONERROR, IDOK);
    machine.RunTool(uninstaller, L"");
    EXPECT_THAT(machine.Launches(), IsEmpty());
}

// The folder's name is a fresh GUID, but whatever is there under it, a link
// included, is never used.
TEST_F(StartupScenario, AFolderPlantedUnderTheCopyFoldersNameIsNeverUsed)
{
    machine.InstallTool(uninstaller);
    // The simulated machine's GUIDs are the same in every run: the first one is known.
    const std::wstring planted = windowsTemp + L"\\unins-5a1d00017e3c4b1f9a410c2e61773d08";
    machine.RunAs(user, [&] { ASSERT_TRUE(Os().CreateDirectoryW(planted.c_str(), nullptr)); });
    machine.volume.SetReparsePoint(planted);
    machine.messageBoxes.Expect(RelaunchFailed(ERROR_ALREADY_EXISTS), L"Message", MB_OK | MB_ICONERROR, IDOK);
    machine.RunTool(uninstaller, L"");
    EXPECT_THAT(machine.Launches(), IsEmpty());
    EXPECT_THAT(machine.volume.ListFiles(planted), IsEmpty());
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

} // namespace
