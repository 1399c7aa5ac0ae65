// The simulated dialog manager and shell answer as Windows does: the dialog
// from its template, messages in Windows' order, a user who acts only when
// the script's condition holds, and deletions that go to the Recycle Bin.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <thread>

#include "common/platform.h"
#include "res/resource.h"
#include "sim/machine.h"
#include "sim/sim_platform.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> g_procedure;

INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_procedure ? g_procedure(dialog, message, wParam, lParam) : FALSE;
}

DWORD WINAPI RunWork(LPVOID work)
{
    (*static_cast<std::function<void()>*>(work))();
    return 0;
}

class SimDialog : public ::testing::Test {
protected:
    SimDialog()
    {
        SetPlatform(&platform);
        instance = machine.BeginProcess(L"C:\\Drivers\\PX Series\\PrinterSetup.exe", L"");
    }
    ~SimDialog() override
    {
        machine.EndProcess();
        g_procedure = nullptr;
        SetPlatform(nullptr);
    }
    void TearDown() override
    {
        machine.JoinThreads();
        EXPECT_THAT(machine.Violations(), violations);
    }
    INT_PTR Run(LPARAM param = 0)
    {
        return Os().DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_UNINSTALL), nullptr, TestDialogProc, param);
    }
    // A thread of the tool, started as the tool starts its workers.
    void StartWorker(std::function<void()> work)
    {
        work_.push_back(std::make_unique<std::function<void()>>(std::move(work)));
        Os().CloseHandle(Os().CreateThread(nullptr, 0, RunWork, work_.back().get(), 0, nullptr));
    }
    static void WaitForPending(sim::Machine& machine, size_t count)
    {
        while (machine.dialogs.PendingMessages() < count) {
            std::this_thread::yield();
        }
    }

    sim::Machine machine;
    sim::SimPlatform platform{machine};
    HINSTANCE instance = nullptr;
    ::testing::Matcher<std::vector<std::string>> violations = IsEmpty();
    std::vector<std::unique_ptr<std::function<void()>>> work_;
};

// WaitForSingleObject on a thread lets the held workers go on and returns only once that thread has ended.
TEST_F(SimDialog, AWaitForAThreadReturnsOnlyOnceItHasEnded)
{
    static std::atomic<bool> done{false};
    done = false;
    machine.HoldWorkers(); // as after a dialog that ended while its worker ran
    HANDLE thread = Os().CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            Os().Sleep(1);
            done = true;
            return 0;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(Os().WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(done);
    EXPECT_EQ(Os().WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
    Os().CloseHandle(thread);
}

TEST_F(SimDialog, TheUninstallDialogComesFromItsTemplate)
{
    std::pair<WPARAM, LPARAM> initial;
    g_procedure = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            initial = {wParam, lParam};
            EXPECT_EQ(Os().GetDlgItem(dialog, 1004), nullptr);
            EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
            Os().EndDialog(dialog, 5);
        }
        return FALSE;
    };
    EXPECT_EQ(Run(42), 5);

    // Its texts are checked in the executable, its caption in each language by the uninstall scenarios.
    sim::DialogRun run = machine.dialogs.Runs().at(0);
    // WM_INITDIALOG names the first tab stop, "Remove", and passes the caller's parameter.
    EXPECT_EQ(initial, std::make_pair(reinterpret_cast<WPARAM>(run.Control(IDOK).hwnd), LPARAM(42)));
    std::set<HWND> handles{run.dialog};
    for (const sim::ControlState& control : run.controls) {
        handles.insert(control.hwnd);
        EXPECT_EQ(control.visible, control.id != IDC_PROGRESS) << control.id;
    }
    EXPECT_EQ(handles.size(), 6u);
}

TEST_F(SimDialog, SentMessagesFromOtherThreadsComeBeforePostedOnesWhichKeepTheirOrder)
{
    std::vector<UINT> order;
    std::atomic<bool> sentHandled{false};
    std::atomic<bool> handledBeforeReturn{false};
    g_procedure = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            Os().PostMessageW(dialog, WM_USER + 1, 0, 0);
            Os().PostMessageW(dialog, WM_USER + 2, 0, 0);
            StartWorker([&, dialog] {
                Os().SendMessageW(dialog, WM_USER + 3, 0, 0);
                handledBeforeReturn = sentHandled.load();
            });
            WaitForPending(machine, 3);
        } else if (message >= WM_USER) {
            order.push_back(message);
            sentHandled = sentHandled || message == WM_USER + 3;
            if (message == WM_USER + 2) {
                Os().EndDialog(dialog, 9);
            }
        }
        return FALSE;
    };
    EXPECT_EQ(Run(), 9);
    machine.JoinThreads();
    EXPECT_THAT(order, ElementsAre(WM_USER + 3, WM_USER + 1, WM_USER + 2));
    EXPECT_TRUE(handledBeforeReturn);
}

TEST_F(SimDialog, AWorkersWindowChangesAreLoggedInOrderAndTheUserWaitsForIdle)
{
    std::vector<INT_PTR> answers;
    std::pair<WPARAM, LPARAM> command;
    g_procedure = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            StartWorker([&, dialog] {
                HWND ok = Os().GetDlgItem(dialog, IDOK);
                HWND progress = Os().GetDlgItem(dialog, IDC_PROGRESS);
                answers = {Os().EnableWindow(ok, FALSE),       Os().EnableWindow(ok, FALSE),
                           Os().ShowWindow(progress, SW_SHOW), Os().SendMessageW(progress, PBM_SETPOS, 80, 0),
                           Os().ShowWindow(progress, SW_HIDE), Os().EnableWindow(ok, TRUE)};
                Os().PostMessageW(progress, PBM_SETPOS, 150, 0);
            });
        } else if (message == WM_COMMAND) {
            command = {wParam, lParam};
            Os().EndDialog(dialog, IDOK);
        }
        return FALSE;
    };
    machine.dialogs.ScriptPress(IDOK);
    EXPECT_EQ(Run(), IDOK);

    sim::DialogRun run = machine.dialogs.Runs().at(0);
    EXPECT_THAT(answers, ElementsAre(FALSE, TRUE, FALSE, 0, TRUE, TRUE));
    EXPECT_THAT(run.Log(), ElementsAre("disable 1", "show 1003", "position 80 sent", "hide 1003", "enable 1",
                                       "position 100 posted", "user presses 1"));
    ASSERT_EQ(run.progress.size(), 2u);
    EXPECT_TRUE(run.progress[0].visible);
    EXPECT_FALSE(run.progress[1].visible);
    EXPECT_EQ(command, std::make_pair(MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(run.Control(IDOK).hwnd)));
}

TEST_F(SimDialog, EnterActsWhateverTheButtonsAndTheCloseBoxOnlyWhileCancelIsEnabled)
{
    std::atomic<bool> workerWentOn{false};
    bool wentOnBeforeEnter = true;
    std::vector<std::pair<UINT, LPARAM>> received;
    g_procedure = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        HWND ok = Os().GetDlgItem(dialog, IDOK);
        HWND cancel = Os().GetDlgItem(dialog, IDCANCEL);
        if (message == WM_INITDIALOG) {
            Os().EnableWindow(cancel, FALSE);
        } else if (message == WM_CLOSE && received.empty()) {
            StartWorker([&, ok, cancel] {
                Os().EnableWindow(ok, FALSE);
                workerWentOn = true;
                Os().EnableWindow(ok, TRUE);
                Os().EnableWindow(cancel, TRUE);
            });
        }
        if (message == WM_CLOSE || message == WM_COMMAND) {
            received.emplace_back(message == WM_CLOSE ? WM_CLOSE : LOWORD(wParam), lParam);
            wentOnBeforeEnter = wParam == IDOK ? workerWentOn.load() : wentOnBeforeEnter;
        }
        return message == WM_COMMAND && wParam == IDCANCEL ? Os().EndDialog(dialog, IDCANCEL) : FALSE;
    };
    machine.dialogs.ScriptCloseBox(sim::Disabled(IDCANCEL));
    machine.dialogs.ScriptEnter(sim::Disabled(IDOK));
    machine.dialogs.ScriptCloseBox();
    EXPECT_EQ(Run(), IDCANCEL);

    EXPECT_FALSE(wentOnBeforeEnter) << "the user acts the moment the button is disabled";
    // The first close box finds Cancel disabled; the second gets Cancel's command.
    LPARAM cancel = reinterpret_cast<LPARAM>(machine.dialogs.Runs().at(0).Control(IDCANCEL).hwnd);
    EXPECT_THAT(received,
                ElementsAre(std::make_pair(UINT(WM_CLOSE), LPARAM(0)), std::make_pair(UINT(IDOK), LPARAM(0)),
                            std::make_pair(UINT(WM_CLOSE), LPARAM(0)), std::make_pair(UINT(IDCANCEL), cancel)));
}

TEST_F(SimDialog, MisuseAndAScriptThatDoesNotFitTheDialogAreFindingsNotHangs)
{
    EXPECT_EQ(Os().DialogBoxParamW(nullptr, MAKEINTRESOURCEW(IDD_UNINSTALL), nullptr, TestDialogProc, 0), -1);
    EXPECT_EQ(Os().DialogBoxParamW(instance, MAKEINTRESOURCEW(107), nullptr, TestDialogProc, 0), -1);
    EXPECT_FALSE(Os().PostMessageW(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    // "Remove" stays disabled and nothing runs that could enable it.
    g_procedure = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            Os().EnableWindow(Os().GetDlgItem(dialog, IDOK), FALSE);
        }
        return FALSE;
    };
    machine.dialogs.ScriptPress(IDOK);
    machine.dialogs.ScriptNextDialog();
    machine.dialogs.ScriptEscape();
    EXPECT_EQ(Run(), -1);
    // This one ends by itself, leaving the Esc unused.
    g_procedure = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        return message == WM_INITDIALOG ? Os().EndDialog(dialog, IDOK) : FALSE;
    };
    EXPECT_EQ(Run(), IDOK);

    EXPECT_EQ(machine.dialogs.UnusedActions(), 0u);
    violations = ElementsAre(HasSubstr("instance handle"), HasSubstr("template"), HasSubstr("no window"),
                             HasSubstr("waits for a user action"), HasSubstr("1 scripted user actions unused"));
}

// What the tree shows, from a buffer the tool reuses, is every uninstall scenario's.
TEST_F(SimDialog, OnlyTheDialogThreadMayTouchTheTree)
{
    g_procedure = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            StartWorker([dialog] {
                Os().SendMessageW(Os().GetDlgItem(dialog, IDC_COMPONENT_TREE), TVM_GETCOUNT, 0, 0);
                Os().PostMessageW(dialog, WM_USER + 1, 0, 0);
            });
        } else if (message == WM_USER + 1) {
            Os().EndDialog(dialog, IDCANCEL);
        }
        return FALSE;
    };
    EXPECT_EQ(Run(), IDCANCEL);
    violations = ElementsAre(HasSubstr("sends a message to the tree view"));
}

TEST_F(SimDialog, WindowsOfAnEndedDialogFailQuietlyAndReleaseTheirSenders)
{
    LRESULT answer = 1;
    std::vector<DWORD> lateErrors;
    g_procedure = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            HWND ok = Os().GetDlgItem(dialog, IDOK);
            StartWorker([&, dialog, ok] {
                answer = Os().SendMessageW(dialog, WM_USER + 7, 0, 0);
                // A kept handle, and the null that GetDlgItem now gives.
                Os().EnableWindow(ok, FALSE);
                lateErrors.push_back(Os().GetLastError());
                Os().ShowWindow(Os().GetDlgItem(dialog, IDC_PROGRESS), SW_SHOW);
                lateErrors.push_back(Os().GetLastError());
            });
            WaitForPending(machine, 1);
            Os().EndDialog(dialog, 3);
        }
        EXPECT_NE(message, static_cast<UINT>(WM_USER + 7)) << "the dialog is gone";
        return FALSE;
    };
    EXPECT_EQ(Run(), 3);
    machine.JoinThreads();
    EXPECT_EQ(answer, 0);
    EXPECT_THAT(lateErrors, ElementsAre(ERROR_INVALID_WINDOW_HANDLE, ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(machine.dialogs.Runs().at(0).threadsRunningAtEnd, 1u);
}

// Windows ends every thread of a process whose entry returns: a worker
// still at work does nothing more, and the story learns what it was about to do.
TEST_F(SimDialog, WorkersStillAtWorkEndWithTheProcess)
{
    std::atomic<bool> wentOn{false};
    g_procedure = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            StartWorker([&, dialog] {
                Os().SendMessageW(dialog, WM_USER, 0, 0);
                Os().Sleep(1000);
                wentOn = true;
            });
            WaitForPending(machine, 1);
            Os().EndDialog(dialog, 1);
        }
        return FALSE;
    };
    EXPECT_EQ(Run(), 1);
    machine.EndWorkerThreads();
    EXPECT_THAT(machine.WorkersCutShort(), ElementsAre("Sleep"));
    EXPECT_FALSE(wentOn);
    EXPECT_EQ(machine.clock.NowMs(), 0u);
}

// Each limit stops a story that passes it on whichever thread runs away:
// the entry's, the dialog's or a worker's, and the story is named.
struct Runaway {
    const char* limit;
    void (*lower)(sim::StoryLimits&);
    void (*step)();
};

void PrintTo(const Runaway& runaway, std::ostream* out)
{
    *out << runaway.limit;
}

class SimLimits : public SimDialog, public ::testing::WithParamInterface<Runaway> {
protected:
    SimLimits()
    {
        GetParam().lower(machine.limits);
        violations = ::testing::Contains(HasSubstr(std::string("the story ran away: ") + GetParam().limit));
    }
    [[noreturn]] static void Forever()
    {
        for (;;) {
            GetParam().step();
        }
    }
};

TEST_P(SimLimits, StopTheEntrysThread)
{
    EXPECT_THROW(Forever(), sim::RunawayStory);
}

TEST_P(SimLimits, StopTheDialogsThread)
{
    g_procedure = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            Forever();
        }
        return FALSE;
    };
    EXPECT_THROW(Run(), sim::RunawayStory);
    EXPECT_EQ(machine.dialogs.Runs().size(), 1u) << "the dialog is ended, not left open";
}

TEST_P(SimLimits, StopTheDialogsThreadWhileAWorkerWaitsOnIt)
{
    g_procedure = [this](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            StartWorker([dialog] { Os().SendMessageW(dialog, WM_USER, 0, 0); });
        } else if (message == WM_USER) {
            Forever();
        }
        return FALSE;
    };
    EXPECT_THROW(Run(), sim::RunawayStory);
    machine.JoinThreads();
}

TEST_P(SimLimits, StopAWorker)
{
    // The limits are the story's, not a thread's: the worker starts once this thread has made its last call.
    std::atomic<bool> started{false};
    StartWorker([&started] {
        while (!started) {
            std::this_thread::yield();
        }
        Forever();
    });
    started = true;
    machine.JoinThreads();
}

INSTANTIATE_TEST_SUITE_P(
    EachLimit, SimLimits,
    ::testing::Values(Runaway{"6 s of virtual time", [](sim::StoryLimits& l) { l.virtualMs = 5000; },
                              [] { Os().Sleep(1000); }},
                      Runaway{"4 message boxes", [](sim::StoryLimits& l) { l.messageBoxes = 3; },
                              [] { Os().MessageBoxW(nullptr, L"Again?", nullptr, MB_OK); }},
                      Runaway{"6 scans for printers", [](sim::StoryLimits& l) { l.scans = 5; },
                              [] { Os().SetupDiGetClassDevsW(nullptr, nullptr, nullptr, 0); }},
                      Runaway{"51 platform calls", [](sim::StoryLimits& l) { l.platformCalls = 50; },
                              [] { Os().GetFileAttributesW(L"C:\\missing"); }}));

class SimShell : public SimDialog {
protected:
    const std::wstring folder = L"C:\\Drivers\\PX Series";
    const std::wstring monitor = folder + L"\\amd64\\qxvprtmon.dll";
    SimShell()
    {
        machine.volume.WriteFile(folder + L"\\qxvprtv6.inf", "inf");
        machine.volume.WriteFile(monitor, "monitor");
    }
    int Delete(const wchar_t* list, FILEOP_FLAGS flags)
    {
        SHFILEOPSTRUCTW operation = {nullptr, FO_DELETE, list, nullptr, flags, 7, nullptr, nullptr};
        int result = Os().SHFileOperationW(&operation);
        aborted = operation.fAnyOperationsAborted;
        return result;
    }
    BOOL aborted = 0;
};

TEST_F(SimShell, AFolderGoesToTheRecycleBinWithEverythingInItUnlessTheUserDeclines)
{
    machine.shell.confirmDeletion = false;
    EXPECT_EQ(Delete(L"C:\\Drivers\\PX Series\0", FOF_ALLOWUNDO), ERROR_CANCELLED);
    EXPECT_TRUE(aborted);
    EXPECT_TRUE(machine.volume.FileExists(monitor));

    machine.shell.confirmDeletion = true;
    // Windows takes the folder with its trailing backslash.
    EXPECT_EQ(Delete(L"C:\\Drivers\\PX Series\\\0", FOF_ALLOWUNDO), 0);
    EXPECT_FALSE(aborted);
    EXPECT_FALSE(machine.volume.FileExists(monitor));
    auto bin = machine.volume.RecycleBin();
    ASSERT_EQ(bin.size(), 1u);
    EXPECT_THAT(bin[0].files, ElementsAre(monitor, folder + L"\\qxvprtv6.inf"));

    EXPECT_EQ(machine.volume.Restore(L"c:\\drivers\\px series\\"), 0u);
    EXPECT_EQ(machine.volume.ReadFile(monitor), "monitor");
    EXPECT_THAT(machine.volume.RecycleBin(), IsEmpty());
}

TEST_F(SimShell, MissingUnterminatedAndPermanentDeletes)
{
    EXPECT_EQ(Delete(L"C:\\Drivers\\Gone\0", FOF_ALLOWUNDO | FOF_NOCONFIRMATION), ERROR_FILE_NOT_FOUND);
    std::wstring unterminated(40000, L'x');
    EXPECT_NE(Delete(unterminated.c_str(), FOF_ALLOWUNDO), 0);
    // Without FOF_ALLOWUNDO nothing is kept.
    EXPECT_EQ(Delete(L"C:\\Drivers\\PX Series\0", FOF_NOCONFIRMATION), 0);
    EXPECT_FALSE(machine.volume.FileExists(monitor));
    EXPECT_THAT(machine.volume.RecycleBin(), IsEmpty());
    EXPECT_THAT(machine.shell.PermanentlyDeleted(), ElementsAre(folder));
    EXPECT_FALSE(machine.shell.FileOperations().back().confirmationShown);
    violations = ElementsAre(HasSubstr("double NUL"));
}

} // namespace
