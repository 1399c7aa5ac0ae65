// The platform interface answered by a simulated machine.
#pragma once

#include <optional>

#include "common/platform.h"
#include "sim/machine.h"

namespace sim {

class SimPlatform final : public PlatformApi {
public:
    explicit SimPlatform(Machine& machine) : machine_(machine) {}

    // ---- Print spooler ----
    BOOL EnumPrinterDriversW(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD) override;
    BOOL EnumPrintersW(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD) override;
    BOOL EnumPortsW(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD) override;
    BOOL EnumMonitorsW(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD) override;
    BOOL OpenPrinterW(LPWSTR, LPHANDLE, LPPRINTER_DEFAULTSW) override;
    BOOL ClosePrinter(HANDLE) override;
    BOOL SetPrinterW(HANDLE, DWORD, LPBYTE, DWORD) override;
    BOOL DeletePrinter(HANDLE) override;
    HANDLE AddPrinterW(LPWSTR, DWORD, LPBYTE) override;
    BOOL AddPrinterDriverW(LPWSTR, DWORD, LPBYTE) override;
    BOOL AddMonitorW(LPWSTR, DWORD, LPBYTE) override;
    BOOL DeletePrinterDriverExW(LPWSTR, LPWSTR, LPWSTR, DWORD, DWORD) override;
    BOOL DeleteMonitorW(LPWSTR, LPWSTR, LPWSTR) override;
    HRESULT DeletePrinterDriverPackageW(LPCWSTR, LPCWSTR, LPCWSTR) override;
    HRESULT UploadPrinterDriverPackageW(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, HWND, LPWSTR, PULONG) override;
    BOOL GetPrinterDriverDirectoryW(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD) override;

    // ---- Device setup ----
    HDEVINFO SetupDiGetClassDevsW(const GUID*, PCWSTR, HWND, DWORD) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD,
                                     PSP_DEVICE_INTERFACE_DATA) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO, PSP_DEVICE_INTERFACE_DATA, PSP_DEVICE_INTERFACE_DETAIL_DATA_W,
                                          DWORD, PDWORD, PSP_DEVINFO_DATA) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO) override;
    CONFIGRET CM_Locate_DevNodeW(PDEVINST, DEVINSTID_W, ULONG) override;
    CONFIGRET CM_Reenumerate_DevNode(DEVINST, ULONG) override;
    BOOL UpdateDriverForPlugAndPlayDevicesW(HWND, LPCWSTR, LPCWSTR, DWORD, PBOOL) override;
    BOOL SetupGetInfInformationW(LPCVOID, DWORD, PSP_INF_INFORMATION, DWORD, PDWORD) override;
    BOOL SetupQueryInfVersionInformationW(PSP_INF_INFORMATION, UINT, PCWSTR, PWSTR, DWORD, PDWORD) override;

    // ---- Registry and services ----
    LSTATUS RegOpenKeyW(HKEY, LPCWSTR, PHKEY) override;
    LSTATUS RegOpenKeyExW(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) override;
    LSTATUS RegEnumKeyW(HKEY, DWORD, LPWSTR, DWORD) override;
    LSTATUS RegGetValueW(HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD, PVOID, LPDWORD) override;
    LSTATUS RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) override;
    LSTATUS RegCloseKey(HKEY) override;
    BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG) override;
    DWORD GetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                          PSECURITY_DESCRIPTOR*) override;
    BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR, DWORD, SECURITY_INFORMATION, LPWSTR*,
                                                              PULONG) override;
    SC_HANDLE OpenSCManagerW(LPCWSTR, LPCWSTR, DWORD) override;
    SC_HANDLE OpenServiceW(SC_HANDLE, LPCWSTR, DWORD) override;
    BOOL QueryServiceStatusEx(SC_HANDLE, SC_STATUS_TYPE, LPBYTE, DWORD, LPDWORD) override;
    BOOL ControlService(SC_HANDLE, DWORD, LPSERVICE_STATUS) override;
    BOOL StartServiceW(SC_HANDLE, DWORD, LPCWSTR*) override;
    BOOL CloseServiceHandle(SC_HANDLE) override;

    // ---- Shell ----
    int SHFileOperationW(LPSHFILEOPSTRUCTW) override;
    void SHChangeNotify(LONG, UINT, LPCVOID, LPCVOID) override;
    HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*) override;
    void CoTaskMemFree(LPVOID) override;
    HRESULT CoCreateGuid(GUID*) override;
    BOOL IsUserAnAdmin() override;

    // ---- User interface ----
    INT_PTR DialogBoxParamW(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM) override;
    BOOL EndDialog(HWND, INT_PTR) override;
    HWND GetDlgItem(HWND, int) override;
    BOOL EnableWindow(HWND, BOOL) override;
    BOOL ShowWindow(HWND, int) override;
    LRESULT SendMessageW(HWND, UINT, WPARAM, LPARAM) override;
    BOOL PostMessageW(HWND, UINT, WPARAM, LPARAM) override;
    int MessageBoxW(HWND, LPCWSTR, LPCWSTR, UINT) override;
    int LoadStringW(HINSTANCE, UINT, LPWSTR, int) override;
    HICON LoadIconW(HINSTANCE, LPCWSTR) override;
    HMENU GetSystemMenu(HWND, BOOL) override;
    BOOL EnableMenuItem(HMENU, UINT, UINT) override;
    int wvsprintfW(LPWSTR, LPCWSTR, va_list) override;

    // ---- Kernel ----
    void GetNativeSystemInfo(LPSYSTEM_INFO) override;
    DWORD GetModuleFileNameW(HMODULE, LPWSTR, DWORD) override;
    DWORD GetTempPathW(DWORD, LPWSTR) override;
    UINT GetTempFileNameW(LPCWSTR, LPCWSTR, UINT, LPWSTR) override;
    UINT GetSystemDirectoryW(LPWSTR, UINT) override;
    UINT GetSystemWindowsDirectoryW(LPWSTR, UINT) override;
    BOOL CreateDirectoryW(LPCWSTR, LPSECURITY_ATTRIBUTES) override;
    BOOL RemoveDirectoryW(LPCWSTR) override;
    BOOL CopyFileW(LPCWSTR, LPCWSTR, BOOL) override;
    BOOL DeleteFileW(LPCWSTR) override;
    DWORD GetFileAttributesW(LPCWSTR) override;
    BOOL SetFileAttributesW(LPCWSTR, DWORD) override;
    HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override;
    UINT GetDriveTypeW(LPCWSTR) override;
    BOOL MoveFileExW(LPCWSTR, LPCWSTR, DWORD) override;
    BOOL CreateProcessW(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                        LPSTARTUPINFOW, LPPROCESS_INFORMATION) override;
    BOOL WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
    BOOL GetFileInformationByHandle(HANDLE, LPBY_HANDLE_FILE_INFORMATION) override;
    DWORD GetFinalPathNameByHandleW(HANDLE, LPWSTR, DWORD, DWORD) override;
    BOOL CloseHandle(HANDLE) override;
    HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) override;
    HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR) override;
    DWORD WaitForSingleObject(HANDLE, DWORD) override;
    BOOL GetExitCodeProcess(HANDLE, LPDWORD) override;
    HANDLE OpenProcess(DWORD, BOOL, DWORD) override;
    DWORD GetCurrentProcessId() override;
    void Sleep(DWORD) override;
    DWORD GetLastError() override;
    void SetLastError(DWORD) override;
    HLOCAL LocalAlloc(UINT, SIZE_T) override;
    HLOCAL LocalFree(HLOCAL) override;
    int MultiByteToWideChar(UINT, DWORD, LPCCH, int, LPWSTR, int) override;
    int WideCharToMultiByte(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) override;
    BOOL SystemTimeToFileTime(const SYSTEMTIME*, LPFILETIME) override;
    void GetLocalTime(LPSYSTEMTIME) override;
    BOOL GetVersionExW(LPOSVERSIONINFOW) override;
    LANGID GetUserDefaultUILanguage() override;
    void OutputDebugStringW(LPCWSTR) override;

private:
    // Counts the call and applies an injected fault: true when the call must
    // fail, with the chosen error in *error, or as the thread's last error
    // when error is null. The default site is the caller of the operation.
    bool Injected(OperationName operation, DWORD* error = nullptr, const void* site = __builtin_return_address(0));
    // The one way in for every call of the tool's: a worker of an ended
    // process stops here, an actor acts, the story's limits are checked.
    // False for a call an actor makes (its calls are its own).
    bool Entered(OperationName operation);
    // Entered, for an operation that cannot fail: the call is counted too.
    void Counted(OperationName operation);
    // An operation this machine does not model yet: a test failure.
    void NotModelled(const char* operation);
    // FO_DELETE after its checks: the result SHFileOperationW returns.
    int DeleteThroughShell(LPSHFILEOPSTRUCTW operation, FileOperation* record);
    bool RecycleBinTakes(const std::wstring& path);
    // The descriptor a caller passed, as made by ConvertStringSecurityDescriptorToSecurityDescriptorW.
    std::optional<SecurityDescriptor> DescriptorOf(LPSECURITY_ATTRIBUTES attributes);
    // The descriptor of attributes the caller passed, into *own (none without
    // one); false, with ERROR_INVALID_PARAMETER, for one the machine did not make.
    bool CallerDescriptor(LPSECURITY_ATTRIBUTES attributes, std::optional<SecurityDescriptor>* own);
    // What a handle on a file or folder learns of it, for `operation`: nullopt,
    // with the last error set, for a handle that is none or a file that is gone.
    std::optional<Volume::FileFacts> FactsOfHandle(HANDLE handle, const char* operation);
    // A descriptor block of the process heap carrying `sddl`, as the machine hands descriptors out.
    PSECURITY_DESCRIPTOR NewDescriptor(const std::wstring& sddl, ULONG* bytes = nullptr);

    Machine& machine_;
};

// The calling thread's last-error code, as the simulated kernel keeps it.
void SetLastErrorCode(DWORD error);
DWORD LastErrorCode();
// True, with the thread's last error set, when error is a failure.
bool Failed(DWORD error);

} // namespace sim
