// The run log: what every run appends for the administrator and for support,
// where it goes, how it stays bounded, and that the elevated tool never
// writes through a link someone planted at its path.
#include <cctype>
#include <string>
#include <vector>

#include "common/run_log.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;

const std::wstring kInstalled = L"The printer [VADedudoro PX630KT] is installed on the port [USB001].";
const std::string kBom = "\xEF\xBB\xBF";

class RunLog : public SimTest {
protected:
    RunLog()
    {
        InstallDriverFolder(machine, kDriverFolder);
        machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    }

    std::wstring DefaultLog() const { return machine.tempPath + L"PrinterSetup.log"; }

    int Run(const std::wstring& switches, const std::wstring& program = L"PrinterSetup.exe")
    {
        return machine.RunTool(kDriverFolder + program, switches);
    }

    int Install(const std::wstring& switches = L"")
    {
        machine.messageBoxes.Expect(kInstalled, L"Message", MB_ICONINFORMATION, IDOK);
        return Run(switches);
    }

    // The entries of a log without their times; each time must be well formed.
    std::vector<std::string> Entries(const std::wstring& path)
    {
        std::string content = machine.volume.ReadFile(path).value_or("");
        EXPECT_EQ(content.substr(0, 3), kBom) << "the file starts as UTF-8";
        content.erase(0, kBom.size());
        std::vector<std::string> entries;
        // "2026-12-08 22:34:13.042 ": '9' stands for any digit.
        const std::string stamp = "9999-99-99 99:99:99.999 ";
        const auto stamped = [&stamp](const std::string& line) {
            for (size_t i = 0; i < stamp.size(); ++i) {
                if (i >= line.size() ||
                    (stamp[i] == '9' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != stamp[i])) {
                    return false;
                }
            }
            return true;
        };
        for (size_t at = 0, end; (end = content.find("\r\n", at)) != std::string::npos; at = end + 2) {
            const std::string line = content.substr(at, end - at);
            EXPECT_TRUE(stamped(line)) << line;
            entries.push_back(line.size() >= 24 ? line.substr(24) : line);
        }
        return entries;
    }

    // The machine's own file that a planted link points at.
    const std::wstring systemFile = L"C:\\Windows\\system32\\drivers\\etc\\hosts";
};

TEST_F(RunLog, EachRunAppendsItsHeaderDiagnosticsBoxesAndExitCode)
{
    ASSERT_EQ(Install(), 0);
    const std::vector<std::wstring> diagnostics = machine.debug.Lines();
    machine.messageBoxes.Expect(L"The command line switch [/quiet] cannot be used here.", L"Message",
                                MB_OK | MB_ICONERROR, IDOK);
    EXPECT_EQ(Run(L"/quiet"), 87);

    const std::vector<std::string> entries = Entries(DefaultLog());
    ASSERT_GE(entries.size(), 14u);
    EXPECT_THAT(std::vector<std::string>(entries.begin(), entries.begin() + 6),
                ElementsAre("==== PrinterSetup 1.0.0.0 ====", "Command line: ", "Windows: 10.0.19045",
                            "User interface language: 0x0409", "Mode: install", "Elevated: yes"));
    std::vector<std::string> expected;
    for (const std::wstring& line : diagnostics) {
        expected.push_back(sim::Utf8(line));
    }
    EXPECT_THAT(entries, IsSupersetOf(expected)) << "every diagnostic line, as the debugger sees it";
    EXPECT_THAT(entries, Contains("Message box: \"" + sim::Utf8(kInstalled) + "\" Answer: OK."));
    EXPECT_THAT(entries, Contains("Exit code: 0."));
    EXPECT_THAT(entries, Contains("Command line: /quiet"));
    EXPECT_EQ(entries.back(), "Exit code: 87.");
    // The installation's waits show in the times: the first run ended ten seconds in.
    EXPECT_THAT(*machine.volume.ReadFile(DefaultLog()), HasSubstr("2026-12-08 09:00:10.000 Exit code: 0."));
}

TEST_F(RunLog, ChineseTextIsWrittenAsUtf8AndAnOutcomeWithoutSwitchIsNamed)
{
    machine.uiLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    machine.devices.Unplug(L"SN1");
    machine.messageBoxes.Expect(L"没有找到打印机，请开机并将USB线接入您的电脑。", L"提示信息",
                                MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL);
    EXPECT_EQ(Run(L""), 0);
    const std::vector<std::string> entries = Entries(DefaultLog());
    EXPECT_THAT(entries, Contains("User interface language: 0x0804"));
    EXPECT_THAT(entries,
                Contains(sim::Utf8(L"Message box: \"没有找到打印机，请开机并将USB线接入您的电脑。\" Answer: Cancel.")));
    EXPECT_THAT(entries, Contains("Outcome: 1602 (an exit code only when a switch is given)."));
    EXPECT_EQ(entries.back(), "Exit code: 0.");
}

TEST_F(RunLog, ABoxNotShownIsLoggedWithTheAnswerItTook)
{
    machine.spooler.bindingDoesNothing = true;
    machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
    EXPECT_EQ(Run(L"/SILENT /SUPPRESSMSGBOXES"), 1603);
    EXPECT_THAT(machine.messageBoxes.Shown(), ::testing::IsEmpty());
    EXPECT_THAT(Entries(DefaultLog()),
                Contains(::testing::AllOf(::testing::StartsWith("Message box not shown (/SUPPRESSMSGBOXES): \"The "
                                                                "printer driver install failed"),
                                          ::testing::EndsWith("Answer: Cancel."))));
}

TEST_F(RunLog, TheLogSwitchTakesAFullPathQuotedOrNotAndMakesItsFolder)
{
    EXPECT_EQ(Run(L"/VERYSILENT /LOG=\"C:\\Deploy logs\\px.log\""), 0);
    EXPECT_THAT(Entries(L"C:\\Deploy logs\\px.log"), Contains("Exit code: 0."));
    EXPECT_EQ(Run(L"/log=C:\\Deploy\\px.log /VERYSILENT"), 0);
    EXPECT_THAT(Entries(L"C:\\Deploy\\px.log"), Contains("Command line: /log=C:\\Deploy\\px.log /VERYSILENT"));
    EXPECT_FALSE(machine.volume.FileExists(DefaultLog())) << "a chosen log replaces the default one";

    EXPECT_EQ(Run(L"\"/LOG=C:\\Deploy logs\\all.log\" /VERYSILENT"), 0) << "the whole switch quoted";
    EXPECT_THAT(Entries(L"C:\\Deploy logs\\all.log"), Contains("Exit code: 0."));
    EXPECT_EQ(Run(L"/LOG=\"C:\\Deploy -u logs\\px.log\" /VERYSILENT"), 0) << "\"-u \" between quotes is the file's";
    EXPECT_THAT(Entries(L"C:\\Deploy -u logs\\px.log"), Contains("Mode: install"));

    // No file, a file that is no full path to a file, a stream, a device path, a quote never closed:
    // refused, quietly, and said so in the default log.
    for (const std::wstring bad : {L"/LOG=", L"/LOG=\"\"", L"/LOG=px.log", L"/LOG=C:\\logs\\", L"/LOG=C:\\x.log:s",
                                   L"/LOG=\\\\?\\C:\\x.log", L"/LOG=\"C:\\x.log", L"/LOG=C:\\a\"b.log", L"/LOGX"}) {
        EXPECT_EQ(Run(bad + L" /VERYSILENT /SUPPRESSMSGBOXES"), 87) << sim::Utf8(bad);
        EXPECT_EQ(Entries(DefaultLog()).back(), "Exit code: 87.");
    }
    EXPECT_THAT(machine.messageBoxes.Shown(), ::testing::IsEmpty());
}

// A log line that cannot be written leaves the error a failure box reports as it was.
TEST_F(RunLog, ALogThatFailsChangesNoErrorTheToolReports)
{
    machine.spooler.bindingDoesNothing = true;
    machine.faults.FailFrom("AddPrinterDriverW", 1, ERROR_ACCESS_DENIED);
    bool armed = false;
    machine.SetActorBetweenCalls(sim::Token{}, [&](const char* operation) {
        const std::string name = operation;
        armed = armed || name == "AddPrinterDriverW";
        if (armed && name == "WriteFile") {
            machine.faults.FailCall("WriteFile", machine.faults.Calls("WriteFile") + 1, ERROR_LOCK_VIOLATION);
            armed = false;
        }
    });
    machine.messageBoxes.Expect(
        L"The printer driver install failed, error code:5. Please contact our technical support.", L"Message",
        MB_RETRYCANCEL | MB_ICONERROR, IDCANCEL);
    EXPECT_EQ(Run(L""), 0);
}

TEST_F(RunLog, RemovalOutcomesAreLogged)
{
    ASSERT_EQ(Install(), 0);
    machine.dialogs.ScriptPress(IDOK);
    machine.messageBoxes.Expect(L"The driver is uninstalled.", L"Message", MB_OK, IDOK);
    machine.RunTool(kDriverFolder + L"unins000.exe", L"");
    machine.RunLaunchedTools();
    const std::vector<std::string> entries = Entries(DefaultLog());
    EXPECT_THAT(entries, Contains("Removed the print queue VADedudoro PX630KT."));
    EXPECT_THAT(entries, Contains("Removed the driver VADedudoro PX630KT."));
    EXPECT_THAT(entries, Contains(HasSubstr("Removed the driver package ")));
    EXPECT_THAT(entries, Contains("Message box: \"The driver is uninstalled.\" Answer: OK."));
}

// The user's temporary folder is the user's: a process without
// administrator rights may have put a link where the log goes.
TEST_F(RunLog, ALinkOrASecondNameAtTheLogsPathIsNeverWrittenThrough)
{
    machine.volume.WriteFile(systemFile, "127.0.0.1 localhost");
    struct Plant {
        std::function<void()> plant;
        std::wstring reason;
    };
    const std::wstring appData = L"C:\\Users\\Operator\\AppData";
    const std::vector<Plant> plants = {
        {[&] { machine.volume.PlantSymbolicLink(DefaultLog(), systemFile); }, L"it is a link or a reparse point"},
        {[&] { machine.volume.PlantHardLink(DefaultLog(), systemFile); }, L"the file has another name (a hard link)"},
        {[&] { machine.volume.SetReparsePoint(machine.tempPath); }, L"its folder is a link or a reparse point"},
    };
    for (const Plant& plant : plants) {
        machine.volume.RemoveTree(appData);
        machine.volume.CreateDirectory(machine.tempPath);
        plant.plant();
        ASSERT_EQ(Run(L"/VERYSILENT"), 0) << "the log changes nothing of the outcome";
        EXPECT_EQ(*machine.volume.ReadFile(systemFile), "127.0.0.1 localhost");
        EXPECT_THAT(machine.debug.Lines(),
                    Contains(L"The log " + DefaultLog() + L" is not written: " + plant.reason + L"."));
    }
}

// Swapping the file for a link between the tool's look and its open does not work either.
TEST_F(RunLog, ALinkPlantedWhileTheToolOpensTheLogIsNotFollowed)
{
    machine.volume.WriteFile(systemFile, "127.0.0.1 localhost");
    sim::Token user;
    user.elevated = false;
    bool planted = false;
    machine.SetActorBetweenCalls(user, [&](const char* operation) {
        if (!planted && std::string(operation) == "CreateFileW" && machine.OpenHandles(sim::HandleKind::Folder) == 1) {
            machine.volume.PlantSymbolicLink(DefaultLog(), systemFile);
            planted = true;
        }
    });
    ASSERT_EQ(Run(L"/VERYSILENT"), 0);
    EXPECT_TRUE(planted);
    EXPECT_EQ(*machine.volume.ReadFile(systemFile), "127.0.0.1 localhost");
}

TEST_F(RunLog, AFullLogMakesWayAndARunCannotFillTheDisk)
{
    const std::string older(kRunLogRotateBytes + 10, 'o');
    machine.volume.WriteFile(DefaultLog(), older);
    machine.volume.WriteFile(DefaultLog() + L".old", "the runs before those");
    // The folder stays held while the full log makes way, so it cannot be swapped for a link meanwhile.
    std::vector<std::wstring> heldWhileRenaming;
    machine.SetActorBetweenCalls(sim::Token{}, [&](const char* operation) {
        if (std::string(operation) == "MoveFileExW") {
            heldWhileRenaming = machine.HeldFolders();
        }
    });
    ASSERT_EQ(Run(L"/VERYSILENT"), 0);
    ASSERT_EQ(heldWhileRenaming.size(), 1u);
    EXPECT_EQ(sim::Volume::Key(heldWhileRenaming[0]), sim::Volume::Key(machine.tempPath));
    EXPECT_EQ(*machine.volume.ReadFile(DefaultLog() + L".old"), older);
    EXPECT_EQ(Entries(DefaultLog()).front(), "==== PrinterSetup 1.0.0.0 ====");

    // One run writes no more than its share, and says where it stopped.
    machine.volume.Delete(DefaultLog());
    machine.BeginProcess(kDriverFolder + L"PrinterSetup.exe", L"");
    OpenRunLog(nullptr);
    const std::wstring line(1000, L'x');
    for (int i = 0; i < 1000; ++i) {
        WriteRunLog(line.c_str());
    }
    CloseRunLog();
    machine.EndProcess();
    EXPECT_LE(machine.volume.ReadFile(DefaultLog())->size(), kRunLogRunBytes);
    EXPECT_EQ(Entries(DefaultLog()).back(), "The log of this run stops here: it has reached its size limit.");

    // A run that has written its share still says how it ended.
    machine.volume.Delete(DefaultLog());
    machine.SetActorBetweenCalls(sim::Token{}, [&](const char* operation) {
        if (std::string(operation) == "SetupDiGetClassDevsW") {
            ::RunLog.bytes = kRunLogRunBytes - 100; // as if the run had written that much already
        }
    });
    ASSERT_EQ(Run(L"/VERYSILENT"), 0);
    EXPECT_EQ(Entries(DefaultLog()).back(), "Exit code: 0.");
}

} // namespace
