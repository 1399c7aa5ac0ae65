// What the uninstall dialog shares with its workers: the messages they post,
// which of them is busy, and the buttons they take and give back.
#pragma once

#include <atomic>

#include "common/wintypes.h"

// Posted by a worker when the inventory changed: the dialog thread rebuilds the tree.
#define WM_REFRESH_TREE (WM_USER + 1)
// Posted by a worker after its last change to the inventory: the dialog thread
// gives the buttons back and lets the next worker start, in one step no input
// can come between.
#define WM_WORKER_DONE (WM_USER + 2)

// Which worker is busy with the inventory; the dialog starts no second one meanwhile.
enum DialogWorker {
    WORKER_NONE = 0,
    WORKER_SCAN = 1,
    WORKER_REMOVAL = 2,
    WORKER_CLOSING = 3, // a removal that succeeded and is closing the dialog
};
extern std::atomic<int> ActiveWorker;

// What the removal came to, as an exit code: set by the removal worker; a
// dialog closed without one is the user's cancel.
extern std::atomic<int> UninstallOutcome;
// Whether the inventory the removal began with held nothing of the family.
extern std::atomic<bool> NothingWasInstalled;

// The two buttons, enabled or not.
void EnableDialogButtons(HWND dialog, BOOL enable);
// A worker's end: the buttons back and no worker busy, through the dialog thread.
void FinishWorker(HWND dialog);
