// Operations the simulated machine does not model yet: each call is a test
// failure, so no test passes by accident on an operation that only pretends.
#include "sim/sim_platform.h"

namespace sim {

BOOL SimPlatform::EnumPrinterDriversW(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD)
{
    NotModelled("EnumPrinterDriversW");
    return FALSE;
}

BOOL SimPlatform::EnumPrintersW(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD)
{
    NotModelled("EnumPrintersW");
    return FALSE;
}

BOOL SimPlatform::EnumPortsW(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD)
{
    NotModelled("EnumPortsW");
    return FALSE;
}

BOOL SimPlatform::OpenPrinterW(LPWSTR, LPHANDLE, LPPRINTER_DEFAULTSW)
{
    NotModelled("OpenPrinterW");
    return FALSE;
}

BOOL SimPlatform::ClosePrinter(HANDLE)
{
    NotModelled("ClosePrinter");
    return FALSE;
}

BOOL SimPlatform::SetPrinterW(HANDLE, DWORD, LPBYTE, DWORD)
{
    NotModelled("SetPrinterW");
    return FALSE;
}

BOOL SimPlatform::DeletePrinter(HANDLE)
{
    NotModelled("DeletePrinter");
    return FALSE;
}

HANDLE SimPlatform::AddPrinterW(LPWSTR, DWORD, LPBYTE)
{
    NotModelled("AddPrinterW");
    return nullptr;
}

BOOL SimPlatform::AddPrinterDriverW(LPWSTR, DWORD, LPBYTE)
{
    NotModelled("AddPrinterDriverW");
    return FALSE;
}

BOOL SimPlatform::AddMonitorW(LPWSTR, DWORD, LPBYTE)
{
    NotModelled("AddMonitorW");
    return FALSE;
}

BOOL SimPlatform::DeletePrinterDriverExW(LPWSTR, LPWSTR, LPWSTR, DWORD, DWORD)
{
    NotModelled("DeletePrinterDriverExW");
    return FALSE;
}

BOOL SimPlatform::DeleteMonitorW(LPWSTR, LPWSTR, LPWSTR)
{
    NotModelled("DeleteMonitorW");
    return FALSE;
}

HRESULT SimPlatform::DeletePrinterDriverPackageW(LPCWSTR, LPCWSTR, LPCWSTR)
{
    NotModelled("DeletePrinterDriverPackageW");
    return HRESULT_FROM_WIN32(ERROR_CALL_NOT_IMPLEMENTED);
}

HRESULT SimPlatform::UploadPrinterDriverPackageW(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, HWND, LPWSTR, PULONG)
{
    NotModelled("UploadPrinterDriverPackageW");
    return HRESULT_FROM_WIN32(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL SimPlatform::GetPrinterDriverDirectoryW(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD)
{
    NotModelled("GetPrinterDriverDirectoryW");
    return FALSE;
}





CONFIGRET SimPlatform::CM_Locate_DevNodeW(PDEVINST, DEVINSTID_W, ULONG)
{
    NotModelled("CM_Locate_DevNodeW");
    return CR_CALL_NOT_IMPLEMENTED;
}

CONFIGRET SimPlatform::CM_Reenumerate_DevNode(DEVINST, ULONG)
{
    NotModelled("CM_Reenumerate_DevNode");
    return CR_CALL_NOT_IMPLEMENTED;
}

BOOL SimPlatform::UpdateDriverForPlugAndPlayDevicesW(HWND, LPCWSTR, LPCWSTR, DWORD, PBOOL)
{
    NotModelled("UpdateDriverForPlugAndPlayDevicesW");
    return FALSE;
}

BOOL SimPlatform::SetupGetInfInformationW(LPCVOID, DWORD, PSP_INF_INFORMATION, DWORD, PDWORD)
{
    NotModelled("SetupGetInfInformationW");
    return FALSE;
}

BOOL SimPlatform::SetupQueryInfVersionInformationW(PSP_INF_INFORMATION, UINT, PCWSTR, PWSTR, DWORD, PDWORD)
{
    NotModelled("SetupQueryInfVersionInformationW");
    return FALSE;
}







SC_HANDLE SimPlatform::OpenSCManagerW(LPCWSTR, LPCWSTR, DWORD)
{
    NotModelled("OpenSCManagerW");
    return nullptr;
}

SC_HANDLE SimPlatform::OpenServiceW(SC_HANDLE, LPCWSTR, DWORD)
{
    NotModelled("OpenServiceW");
    return nullptr;
}

BOOL SimPlatform::QueryServiceStatusEx(SC_HANDLE, SC_STATUS_TYPE, LPBYTE, DWORD, LPDWORD)
{
    NotModelled("QueryServiceStatusEx");
    return FALSE;
}

BOOL SimPlatform::ControlService(SC_HANDLE, DWORD, LPSERVICE_STATUS)
{
    NotModelled("ControlService");
    return FALSE;
}

BOOL SimPlatform::StartServiceW(SC_HANDLE, DWORD, LPCWSTR*)
{
    NotModelled("StartServiceW");
    return FALSE;
}

BOOL SimPlatform::CloseServiceHandle(SC_HANDLE)
{
    NotModelled("CloseServiceHandle");
    return FALSE;
}

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
