#include "uninstall/dialog_state.h"

#include "common/platform.h"
#include "res/resource.h"

std::atomic<int> ActiveWorker{WORKER_NONE};
std::atomic<int> UninstallOutcome{0};
std::atomic<bool> NothingWasInstalled{false};

void EnableDialogButtons(HWND dialog, BOOL enable)
{
    Os().EnableWindow(Os().GetDlgItem(dialog, IDOK), enable);
    Os().EnableWindow(Os().GetDlgItem(dialog, IDCANCEL), enable);
}

void FinishWorker(HWND dialog)
{
    if (!Os().PostMessageW(dialog, WM_WORKER_DONE, 0, 0)) {
        // The dialog cannot be told (its queue is full): the worker gives the buttons back itself.
        EnableDialogButtons(dialog, TRUE);
        ActiveWorker = WORKER_NONE;
    }
}
