// Which mode a start selects, and the folder it works on, from the command
// line and the executable's own name.
#include <cstring>
#include <string>

#include "app/startup.h"
#include "common/globals.h"
#include "tests/support/sim_test.h"

namespace {

struct Decision {
    StartupMode mode;
    std::wstring installDirectory;
};

class StartupModeTest : public SimTest {
protected:
    Decision Decide(const std::wstring& imagePath, const std::wstring& commandLine)
    {
        Decision decision{STARTUP_MODE_NONE, L"?"};
        machine.InstallTool(imagePath);
        machine.SetToolEntry([&](HINSTANCE, const wchar_t* arguments) {
            std::memset(InstallDirectory, 0, sizeof(InstallDirectory));
            WCHAR modulePath[MAX_PATH] = {0};
            decision.mode = PrepareStartup(arguments, modulePath);
            decision.installDirectory = InstallDirectory;
            return 0;
        });
        machine.RunTool(imagePath, commandLine);
        return decision;
    }

    const std::wstring setup = L"C:\\Drivers\\PX\\PrinterSetup.exe";
    const std::wstring uninstaller = L"C:\\Drivers\\PX\\unins000.exe";
};

MATCHER_P2(IsDecision, mode, folder, "")
{
    return arg.mode == mode && arg.installDirectory == folder;
}

TEST_F(StartupModeTest, WithoutTheSwitchTheToolInstallsFromItsOwnFolder)
{
    EXPECT_THAT(Decide(setup, L""), IsDecision(STARTUP_MODE_INSTALL, L"C:\\Drivers\\PX\\"));
}

TEST_F(StartupModeTest, TheSwitchTakesEverythingAfterItVerbatim)
{
    EXPECT_THAT(Decide(setup, L"-u C:\\My Drivers\\PX Series\\"),
                IsDecision(STARTUP_MODE_UNINSTALL, L"C:\\My Drivers\\PX Series\\"));
    EXPECT_THAT(Decide(setup, L"/log -u C:\\x y"), IsDecision(STARTUP_MODE_UNINSTALL, L"C:\\x y"));
    EXPECT_THAT(Decide(setup, L"-u  C:\\x"), IsDecision(STARTUP_MODE_UNINSTALL, L" C:\\x"));
    EXPECT_THAT(Decide(setup, L"-u -u C:\\x"), IsDecision(STARTUP_MODE_UNINSTALL, L"-u C:\\x"));
    EXPECT_THAT(Decide(uninstaller, L"-u C:\\Other\\"), IsDecision(STARTUP_MODE_UNINSTALL, L"C:\\Other\\"))
        << "the switch wins over the uninstaller's name";
}

TEST_F(StartupModeTest, ASwitchWithNothingAfterItOrWrittenDifferentlyIsNoSwitch)
{
    EXPECT_THAT(Decide(setup, L"-u "), IsDecision(STARTUP_MODE_INSTALL, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(setup, L"-u"), IsDecision(STARTUP_MODE_INSTALL, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(setup, L"-U C:\\x"), IsDecision(STARTUP_MODE_INSTALL, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(setup, L"-uC:\\x"), IsDecision(STARTUP_MODE_INSTALL, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(uninstaller, L"-u "), IsDecision(STARTUP_MODE_RELAUNCH, L"C:\\Drivers\\PX\\"));
}

TEST_F(StartupModeTest, OnlyTheExactNameUnins000Relaunches)
{
    EXPECT_THAT(Decide(uninstaller, L""), IsDecision(STARTUP_MODE_RELAUNCH, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(L"C:\\Drivers\\PX\\unins000.EXE", L""), IsDecision(STARTUP_MODE_RELAUNCH, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(L"C:\\Drivers\\PX\\unins000", L""), IsDecision(STARTUP_MODE_RELAUNCH, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(L"C:\\Drivers\\PX\\Unins000.exe", L""), IsDecision(STARTUP_MODE_INSTALL, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(L"C:\\Drivers\\PX\\unins0001.exe", L""), IsDecision(STARTUP_MODE_INSTALL, L"C:\\Drivers\\PX\\"));
    EXPECT_THAT(Decide(L"C:\\Drivers\\PX\\unins00.exe", L""), IsDecision(STARTUP_MODE_INSTALL, L"C:\\Drivers\\PX\\"));
}

TEST_F(StartupModeTest, AFolderThatDoesNotFitIsRefusedNotCut)
{
    std::wstring longest = L"C:\\" + std::wstring(256, L'd'); // 259 characters
    EXPECT_THAT(Decide(setup, L"-u " + longest), IsDecision(STARTUP_MODE_UNINSTALL, longest));
    // Cut to 259 characters this would name C:\ddd...d, a different folder.
    std::wstring tooLong = longest + L"\\";
    EXPECT_THAT(Decide(setup, L"-u " + tooLong), IsDecision(STARTUP_MODE_NONE, L""));
}

TEST_F(StartupModeTest, AnUnreadableModulePathRunsNothing)
{
    machine.faults.FailCall("GetModuleFileNameW", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_THAT(Decide(setup, L""), IsDecision(STARTUP_MODE_NONE, L""));

    std::wstring deep = L"C:\\" + std::wstring(250, L'f') + L"\\PrinterSetup.exe";
    EXPECT_THAT(Decide(deep, L""), IsDecision(STARTUP_MODE_NONE, L""))
        << "a path cut at 260 characters names some other folder";
}

} // namespace
