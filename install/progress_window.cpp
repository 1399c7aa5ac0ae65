#include "install/progress_window.h"

#include <atomic>

#include "common/globals.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/progress_report.h"
#include "common/run_options.h"
#include "install/install_loop.h"
#include "res/resource.h"

namespace {

// Posted by the work's thread when the install loop has returned.
#define WM_INSTALL_DONE (WM_USER + 4)

// The work's thread; made and read on the window's thread only.
HANDLE InstallWorker = nullptr;
// The work's outcome, set once when it has ended: only then may the window close.
const int kWorkRunning = -1;
std::atomic<int> InstallOutcome{kWorkRunning};

DWORD WINAPI InstallThread(LPVOID parameter)
{
    HWND dialog = static_cast<HWND>(parameter);
    const int outcome = RunInstallLoop();
    ProgressWindow = nullptr;
    InstallOutcome = outcome;
    // The window ends only when told: a post that fails is sent instead.
    if (!Os().PostMessageW(dialog, WM_INSTALL_DONE, 0, 0)) {
        Os().SendMessageW(dialog, WM_INSTALL_DONE, 0, 0);
    }
    return 0;
}

void PrepareWindow(HWND dialog)
{
    HICON icon = Os().LoadIconW(InstanceHandle, MAKEINTRESOURCEW(IDI_APPLICATION_ICON));
    if (icon != nullptr) {
        Os().SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        Os().SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    // There is no way to stop the work half-way without leaving the spooler
    // stopped or a driver half-registered, so the close box is greyed.
    HMENU menu = Os().GetSystemMenu(dialog, FALSE);
    if (menu != nullptr) {
        Os().EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    }
    Os().SendMessageW(Os().GetDlgItem(dialog, IDC_STEP_MARQUEE), PBM_SETMARQUEE, TRUE, 0);
}

// The marquee while a step's length is unknown, else the bar at its position.
void ShowStepOnWindow(HWND dialog, WPARAM position, bool textChanged)
{
    if (textChanged) {
        Os().SendMessageW(Os().GetDlgItem(dialog, IDC_STEP_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(StepText));
    }
    const bool lengthKnown = position != STEP_LENGTH_UNKNOWN;
    HWND bar = Os().GetDlgItem(dialog, IDC_STEP_BAR);
    if (lengthKnown) {
        Os().SendMessageW(bar, PBM_SETPOS, position, 0);
    }
    Os().ShowWindow(bar, lengthKnown ? SW_SHOW : SW_HIDE);
    Os().ShowWindow(Os().GetDlgItem(dialog, IDC_STEP_MARQUEE), lengthKnown ? SW_HIDE : SW_SHOW);
}

} // namespace

int RunInstallLoopWithProgress()
{
    if (Options.quiet == QUIET_VERYSILENT) {
        return RunInstallLoop();
    }
    InstallWorker = nullptr;
    InstallOutcome = kWorkRunning;
    const INT_PTR shown =
        Os().DialogBoxParamW(InstanceHandle, MAKEINTRESOURCEW(IDD_INSTALL_PROGRESS), nullptr, InstallProgressProc, 0);
    if (InstallWorker == nullptr) {
        // No window or no thread for the work: it runs here, as it always could.
        if (shown == -1) {
            LogLine("DialogBoxParam failed, errcode:%d.", static_cast<int>(LastFailure()));
        }
        return RunInstallLoop();
    }
    // The window can be gone before the work is (a dialog that failed on the way).
    if (Os().WaitForSingleObject(InstallWorker, INFINITE) != WAIT_OBJECT_0) {
        LogLine("WaitForSingleObject failed, errcode:%d.", static_cast<int>(LastFailure()));
    }
    Os().CloseHandle(InstallWorker);
    InstallWorker = nullptr;
    // A failure unless the work has ended and said otherwise.
    const int outcome = InstallOutcome;
    return outcome != kWorkRunning ? outcome : EXIT_FAILED;
}

INT_PTR CALLBACK InstallProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        PrepareWindow(dialog);
        ProgressWindow = dialog;
        InstallWorker = Os().CreateThread(nullptr, 0, InstallThread, dialog, 0, nullptr);
        if (InstallWorker == nullptr) {
            ProgressWindow = nullptr;
            LogLine("CreateThread failed, errcode:%d.", static_cast<int>(LastFailure()));
            Os().EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    case WM_SHOW_STEP:
        ShowStepOnWindow(dialog, wParam, lParam == STEP_TEXT_CHANGED);
        return TRUE;
    case WM_INSTALL_DONE:
        // Anyone may post this message; only the work's own end closes the window.
        if (InstallOutcome != kWorkRunning) {
            Os().EndDialog(dialog, IDOK);
        }
        return TRUE;
    default:
        // Esc's IDCANCEL included, and WM_CLOSE, which becomes IDCANCEL: nothing stops the work.
        return FALSE;
    }
}
