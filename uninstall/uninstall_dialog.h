// Uninstall mode's one window: the component tree with "Remove" and "Close".
#pragma once

#include "common/wintypes.h"

// Runs the dialog until the user closes it or a removal that succeeded does.
// False when it could not be shown.
bool UninstallDialog();
// Uninstall mode as the switches ask: the dialog (with /SILENT it presses
// "Remove" itself and closes when done), or with /VERYSILENT no window at
// all. Returns the exit code.
int RunUninstallMode();
INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Reads the inventory and has the dialog show it.
DWORD WINAPI ScanThread(LPVOID dialog);
void FillComponentTree(HWND dialog);
