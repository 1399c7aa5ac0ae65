// probe_target.exe: windows and debugger output for the probe's self-test.
//
//   probe_target.exe msgbox <error|question|warning|information|none> <caption> <text>
//       MB_OKCANCEL message box; exit code is the button pressed (1 OK, 2 Cancel)
//   probe_target.exe dialog
//       "Probe Target": tree 1001, progress 1003 at 60, a hidden button 1004, "Remove" (1, enabled after 500 ms)
//       and "Close" (2); exit code is the id of the button pressed, 3 if "Remove" got a command
//       while disabled (a click there is impossible, so the probe pressed too early)
//   probe_target.exe emit <n> [tag]
//       n lines of debugger output, each as the text and then "\n"; line 2 is 767 characters
//   probe_target.exe emit-partial <text>
//       debugger output without the closing "\n"
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "probe_target.h"

namespace {

constexpr UINT_PTR kEnableTimer = 1;
constexpr UINT kEnableDelayMs = 500;
constexpr size_t kLongLineChars = 767;
constexpr int kPressedWhileDisabled = 3;
constexpr int kBadUsage = 100;

int ShowMessageBox(const std::wstring& icon, const std::wstring& caption, const std::wstring& text)
{
    UINT style = MB_OKCANCEL;
    if (icon == L"error")
        style |= MB_ICONERROR;
    else if (icon == L"question")
        style |= MB_ICONQUESTION;
    else if (icon == L"warning")
        style |= MB_ICONWARNING;
    else if (icon == L"information")
        style |= MB_ICONINFORMATION;
    else if (icon != L"none")
        return kBadUsage;
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), style);
}

HTREEITEM AddItem(HWND tree, HTREEITEM parent, const wchar_t* text)
{
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(text);
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void Expand(HWND tree, HTREEITEM item)
{
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

// Depths 0-2, expanded and collapsed parents, a leaf root and a Chinese item.
void FillTree(HWND tree)
{
    HTREEITEM packages = AddItem(tree, TVI_ROOT, L"Driver packages");
    HTREEITEM inf = AddItem(tree, packages, L"demo-one.inf");
    AddItem(tree, inf, L"demo-one.dll");
    HTREEITEM chinese = AddItem(tree, packages, L"\u6253\u5370\u673a\u9a71\u52a8");
    AddItem(tree, chinese, L"Queue A");
    AddItem(tree, chinese, L"Queue B");
    HTREEITEM monitors = AddItem(tree, TVI_ROOT, L"Monitors");
    AddItem(tree, monitors, L"Demo monitor");
    AddItem(tree, TVI_ROOT, L"Empty root");
    Expand(tree, packages);
    Expand(tree, chinese);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        FillTree(GetDlgItem(dialog, IDC_TREE));
        SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 60, 0);
        SetTimer(dialog, kEnableTimer, kEnableDelayMs, nullptr);
        return TRUE;
    case WM_TIMER:
        KillTimer(dialog, kEnableTimer);
        EnableWindow(GetDlgItem(dialog, IDC_REMOVE), TRUE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_REMOVE && !IsWindowEnabled(GetDlgItem(dialog, IDC_REMOVE)))
            EndDialog(dialog, kPressedWhileDisabled);
        else if (LOWORD(wParam) == IDC_REMOVE || LOWORD(wParam) == IDC_CLOSE)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

int ShowDialog(HINSTANCE instance)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    return static_cast<int>(DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROBE_TARGET), nullptr, DialogProc, 0));
}

std::wstring EmittedLine(const std::wstring& tag, int number)
{
    std::wstring line = tag + L" line " + std::to_wstring(number);
    if (number == 1)
        line += L"\twith a tab";
    if (number == 2) {
        line += L" ";
        for (size_t i = 0; line.size() < kLongLineChars; ++i)
            line += static_cast<wchar_t>(L'a' + i % 10);
    }
    return line;
}

int Emit(int count, const std::wstring& tag)
{
    for (int number = 1; number <= count; ++number) {
        OutputDebugStringW(EmittedLine(tag, number).c_str());
        OutputDebugStringW(L"\n");
    }
    return 0;
}

int Run(HINSTANCE instance, int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"msgbox" && argc == 5)
        return ShowMessageBox(argv[2], argv[3], argv[4]);
    if (mode == L"dialog" && argc == 2)
        return ShowDialog(instance);
    if (mode == L"emit" && (argc == 3 || argc == 4))
        return Emit(_wtoi(argv[2]), argc == 4 ? argv[3] : L"emit");
    if (mode == L"emit-partial" && argc == 3) {
        OutputDebugStringW(argv[2]);
        return 0;
    }
    return kBadUsage;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const int result = argv ? Run(instance, argc, argv) : kBadUsage;
    LocalFree(argv);
    return result;
}
