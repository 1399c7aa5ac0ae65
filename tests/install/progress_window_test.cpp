// Install mode's progress window on the simulated machine: what the user sees
// from the first scan to the end, over virtual time. Every story runs twice,
// with the window and without it (a window that cannot be made): the boxes,
// their order and the virtual time must be the same, because the window only
// watches the work.
#include <string>
#include <utility>
#include <vector>

#include "common/progress_report.h"
#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::wstring kScanning = L"Looking for printers...";
const std::wstring kWaiting = L"Waiting for Windows to set up the printer...";
const std::wstring kCopying = L"Copying the driver files...";
const std::wstring kRegistering = L"Registering the driver...";
const std::wstring kQueue = L"Creating the print queue...";
const std::wstring kSpooler = L"Restarting the print spooler...";
const std::wstring kNoPrinter = L"No printer found, please turn on the printer and plug in to your computer.";

std::wstring Installing(const std::wstring& printer, const std::wstring& port)
{
    return L"Installing the driver for the printer [" + printer + L"] on the port [" + port + L"]...";
}

std::wstring Installed(const std::wstring& printer, const std::wstring& port)
{
    return L"The printer [" + printer + L"] is installed on the port [" + port + L"].";
}

// (virtual time, position) of the measured bar.
using Positions = std::vector<std::pair<uint64_t, int>>;

// A second a step, from 0 to 100 in `parts` steps, from `start` on.
Positions Seconds(uint64_t start, int parts)
{
    Positions positions;
    for (int done = 0; done <= parts; ++done) {
        positions.push_back({start + 1000u * static_cast<uint64_t>(done), done * 100 / parts});
    }
    return positions;
}

class InstallProgress : public SimTest, public ::testing::WithParamInterface<bool> {
protected:
    InstallProgress()
    {
        InstallDriverFolder(machine, kDriverFolder);
        if (!WithWindow()) {
            machine.faults.FailCall("DialogBoxParamW", 1, ERROR_NOT_ENOUGH_MEMORY);
        }
    }

    bool WithWindow() const { return GetParam(); }

    // With a switch the exit code is the outcome (without one it is always 0); /NORESTART
    // changes nothing else, so the boxes show as they do for a person at the desk.
    int StartTool() { return machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L"/NORESTART"); }

    void ExpectBox(const std::wstring& text, UINT type, int answer, std::function<void()> whileShown = nullptr)
    {
        machine.messageBoxes.Expect(text, L"Message", type, answer, std::move(whileShown));
    }

    sim::DialogRun Window()
    {
        std::vector<sim::DialogRun> runs = machine.dialogs.Runs(IDD_INSTALL_PROGRESS);
        EXPECT_EQ(runs.size(), 1u) << "one progress window a run";
        return runs.empty() ? sim::DialogRun{} : runs.front();
    }

    std::vector<std::wstring> Steps()
    {
        std::vector<std::wstring> steps;
        for (const sim::TextStep& step : Window().texts) {
            steps.push_back(step.text);
        }
        return steps;
    }

    Positions BarPositions()
    {
        Positions positions;
        for (const sim::ProgressStep& step : Window().progress) {
            positions.push_back({step.atMs, step.position});
        }
        return positions;
    }

    // What the window shows while a box asks: it is there, with its last step,
    // and the marquee for a step of unknown length, else the measured bar.
    std::function<void()> WindowShows(const std::wstring& step, bool marquee)
    {
        return [this, step, marquee] {
            if (!WithWindow()) {
                return;
            }
            const sim::DialogRun window = machine.dialogs.Runs(IDD_INSTALL_PROGRESS).at(0);
            EXPECT_TRUE(window.running) << "the window stays while the box asks";
            EXPECT_EQ(window.Control(IDC_STEP_TEXT).text, step);
            EXPECT_EQ(window.Control(IDC_STEP_MARQUEE).visible, marquee);
            EXPECT_EQ(window.Control(IDC_STEP_BAR).visible, !marquee);
        };
    }

    // The run ends with the window closed by the work, or never had one.
    void ExpectTheWindowEnded()
    {
        if (!WithWindow()) {
            EXPECT_THAT(machine.dialogs.Runs(), IsEmpty());
            EXPECT_THAT(machine.debug.Lines(), Contains(L"DialogBoxParam failed, errcode:8."));
            return;
        }
        const sim::DialogRun window = Window();
        EXPECT_FALSE(window.running);
        EXPECT_EQ(window.result, IDOK) << "closed by the work's end";
    }
};

TEST_P(InstallProgress, TheTypicalInstallShowsItsStepsAndTheWaitSecondBySecond)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    ExpectBox(Installed(L"VADedudoro PX630KT", L"USB001"), MB_ICONINFORMATION, IDOK, WindowShows(kWaiting, false));
    EXPECT_EQ(StartTool(), 0);
    EXPECT_EQ(machine.clock.NowMs(), 10000u);
    EXPECT_EQ(machine.messageBoxes.Shown().at(0).owner, nullptr) << "the box has no owner, as before";
    ExpectTheWindowEnded();
    if (!WithWindow()) {
        return;
    }
    const sim::DialogRun window = Window();
    EXPECT_EQ(window.caption, L"Install printer driver");
    EXPECT_NE(window.icons[ICON_BIG], nullptr);
    EXPECT_EQ(window.icons[ICON_SMALL], window.icons[ICON_BIG]);
    EXPECT_FALSE(window.closeBoxEnabled);
    EXPECT_THAT(Steps(), ElementsAre(kScanning, Installing(L"VADedudoro PX630KT", L"USB001"), kWaiting));
    // Plug and Play gets its ten seconds, and the bar shows each one passing.
    EXPECT_THAT(BarPositions(), ElementsAreArray(Seconds(0, 10)));
    // The marquee runs until the wait, whose length is known, shows on the bar.
    const std::vector<std::string> log = window.Log();
    EXPECT_EQ(log.at(0), "marquee 1006 on");
    EXPECT_THAT(log, Contains("hide 1006"));
    EXPECT_THAT(log, Contains("show 1005"));
    // Each step is written to the run log as the user saw it.
    const std::string runLog = machine.volume.ReadFile(machine.tempPath + L"PrinterSetup.log").value_or("");
    EXPECT_LT(runLog.find("Progress: Looking for printers..."),
              runLog.find("Progress: Waiting for Windows to set up the printer..."));
    EXPECT_NE(runLog.find("Progress: Waiting for Windows"), std::string::npos);
}

TEST_P(InstallProgress, TheManualPathShowsEachPart)
{
    machine.spooler.bindingDoesNothing = true;
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    ExpectBox(Installed(L"VADedudoro PX630KT", L"USB001"), MB_ICONINFORMATION, IDOK, WindowShows(kQueue, false));
    EXPECT_EQ(StartTool(), 0);
    EXPECT_EQ(machine.clock.NowMs(), 10000u);
    ExpectTheWindowEnded();
    if (!WithWindow()) {
        return;
    }
    EXPECT_THAT(Steps(), ElementsAre(kScanning, Installing(L"VADedudoro PX630KT", L"USB001"), kWaiting, kCopying,
                                     kRegistering, kQueue));
    // The wait's ten seconds; the driver and the queue appear at the first look.
    Positions expected = Seconds(0, 10);
    expected.insert(expected.end(), {{10000, 0}, {10000, 0}});
    EXPECT_THAT(BarPositions(), ElementsAreArray(expected));
}

TEST_P(InstallProgress, APortTheSpoolerDoesNotListYetShowsTheSpoolersRestart)
{
    machine.spooler.usbPortsNeedRestart = true;
    machine.spooler.stopDelayMs = 300;
    machine.spooler.startDelayMs = 500;
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT")); // after the spooler started
    ExpectBox(Installed(L"VADedudoro PX630KT", L"USB001"), MB_ICONINFORMATION, IDOK, WindowShows(kSpooler, false));
    EXPECT_EQ(StartTool(), 0);
    EXPECT_EQ(machine.clock.NowMs(), 10800u);
    ExpectTheWindowEnded();
    if (!WithWindow()) {
        return;
    }
    EXPECT_THAT(Steps(), ElementsAre(kScanning, Installing(L"VADedudoro PX630KT", L"USB001"), kWaiting, kSpooler));
    // The stop and the start are each half of the step.
    Positions expected = Seconds(0, 10);
    expected.insert(expected.end(), {{10000, 0}, {10300, 50}, {10800, 100}});
    EXPECT_THAT(BarPositions(), ElementsAreArray(expected));
}

TEST_P(InstallProgress, AFailureAsksAboveTheWindowAndRetryScansAgainUnderIt)
{
    machine.spooler.bindingDoesNothing = true;
    machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    ExpectBox(L"The printer driver install failed, error code:1801. Please contact our technical support.",
              MB_RETRYCANCEL | MB_ICONERROR, IDRETRY, [this] {
                  WindowShows(kQueue, false)();
                  WriteDriverFolder(machine, kDriverFolder);
              });
    ExpectBox(Installed(L"VADedudoro PX630KT", L"USB001"), MB_ICONINFORMATION, IDOK);
    EXPECT_EQ(StartTool(), 0);
    // The package names the missing file, so the first pass goes by hand at once and looks for
    // the queue for five seconds; the second gives Plug and Play its ten.
    EXPECT_EQ(machine.clock.NowMs(), 15000u);
    ExpectTheWindowEnded();
    if (!WithWindow()) {
        return;
    }
    const std::vector<std::wstring> steps = Steps();
    ASSERT_EQ(steps.size(), 10u);
    // The first pass's five seconds of looking for the queue, then the second pass's wait.
    Positions expected = Seconds(0, 5);
    const Positions wait = Seconds(5000, 10);
    expected.insert(expected.end(), wait.begin(), wait.end());
    expected.insert(expected.end(), {{15000, 0}, {15000, 0}});
    EXPECT_THAT(BarPositions(), ElementsAreArray(expected));
    EXPECT_THAT(
        std::vector<std::wstring>(steps.begin() + 4, steps.end()),
        ElementsAre(kScanning, Installing(L"VADedudoro PX630KT", L"USB001"), kWaiting, kCopying, kRegistering, kQueue))
        << "the retry starts with a new scan, in the same window";
}

TEST_P(InstallProgress, WithNoPrinterTheQuestionAsksWhileTheWindowSaysItIsLooking)
{
    ExpectBox(kNoPrinter, MB_OKCANCEL | MB_ICONQUESTION, IDOK, [this] {
        WindowShows(kScanning, true)();
        machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    });
    ExpectBox(Installed(L"VADedudoro PX630KT", L"USB001"), MB_ICONINFORMATION, IDOK);
    EXPECT_EQ(StartTool(), 0);
    EXPECT_EQ(machine.clock.NowMs(), 10000u);
    ExpectTheWindowEnded();
    if (WithWindow()) {
        EXPECT_THAT(Steps(), ElementsAre(kScanning, kScanning, Installing(L"VADedudoro PX630KT", L"USB001"), kWaiting));
    }
}

TEST_P(InstallProgress, TwoPrintersAreInstalledOneAfterTheOtherInOneWindow)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.devices.Plug(FamilyPrinter(L"SN2", 2, L"PX520KT"));
    ExpectBox(Installed(L"VADedudoro PX520KT", L"USB002"), MB_ICONINFORMATION, IDOK, WindowShows(kWaiting, false));
    ExpectBox(Installed(L"VADedudoro PX630KT", L"USB001"), MB_ICONINFORMATION, IDOK, WindowShows(kWaiting, false));
    EXPECT_EQ(StartTool(), 0);
    EXPECT_EQ(machine.clock.NowMs(), 20000u);
    ExpectTheWindowEnded();
    if (WithWindow()) {
        EXPECT_THAT(Steps(), ElementsAre(kScanning, Installing(L"VADedudoro PX520KT", L"USB002"), kWaiting,
                                         Installing(L"VADedudoro PX630KT", L"USB001"), kWaiting));
        EXPECT_THAT(BarPositions().back(), (std::pair<uint64_t, int>(20000, 100)));
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutTheWindow, InstallProgress, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithTheWindow" : "WithoutAWindow";
                         });

class ProgressWindowAlone : public SimTest {
protected:
    ProgressWindowAlone()
    {
        InstallDriverFolder(machine, kDriverFolder);
        machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    }
    int StartTool(const std::wstring& switches = L"")
    {
        return machine.RunTool(kDriverFolder + L"PrinterSetup.exe", switches);
    }
    void ExpectInstalledBox()
    {
        machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001"), L"Message", MB_ICONINFORMATION, IDOK);
    }
    sim::DialogRun Window() { return machine.dialogs.Runs(IDD_INSTALL_PROGRESS).at(0); }
};

// Nothing stops the work half-way: the spooler would stay stopped, a driver half-registered.
TEST_F(ProgressWindowAlone, TheCloseBoxEscAndAltF4DoNothingWhileTheWorkRuns)
{
    ExpectInstalledBox();
    const sim::When working = [](const sim::DialogView& view) { return view.threadsRunning != 0; };
    machine.dialogs.ScriptCloseBox(working);
    machine.dialogs.ScriptEscape(working);
    EXPECT_EQ(StartTool(), 0);
    const sim::DialogRun window = Window();
    EXPECT_THAT(window.Log(), Contains("user clicks the close box"));
    EXPECT_THAT(window.Log(), Contains("user presses Esc"));
    EXPECT_EQ(window.result, IDOK);
    ASSERT_FALSE(window.progress.empty());
    EXPECT_EQ(window.progress.back().position, 100) << "the wait ran to its end";
    EXPECT_NE(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);
}

// /SILENT shows the window without the success box; /VERYSILENT shows nothing at all.
TEST_F(ProgressWindowAlone, OnlyAVerySilentRunHasNoWindow)
{
    EXPECT_EQ(StartTool(L"/SILENT"), 0);
    EXPECT_EQ(Window().result, IDOK);
    EXPECT_EQ(Window().texts.size(), 3u);
    ASSERT_NE(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);

    InstallDriverFolder(machine, L"C:\\Other\\");
    machine.devices.Plug(FamilyPrinter(L"SN2", 2, L"PX630KT"));
    EXPECT_EQ(machine.RunTool(L"C:\\Other\\PrinterSetup.exe", L"/VERYSILENT"), 0);
    EXPECT_EQ(machine.dialogs.Runs().size(), 1u) << "the first run's window alone";
    EXPECT_NE(machine.spooler.FindQueue(L"VADedudoro PX630KT (Copy 1)"), nullptr);
}

// Without a thread for the work, the work runs on the window's thread, without the window.
TEST_F(ProgressWindowAlone, WithoutAThreadTheWorkRunsWithoutTheWindow)
{
    ExpectInstalledBox();
    machine.faults.FailCall("CreateThread", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(StartTool(), 0);
    EXPECT_EQ(machine.clock.NowMs(), 10000u);
    EXPECT_EQ(Window().result, IDCANCEL);
    EXPECT_THAT(Window().texts, IsEmpty());
    EXPECT_EQ(machine.faults.Calls("SendMessageW"), 3) << "the window's set-up; nothing once it is gone";
    EXPECT_THAT(machine.debug.Lines(), Contains(L"CreateThread failed, errcode:8."));
    EXPECT_NE(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);
}

// The end of the work must reach the window, or the window would wait for ever.
TEST_F(ProgressWindowAlone, AnEndThatCannotBePostedIsSent)
{
    ExpectInstalledBox();
    machine.faults.FailCall("PostMessageW", 1, ERROR_NOT_ENOUGH_QUOTA);
    EXPECT_EQ(StartTool(), 0);
    EXPECT_EQ(Window().result, IDOK);
}

// Another program may send the window its own messages: an end before the work's is
// ignored, and a step message carries no address the window would read.
TEST_F(ProgressWindowAlone, MessagesFromElsewhereNeitherCloseTheWindowNorPointItAnywhere)
{
    machine.spooler.bindingDoesNothing = true;
    machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
    machine.messageBoxes.Expect(
        L"The printer driver install failed, error code:1801. Please contact our technical support.", L"Message",
        MB_RETRYCANCEL | MB_ICONERROR, IDRETRY, [this] {
            WriteDriverFolder(machine, kDriverFolder);
            HWND window = machine.dialogs.Runs(IDD_INSTALL_PROGRESS).at(0).dialog;
            DWORD error = 0;
            machine.dialogs.PostMessageW(window, WM_USER + 4, 0, 0, &error);
            machine.dialogs.SendMessageW(window, WM_USER + 3, STEP_LENGTH_UNKNOWN, 0x7FFF0000, &error);
        });
    ExpectInstalledBox();
    EXPECT_EQ(StartTool(), 0);
    const sim::DialogRun window = Window();
    EXPECT_EQ(window.result, IDOK);
    EXPECT_EQ(window.texts.size(), 10u) << "the second pass still shows its six steps";
}

// A step shown between the failing call and its box must not change the error the box names.
TEST_F(ProgressWindowAlone, TheWindowsMessagesLeaveTheLastErrorToTheWork)
{
    machine.spooler.bindingDoesNothing = true;
    machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
    machine.faults.FailFrom("SendMessageW", 1, ERROR_ACCESS_DENIED);
    machine.messageBoxes.Expect(
        L"The printer driver install failed, error code:1801. Please contact our technical support.", L"Message",
        MB_RETRYCANCEL | MB_ICONERROR, IDCANCEL);
    EXPECT_EQ(StartTool(), 0);
    EXPECT_EQ(Window().result, IDOK);
}

} // namespace
