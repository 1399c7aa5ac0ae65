// Window operations of the simulated machine: the tool's dialogs from their
// templates, its icon, and the calls on its windows.
#include "res/resource.h"
#include "res/texts.inc"
#include "sim/sim_platform.h"

namespace sim {

namespace {

// IDD_UNINSTALL as the resource script defines it. There is an English
// (neutral) and a Simplified Chinese template; any other language gets the
// English one.
DialogTemplate UninstallTemplate(LANGID uiLanguage)
{
    const bool chinese = uiLanguage == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    DialogTemplate dialog;
    dialog.id = IDD_UNINSTALL;
    dialog.caption = chinese ? L"" TEXT_ZH_UNINSTALL_CAPTION : L"" TEXT_EN_UNINSTALL_CAPTION;
    dialog.controls = {
        {IDOK, ControlKind::Button, chinese ? L"" TEXT_ZH_REMOVE_BUTTON : L"" TEXT_EN_REMOVE_BUTTON, true, true},
        {IDCANCEL, ControlKind::Button, chinese ? L"" TEXT_ZH_CLOSE_BUTTON : L"" TEXT_EN_CLOSE_BUTTON, true, true},
        {IDC_COMPONENT_TREE, ControlKind::TreeView, L"", true, true},
        {IDC_HEADLINE, ControlKind::Static, chinese ? L"" TEXT_ZH_HEADLINE : L"" TEXT_EN_HEADLINE, true, false},
        {IDC_PROGRESS, ControlKind::ProgressBar, L"", false, false},
    };
    return dialog;
}

// IDD_INSTALL_PROGRESS: the step's line and two bars in one place, the
// marquee shown and the measured bar hidden at first.
DialogTemplate InstallProgressTemplate(LANGID uiLanguage)
{
    const bool chinese = uiLanguage == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    DialogTemplate dialog;
    dialog.id = IDD_INSTALL_PROGRESS;
    dialog.caption = chinese ? L"" TEXT_ZH_INSTALL_CAPTION : L"" TEXT_EN_INSTALL_CAPTION;
    dialog.controls = {
        {IDC_STEP_TEXT, ControlKind::Static, L"", true, false},
        {IDC_STEP_MARQUEE, ControlKind::ProgressBar, L"", true, false},
        {IDC_STEP_BAR, ControlKind::ProgressBar, L"", false, false},
    };
    return dialog;
}

// The icon's handle: any value that is no other object's.
const uintptr_t kToolIconHandle = 0x7A0000 | IDI_APPLICATION_ICON;

// The dialog manager's answer, with its error code as the thread's last error.
template <typename Operation> auto Answer(Operation operation)
{
    DWORD error = ERROR_SUCCESS;
    auto result = operation(&error);
    if (error != ERROR_SUCCESS) {
        SetLastErrorCode(error);
    }
    return result;
}

} // namespace

INT_PTR SimPlatform::DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC procedure,
                                     LPARAM param)
{
    if (Injected("DialogBoxParamW")) {
        return -1;
    }
    if (instance != machine_.CurrentProcess().instance) {
        machine_.ReportViolation("DialogBoxParamW with an instance handle that is not the tool's module");
        SetLastErrorCode(ERROR_RESOURCE_DATA_NOT_FOUND);
        return -1;
    }
    const ULONG_PTR id = IS_INTRESOURCE(templateName) ? reinterpret_cast<ULONG_PTR>(templateName) : 0;
    if (id != IDD_UNINSTALL && id != IDD_INSTALL_PROGRESS) {
        machine_.ReportViolation("DialogBoxParamW of a dialog template the tool does not have");
        SetLastErrorCode(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    const DialogTemplate dialog =
        id == IDD_UNINSTALL ? UninstallTemplate(machine_.uiLanguage) : InstallProgressTemplate(machine_.uiLanguage);
    // A thread that runs a dialog waits for the workers it may need.
    machine_.ReleaseWorkers();
    return Answer([&](DWORD* error) { return machine_.dialogs.RunModal(dialog, owner, procedure, param, error); });
}

BOOL SimPlatform::EndDialog(HWND dialog, INT_PTR result)
{
    if (Injected("EndDialog")) {
        return FALSE;
    }
    return Answer([&](DWORD* error) { return machine_.dialogs.EndDialog(dialog, result, error); });
}

HWND SimPlatform::GetDlgItem(HWND dialog, int id)
{
    if (Injected("GetDlgItem")) {
        return nullptr;
    }
    return Answer([&](DWORD* error) { return machine_.dialogs.GetDlgItem(dialog, id, error); });
}

BOOL SimPlatform::EnableWindow(HWND window, BOOL enable)
{
    if (Injected("EnableWindow")) {
        return FALSE;
    }
    return Answer([&](DWORD* error) { return machine_.dialogs.EnableWindow(window, enable, error); });
}

BOOL SimPlatform::ShowWindow(HWND window, int command)
{
    if (Injected("ShowWindow")) {
        return FALSE;
    }
    return Answer([&](DWORD* error) { return machine_.dialogs.ShowWindow(window, command, error); });
}

LRESULT SimPlatform::SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (Injected("SendMessageW")) {
        return 0;
    }
    return Answer([&](DWORD* error) { return machine_.dialogs.SendMessageW(window, message, wParam, lParam, error); });
}

BOOL SimPlatform::PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (Injected("PostMessageW")) {
        return FALSE;
    }
    return Answer([&](DWORD* error) { return machine_.dialogs.PostMessageW(window, message, wParam, lParam, error); });
}

HICON SimPlatform::LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    if (Injected("LoadIconW")) {
        return nullptr;
    }
    if (instance != machine_.CurrentProcess().instance) {
        machine_.ReportViolation("LoadIconW with an instance handle that is not the tool's module");
        SetLastErrorCode(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (!IS_INTRESOURCE(name) || reinterpret_cast<ULONG_PTR>(name) != IDI_APPLICATION_ICON) {
        SetLastErrorCode(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HICON>(kToolIconHandle);
}

HMENU SimPlatform::GetSystemMenu(HWND window, BOOL revert)
{
    if (Injected("GetSystemMenu")) {
        return nullptr;
    }
    if (revert) {
        NotModelled("GetSystemMenu reverting the menu");
        return nullptr;
    }
    return Answer([&](DWORD* error) { return machine_.dialogs.GetSystemMenu(window, error); });
}

BOOL SimPlatform::EnableMenuItem(HMENU menu, UINT item, UINT flags)
{
    if (Injected("EnableMenuItem")) {
        return -1;
    }
    return Answer([&](DWORD* error) { return machine_.dialogs.EnableMenuItem(menu, item, flags, error); });
}

} // namespace sim
