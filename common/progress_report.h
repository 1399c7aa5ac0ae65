// The steps that install mode's progress window shows, as the work reports
// them from its own thread. Without a window (uninstall mode, /VERYSILENT, a
// window that could not be made) every report does nothing. A report never
// changes the thread's last error: a failure box still names the error the
// work's last call left.
#pragma once

#include <atomic>

#include "common/wintypes.h"

// Sent by the work's thread to the window, whose own thread alone touches
// its controls. wParam: the bar's position in percent, or
// STEP_LENGTH_UNKNOWN for the marquee; lParam: STEP_TEXT_CHANGED when the
// step's text is new. The text itself is in StepText, never behind a pointer
// in the message: the window takes no address from a message someone else
// may have sent. Sent, not posted, so the work waits while the window reads.
#define WM_SHOW_STEP (WM_USER + 3)
const WPARAM STEP_LENGTH_UNKNOWN = static_cast<WPARAM>(-1);
const LPARAM STEP_TEXT_CHANGED = 1;

// The progress window while it shows; null otherwise.
extern std::atomic<HWND> ProgressWindow;
// The current step's text: written by the work before it sends
// WM_SHOW_STEP, read by the window while the work waits in that send.
extern WCHAR StepText[512];

// A new step: with `total` 0 its length is unknown and the bar runs as a
// marquee; otherwise the bar stands at 0 of `total`.
void ShowStep(UINT textId, int total);
// As ShowStep, for a text that names the printer and its port.
void ShowPrinterStep(UINT textId, const WCHAR* printer, const WCHAR* port);
// `done` of the step's `total` parts are done.
void ShowStepDone(int done, int total);
