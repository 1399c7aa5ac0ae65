// Operations the simulated machine does not model yet: each call is a test
// failure, so no test passes by accident on an operation that only pretends.
#include "sim/sim_platform.h"

namespace sim {

int SimPlatform::SHFileOperationW(LPSHFILEOPSTRUCTW)
{
    NotModelled("SHFileOperationW");
    return 0;
}

void SimPlatform::SHChangeNotify(LONG, UINT, LPCVOID, LPCVOID)
{
    NotModelled("SHChangeNotify");
}

INT_PTR SimPlatform::DialogBoxParamW(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM)
{
    NotModelled("DialogBoxParamW");
    return -1;
}

BOOL SimPlatform::EndDialog(HWND, INT_PTR)
{
    NotModelled("EndDialog");
    return FALSE;
}

HWND SimPlatform::GetDlgItem(HWND, int)
{
    NotModelled("GetDlgItem");
    return nullptr;
}

BOOL SimPlatform::EnableWindow(HWND, BOOL)
{
    NotModelled("EnableWindow");
    return FALSE;
}

BOOL SimPlatform::ShowWindow(HWND, int)
{
    NotModelled("ShowWindow");
    return FALSE;
}

LRESULT SimPlatform::SendMessageW(HWND, UINT, WPARAM, LPARAM)
{
    NotModelled("SendMessageW");
    return 0;
}

BOOL SimPlatform::PostMessageW(HWND, UINT, WPARAM, LPARAM)
{
    NotModelled("PostMessageW");
    return FALSE;
}

} // namespace sim
