// Uninstall mode's one window: the component tree with "Remove" and "Close".
#pragma once

#include "common/wintypes.h"

// Runs the dialog until the user closes it or a removal that succeeded does.
void UninstallDialog();
INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Reads the inventory and has the dialog show it.
DWORD WINAPI ScanThread(LPVOID dialog);
void FillComponentTree(HWND dialog);
