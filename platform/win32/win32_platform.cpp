#include "platform/win32/win32_platform.h"

#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

namespace {

// Operations of DLLs that are not KnownDLLs. They are resolved at run time
// from the system directory only, so a DLL planted next to the tool (or in
// the temporary folder it runs from as an uninstaller) is never loaded.
#define DYNAMIC_OPERATIONS(X)                                                                                          \
    X(L"winspool.drv", EnumPrinterDriversW)                                                                            \
    X(L"winspool.drv", EnumPrintersW)                                                                                  \
    X(L"winspool.drv", EnumPortsW)                                                                                     \
    X(L"winspool.drv", EnumMonitorsW)                                                                                  \
    X(L"winspool.drv", OpenPrinterW)                                                                                   \
    X(L"winspool.drv", ClosePrinter)                                                                                   \
    X(L"winspool.drv", SetPrinterW)                                                                                    \
    X(L"winspool.drv", DeletePrinter)                                                                                  \
    X(L"winspool.drv", AddPrinterW)                                                                                    \
    X(L"winspool.drv", AddPrinterDriverW)                                                                              \
    X(L"winspool.drv", AddMonitorW)                                                                                    \
    X(L"winspool.drv", DeletePrinterDriverExW)                                                                         \
    X(L"winspool.drv", DeleteMonitorW)                                                                                 \
    X(L"winspool.drv", DeletePrinterDriverPackageW)                                                                    \
    X(L"winspool.drv", UploadPrinterDriverPackageW)                                                                    \
    X(L"winspool.drv", GetPrinterDriverDirectoryW)                                                                     \
    X(L"setupapi.dll", SetupDiGetClassDevsW)                                                                           \
    X(L"setupapi.dll", SetupDiEnumDeviceInterfaces)                                                                    \
    X(L"setupapi.dll", SetupDiGetDeviceInterfaceDetailW)                                                               \
    X(L"setupapi.dll", SetupDiDestroyDeviceInfoList)                                                                   \
    X(L"setupapi.dll", SetupGetInfInformationW)                                                                        \
    X(L"setupapi.dll", SetupQueryInfVersionInformationW)                                                               \
    X(L"cfgmgr32.dll", CM_Locate_DevNodeW)                                                                             \
    X(L"cfgmgr32.dll", CM_Reenumerate_DevNode)                                                                         \
    X(L"newdev.dll", UpdateDriverForPlugAndPlayDevicesW)

struct DynamicOperations {
#define DECLARE_OPERATION(dll, name) decltype(&::name) name;
    DYNAMIC_OPERATIONS(DECLARE_OPERATION)
#undef DECLARE_OPERATION
};

DynamicOperations g_dynamic;

HMODULE LoadSystemLibrary(LPCWSTR name)
{
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

template <typename Function> void Resolve(Function* slot, LPCWSTR dll, const char* name)
{
    HMODULE module = LoadSystemLibrary(dll);
    *slot =
        module != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

void RegisterCommonControlClasses()
{
    HMODULE comctl = LoadSystemLibrary(L"comctl32.dll");
    if (comctl == nullptr) {
        return;
    }
    auto init = reinterpret_cast<decltype(&::InitCommonControlsEx)>(
        reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
    if (init != nullptr) {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
        init(&controls);
    }
}

BOOL MissingBool()
{
    SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
}

HRESULT MissingHresult()
{
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

#define CALL_OR(name, missing, ...) (g_dynamic.name != nullptr ? g_dynamic.name(__VA_ARGS__) : (missing))

class Win32PlatformImpl final : public PlatformApi {
public:
    BOOL EnumPrinterDriversW(LPWSTR a, LPWSTR b, DWORD c, LPBYTE d, DWORD e, LPDWORD f, LPDWORD g) override
    {
        return CALL_OR(EnumPrinterDriversW, MissingBool(), a, b, c, d, e, f, g);
    }
    BOOL EnumPrintersW(DWORD a, LPWSTR b, DWORD c, LPBYTE d, DWORD e, LPDWORD f, LPDWORD g) override
    {
        return CALL_OR(EnumPrintersW, MissingBool(), a, b, c, d, e, f, g);
    }
    BOOL EnumPortsW(LPWSTR a, DWORD b, LPBYTE c, DWORD d, LPDWORD e, LPDWORD f) override
    {
        return CALL_OR(EnumPortsW, MissingBool(), a, b, c, d, e, f);
    }
    BOOL EnumMonitorsW(LPWSTR a, DWORD b, LPBYTE c, DWORD d, LPDWORD e, LPDWORD f) override
    {
        return CALL_OR(EnumMonitorsW, MissingBool(), a, b, c, d, e, f);
    }
    BOOL OpenPrinterW(LPWSTR a, LPHANDLE b, LPPRINTER_DEFAULTSW c) override
    {
        return CALL_OR(OpenPrinterW, MissingBool(), a, b, c);
    }
    BOOL ClosePrinter(HANDLE a) override { return CALL_OR(ClosePrinter, MissingBool(), a); }
    BOOL SetPrinterW(HANDLE a, DWORD b, LPBYTE c, DWORD d) override
    {
        return CALL_OR(SetPrinterW, MissingBool(), a, b, c, d);
    }
    BOOL DeletePrinter(HANDLE a) override { return CALL_OR(DeletePrinter, MissingBool(), a); }
    HANDLE AddPrinterW(LPWSTR a, DWORD b, LPBYTE c) override
    {
        return CALL_OR(AddPrinterW, (MissingBool(), nullptr), a, b, c);
    }
    BOOL AddPrinterDriverW(LPWSTR a, DWORD b, LPBYTE c) override
    {
        return CALL_OR(AddPrinterDriverW, MissingBool(), a, b, c);
    }
    BOOL AddMonitorW(LPWSTR a, DWORD b, LPBYTE c) override { return CALL_OR(AddMonitorW, MissingBool(), a, b, c); }
    BOOL DeletePrinterDriverExW(LPWSTR a, LPWSTR b, LPWSTR c, DWORD d, DWORD e) override
    {
        return CALL_OR(DeletePrinterDriverExW, MissingBool(), a, b, c, d, e);
    }
    BOOL DeleteMonitorW(LPWSTR a, LPWSTR b, LPWSTR c) override
    {
        return CALL_OR(DeleteMonitorW, MissingBool(), a, b, c);
    }
    HRESULT DeletePrinterDriverPackageW(LPCWSTR a, LPCWSTR b, LPCWSTR c) override
    {
        return CALL_OR(DeletePrinterDriverPackageW, MissingHresult(), a, b, c);
    }
    HRESULT UploadPrinterDriverPackageW(LPCWSTR a, LPCWSTR b, LPCWSTR c, DWORD d, HWND e, LPWSTR f, PULONG g) override
    {
        return CALL_OR(UploadPrinterDriverPackageW, MissingHresult(), a, b, c, d, e, f, g);
    }
    BOOL GetPrinterDriverDirectoryW(LPWSTR a, LPWSTR b, DWORD c, LPBYTE d, DWORD e, LPDWORD f) override
    {
        return CALL_OR(GetPrinterDriverDirectoryW, MissingBool(), a, b, c, d, e, f);
    }

    HDEVINFO SetupDiGetClassDevsW(const GUID* a, PCWSTR b, HWND c, DWORD d) override
    {
        return CALL_OR(SetupDiGetClassDevsW, (MissingBool(), INVALID_HANDLE_VALUE), a, b, c, d);
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO a, PSP_DEVINFO_DATA b, const GUID* c, DWORD d,
                                     PSP_DEVICE_INTERFACE_DATA e) override
    {
        return CALL_OR(SetupDiEnumDeviceInterfaces, MissingBool(), a, b, c, d, e);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO a, PSP_DEVICE_INTERFACE_DATA b, PSP_DEVICE_INTERFACE_DETAIL_DATA_W c,
                                          DWORD d, PDWORD e, PSP_DEVINFO_DATA f) override
    {
        return CALL_OR(SetupDiGetDeviceInterfaceDetailW, MissingBool(), a, b, c, d, e, f);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO a) override
    {
        return CALL_OR(SetupDiDestroyDeviceInfoList, MissingBool(), a);
    }
    CONFIGRET CM_Locate_DevNodeW(PDEVINST a, DEVINSTID_W b, ULONG c) override
    {
        return CALL_OR(CM_Locate_DevNodeW, CR_FAILURE, a, b, c);
    }
    CONFIGRET CM_Reenumerate_DevNode(DEVINST a, ULONG b) override
    {
        return CALL_OR(CM_Reenumerate_DevNode, CR_FAILURE, a, b);
    }
    BOOL UpdateDriverForPlugAndPlayDevicesW(HWND a, LPCWSTR b, LPCWSTR c, DWORD d, PBOOL e) override
    {
        return CALL_OR(UpdateDriverForPlugAndPlayDevicesW, MissingBool(), a, b, c, d, e);
    }
    BOOL SetupGetInfInformationW(LPCVOID a, DWORD b, PSP_INF_INFORMATION c, DWORD d, PDWORD e) override
    {
        return CALL_OR(SetupGetInfInformationW, MissingBool(), a, b, c, d, e);
    }
    BOOL SetupQueryInfVersionInformationW(PSP_INF_INFORMATION a, UINT b, PCWSTR c, PWSTR d, DWORD e, PDWORD f) override
    {
        return CALL_OR(SetupQueryInfVersionInformationW, MissingBool(), a, b, c, d, e, f);
    }

    LSTATUS RegOpenKeyW(HKEY a, LPCWSTR b, PHKEY c) override { return ::RegOpenKeyW(a, b, c); }
    LSTATUS RegOpenKeyExW(HKEY a, LPCWSTR b, DWORD c, REGSAM d, PHKEY e) override
    {
        return ::RegOpenKeyExW(a, b, c, d, e);
    }
    LSTATUS RegEnumKeyW(HKEY a, DWORD b, LPWSTR c, DWORD d) override { return ::RegEnumKeyW(a, b, c, d); }
    LSTATUS RegGetValueW(HKEY a, LPCWSTR b, LPCWSTR c, DWORD d, LPDWORD e, PVOID f, LPDWORD g) override
    {
        return ::RegGetValueW(a, b, c, d, e, f, g);
    }
    LSTATUS RegQueryValueExW(HKEY a, LPCWSTR b, LPDWORD c, LPDWORD d, LPBYTE e, LPDWORD f) override
    {
        return ::RegQueryValueExW(a, b, c, d, e, f);
    }
    LSTATUS RegCloseKey(HKEY a) override { return ::RegCloseKey(a); }
    BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR a, DWORD b, PSECURITY_DESCRIPTOR* c,
                                                              PULONG d) override
    {
        return ::ConvertStringSecurityDescriptorToSecurityDescriptorW(a, b, c, d);
    }
    DWORD GetSecurityInfo(HANDLE a, SE_OBJECT_TYPE b, SECURITY_INFORMATION c, PSID* d, PSID* e, PACL* f, PACL* g,
                          PSECURITY_DESCRIPTOR* h) override
    {
        return ::GetSecurityInfo(a, b, c, d, e, f, g, h);
    }
    BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR a, DWORD b, SECURITY_INFORMATION c,
                                                              LPWSTR* d, PULONG e) override
    {
        return ::ConvertSecurityDescriptorToStringSecurityDescriptorW(a, b, c, d, e);
    }
    SC_HANDLE OpenSCManagerW(LPCWSTR a, LPCWSTR b, DWORD c) override { return ::OpenSCManagerW(a, b, c); }
    SC_HANDLE OpenServiceW(SC_HANDLE a, LPCWSTR b, DWORD c) override { return ::OpenServiceW(a, b, c); }
    BOOL QueryServiceStatusEx(SC_HANDLE a, SC_STATUS_TYPE b, LPBYTE c, DWORD d, LPDWORD e) override
    {
        return ::QueryServiceStatusEx(a, b, c, d, e);
    }
    BOOL ControlService(SC_HANDLE a, DWORD b, LPSERVICE_STATUS c) override { return ::ControlService(a, b, c); }
    BOOL StartServiceW(SC_HANDLE a, DWORD b, LPCWSTR* c) override { return ::StartServiceW(a, b, c); }
    BOOL CloseServiceHandle(SC_HANDLE a) override { return ::CloseServiceHandle(a); }

    int SHFileOperationW(LPSHFILEOPSTRUCTW a) override { return ::SHFileOperationW(a); }
    void SHChangeNotify(LONG a, UINT b, LPCVOID c, LPCVOID d) override { ::SHChangeNotify(a, b, c, d); }
    HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID a, DWORD b, HANDLE c, PWSTR* d) override
    {
        return ::SHGetKnownFolderPath(a, b, c, d);
    }
    void CoTaskMemFree(LPVOID a) override { ::CoTaskMemFree(a); }
    HRESULT CoCreateGuid(GUID* a) override { return ::CoCreateGuid(a); }
    BOOL IsUserAnAdmin() override { return ::IsUserAnAdmin(); }

    INT_PTR DialogBoxParamW(HINSTANCE a, LPCWSTR b, HWND c, DLGPROC d, LPARAM e) override
    {
        return ::DialogBoxParamW(a, b, c, d, e);
    }
    BOOL EndDialog(HWND a, INT_PTR b) override { return ::EndDialog(a, b); }
    HWND GetDlgItem(HWND a, int b) override { return ::GetDlgItem(a, b); }
    BOOL EnableWindow(HWND a, BOOL b) override { return ::EnableWindow(a, b); }
    BOOL ShowWindow(HWND a, int b) override { return ::ShowWindow(a, b); }
    LRESULT SendMessageW(HWND a, UINT b, WPARAM c, LPARAM d) override { return ::SendMessageW(a, b, c, d); }
    BOOL PostMessageW(HWND a, UINT b, WPARAM c, LPARAM d) override { return ::PostMessageW(a, b, c, d); }
    int MessageBoxW(HWND a, LPCWSTR b, LPCWSTR c, UINT d) override { return ::MessageBoxW(a, b, c, d); }
    int LoadStringW(HINSTANCE a, UINT b, LPWSTR c, int d) override { return ::LoadStringW(a, b, c, d); }
    HICON LoadIconW(HINSTANCE a, LPCWSTR b) override { return ::LoadIconW(a, b); }
    HMENU GetSystemMenu(HWND a, BOOL b) override { return ::GetSystemMenu(a, b); }
    BOOL EnableMenuItem(HMENU a, UINT b, UINT c) override { return ::EnableMenuItem(a, b, c); }
    int wvsprintfW(LPWSTR a, LPCWSTR b, va_list c) override { return ::wvsprintfW(a, b, c); }

    void GetNativeSystemInfo(LPSYSTEM_INFO a) override { ::GetNativeSystemInfo(a); }
    DWORD GetModuleFileNameW(HMODULE a, LPWSTR b, DWORD c) override { return ::GetModuleFileNameW(a, b, c); }
    DWORD GetTempPathW(DWORD a, LPWSTR b) override { return ::GetTempPathW(a, b); }
    UINT GetTempFileNameW(LPCWSTR a, LPCWSTR b, UINT c, LPWSTR d) override { return ::GetTempFileNameW(a, b, c, d); }
    UINT GetSystemDirectoryW(LPWSTR a, UINT b) override { return ::GetSystemDirectoryW(a, b); }
    UINT GetSystemWindowsDirectoryW(LPWSTR a, UINT b) override { return ::GetSystemWindowsDirectoryW(a, b); }
    BOOL CreateDirectoryW(LPCWSTR a, LPSECURITY_ATTRIBUTES b) override { return ::CreateDirectoryW(a, b); }
    BOOL RemoveDirectoryW(LPCWSTR a) override { return ::RemoveDirectoryW(a); }
    BOOL CopyFileW(LPCWSTR a, LPCWSTR b, BOOL c) override { return ::CopyFileW(a, b, c); }
    BOOL DeleteFileW(LPCWSTR a) override { return ::DeleteFileW(a); }
    DWORD GetFileAttributesW(LPCWSTR a) override { return ::GetFileAttributesW(a); }
    BOOL SetFileAttributesW(LPCWSTR a, DWORD b) override { return ::SetFileAttributesW(a, b); }
    HANDLE CreateFileW(LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g) override
    {
        return ::CreateFileW(a, b, c, d, e, f, g);
    }
    UINT GetDriveTypeW(LPCWSTR a) override { return ::GetDriveTypeW(a); }
    BOOL MoveFileExW(LPCWSTR a, LPCWSTR b, DWORD c) override { return ::MoveFileExW(a, b, c); }
    BOOL CreateProcessW(LPCWSTR a, LPWSTR b, LPSECURITY_ATTRIBUTES c, LPSECURITY_ATTRIBUTES d, BOOL e, DWORD f,
                        LPVOID g, LPCWSTR h, LPSTARTUPINFOW i, LPPROCESS_INFORMATION j) override
    {
        return ::CreateProcessW(a, b, c, d, e, f, g, h, i, j);
    }
    BOOL WriteFile(HANDLE a, LPCVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e) override
    {
        return ::WriteFile(a, b, c, d, e);
    }
    BOOL GetFileInformationByHandle(HANDLE a, LPBY_HANDLE_FILE_INFORMATION b) override
    {
        return ::GetFileInformationByHandle(a, b);
    }
    DWORD GetFinalPathNameByHandleW(HANDLE a, LPWSTR b, DWORD c, DWORD d) override
    {
        return ::GetFinalPathNameByHandleW(a, b, c, d);
    }
    BOOL CloseHandle(HANDLE a) override { return ::CloseHandle(a); }
    HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES a, BOOL b, LPCWSTR c) override { return ::CreateMutexW(a, b, c); }
    DWORD WaitForSingleObject(HANDLE a, DWORD b) override { return ::WaitForSingleObject(a, b); }
    BOOL GetExitCodeProcess(HANDLE a, LPDWORD b) override { return ::GetExitCodeProcess(a, b); }
    HANDLE OpenProcess(DWORD a, BOOL b, DWORD c) override { return ::OpenProcess(a, b, c); }
    DWORD GetCurrentProcessId() override { return ::GetCurrentProcessId(); }
    HANDLE CreateThread(LPSECURITY_ATTRIBUTES a, SIZE_T b, LPTHREAD_START_ROUTINE c, LPVOID d, DWORD e,
                        LPDWORD f) override
    {
        return ::CreateThread(a, b, c, d, e, f);
    }
    void Sleep(DWORD a) override { ::Sleep(a); }
    DWORD GetLastError() override { return ::GetLastError(); }
    void SetLastError(DWORD a) override { ::SetLastError(a); }
    HLOCAL LocalAlloc(UINT a, SIZE_T b) override { return ::LocalAlloc(a, b); }
    HLOCAL LocalFree(HLOCAL a) override { return ::LocalFree(a); }
    int MultiByteToWideChar(UINT a, DWORD b, LPCCH c, int d, LPWSTR e, int f) override
    {
        return ::MultiByteToWideChar(a, b, c, d, e, f);
    }
    int WideCharToMultiByte(UINT a, DWORD b, LPCWCH c, int d, LPSTR e, int f, LPCCH g, LPBOOL h) override
    {
        return ::WideCharToMultiByte(a, b, c, d, e, f, g, h);
    }
    BOOL SystemTimeToFileTime(const SYSTEMTIME* a, LPFILETIME b) override { return ::SystemTimeToFileTime(a, b); }
    void GetLocalTime(LPSYSTEMTIME a) override { ::GetLocalTime(a); }
    BOOL GetVersionExW(LPOSVERSIONINFOW a) override { return ::GetVersionExW(a); }
    LANGID GetUserDefaultUILanguage() override { return ::GetUserDefaultUILanguage(); }
    void OutputDebugStringW(LPCWSTR a) override { ::OutputDebugStringW(a); }
};

Win32PlatformImpl g_win32;

} // namespace

void InitWin32Platform()
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
#define RESOLVE_OPERATION(dll, name) Resolve(&g_dynamic.name, dll, #name);
    DYNAMIC_OPERATIONS(RESOLVE_OPERATION)
#undef RESOLVE_OPERATION
    RegisterCommonControlClasses();
}

PlatformApi& Win32Platform()
{
    return g_win32;
}
