// Install mode's progress window. The work runs on a thread of its own, so
// this thread keeps the window painted, movable and answering through every
// fixed wait and every long platform call (a driver install through Plug and
// Play can take as long as Windows likes); pumping messages between the
// sleeps would leave the window dead during those calls. The work's message
// boxes still come without owner, from the work's thread, above the window.
#pragma once

#include "common/wintypes.h"

// Runs the install loop behind the progress window and returns its outcome.
// In a /VERYSILENT run, or when the window or its thread cannot be made, the
// loop runs on this thread without a window. Returns only when the work has
// ended (the process must never end with the spooler stopped); should even
// the wait for it fail, that is logged and the run counts as failed.
int RunInstallLoopWithProgress();

INT_PTR CALLBACK InstallProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
