// The one door between the tool's logic and the operating system. Every
// operation carries the name and parameters of the Windows function it stands
// for, so the logic reads as ordinary Win32 code: Os().CopyFileW(a, b, FALSE).
// The Windows binding forwards to the real API; the simulated machine answers
// on Linux. Nothing in the logic calls the system any other way.
#pragma once

#include <cstdarg>

#include "common/wintypes.h"

class PlatformApi {
public:
    virtual ~PlatformApi() = default;

    // ---- Print spooler (winspool.drv) ----
    virtual BOOL EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                     LPDWORD pcbNeeded, LPDWORD pcReturned) = 0;
    virtual BOOL EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                               LPDWORD pcbNeeded, LPDWORD pcReturned) = 0;
    virtual BOOL EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPort, DWORD cbBuf, LPDWORD pcbNeeded,
                            LPDWORD pcReturned) = 0;
    virtual BOOL EnumMonitorsW(LPWSTR pName, DWORD Level, LPBYTE pMonitor, DWORD cbBuf, LPDWORD pcbNeeded,
                               LPDWORD pcReturned) = 0;
    virtual BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) = 0;
    virtual BOOL ClosePrinter(HANDLE hPrinter) = 0;
    virtual BOOL SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) = 0;
    virtual BOOL DeletePrinter(HANDLE hPrinter) = 0;
    virtual HANDLE AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) = 0;
    virtual BOOL AddPrinterDriverW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) = 0;
    virtual BOOL AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitors) = 0;
    virtual BOOL DeletePrinterDriverExW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName, DWORD dwDeleteFlag,
                                        DWORD dwVersionFlag) = 0;
    virtual BOOL DeleteMonitorW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pMonitorName) = 0;
    virtual HRESULT DeletePrinterDriverPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR pszEnvironment) = 0;
    virtual HRESULT UploadPrinterDriverPackageW(LPCWSTR pszServer, LPCWSTR pszInfPath, LPCWSTR pszEnvironment,
                                                DWORD dwFlags, HWND hwnd, LPWSTR pszDestInfPath,
                                                PULONG pcchDestInfPath) = 0;
    virtual BOOL GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                            DWORD cbBuf, LPDWORD pcbNeeded) = 0;

    // ---- Device setup (setupapi.dll, cfgmgr32.dll, newdev.dll) ----
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent, DWORD Flags) = 0;
    virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                             const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                             PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                                  DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                                  PSP_DEVINFO_DATA DeviceInfoData) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) = 0;
    virtual CONFIGRET CM_Locate_DevNodeW(PDEVINST pdnDevInst, DEVINSTID_W pDeviceID, ULONG ulFlags) = 0;
    virtual CONFIGRET CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags) = 0;
    virtual BOOL UpdateDriverForPlugAndPlayDevicesW(HWND hwndParent, LPCWSTR HardwareId, LPCWSTR FullInfPath,
                                                    DWORD InstallFlags, PBOOL bRebootRequired) = 0;
    virtual BOOL SetupGetInfInformationW(LPCVOID InfSpec, DWORD SearchControl, PSP_INF_INFORMATION ReturnBuffer,
                                         DWORD ReturnBufferSize, PDWORD RequiredSize) = 0;
    virtual BOOL SetupQueryInfVersionInformationW(PSP_INF_INFORMATION InfInformation, UINT InfIndex, PCWSTR Key,
                                                  PWSTR ReturnBuffer, DWORD ReturnBufferSize, PDWORD RequiredSize) = 0;

    // ---- Registry and services (advapi32.dll) ----
    virtual LSTATUS RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) = 0;
    virtual LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) = 0;
    virtual LSTATUS RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) = 0;
    virtual LSTATUS RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                                 PVOID pvData, LPDWORD pcbData) = 0;
    virtual LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                     LPDWORD lpcbData) = 0;
    virtual LSTATUS RegCloseKey(HKEY hKey) = 0;
    // The descriptor is LocalAlloc'ed: LocalFree it.
    virtual BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor,
                                                                      DWORD StringSDRevision,
                                                                      PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                      PULONG SecurityDescriptorSize) = 0;
    // The descriptor is LocalAlloc'ed: LocalFree it.
    virtual DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType, SECURITY_INFORMATION SecurityInfo,
                                  PSID* ppsidOwner, PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                                  PSECURITY_DESCRIPTOR* ppSecurityDescriptor) = 0;
    // The text is LocalAlloc'ed: LocalFree it.
    virtual BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR SecurityDescriptor,
                                                                      DWORD RequestedStringSDRevision,
                                                                      SECURITY_INFORMATION SecurityInformation,
                                                                      LPWSTR* StringSecurityDescriptor,
                                                                      PULONG StringSecurityDescriptorLen) = 0;
    virtual SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) = 0;
    virtual SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) = 0;
    virtual BOOL QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, LPBYTE lpBuffer, DWORD cbBufSize,
                                      LPDWORD pcbBytesNeeded) = 0;
    virtual BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) = 0;
    virtual BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCWSTR* lpServiceArgVectors) = 0;
    virtual BOOL CloseServiceHandle(SC_HANDLE hSCObject) = 0;

    // ---- Shell (shell32.dll) ----
    virtual int SHFileOperationW(LPSHFILEOPSTRUCTW lpFileOp) = 0;
    virtual void SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2) = 0;
    virtual HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID rfid, DWORD dwFlags, HANDLE hToken, PWSTR* ppszPath) = 0;
    // ole32.dll: frees what SHGetKnownFolderPath handed back.
    virtual void CoTaskMemFree(LPVOID pv) = 0;
    virtual HRESULT CoCreateGuid(GUID* pguid) = 0;
    // Whether the process runs with administrator rights (elevated).
    virtual BOOL IsUserAnAdmin() = 0;

    // ---- User interface (user32.dll, common controls) ----
    virtual INT_PTR DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                                    LPARAM dwInitParam) = 0;
    virtual BOOL EndDialog(HWND hDlg, INT_PTR nResult) = 0;
    virtual HWND GetDlgItem(HWND hDlg, int nIDDlgItem) = 0;
    virtual BOOL EnableWindow(HWND hWnd, BOOL bEnable) = 0;
    virtual BOOL ShowWindow(HWND hWnd, int nCmdShow) = 0;
    virtual LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) = 0;
    virtual int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) = 0;
    virtual HICON LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) = 0;
    virtual HMENU GetSystemMenu(HWND hWnd, BOOL bRevert) = 0;
    virtual BOOL EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) = 0;
    virtual int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) = 0;

    // The platform's variadic formatter (output limited to 1024 characters).
    int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...)
    {
        va_list args;
        va_start(args, lpFmt);
        int written = wvsprintfW(lpOut, lpFmt, args);
        va_end(args);
        return written;
    }

    // ---- Kernel (kernel32.dll) ----
    virtual void GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo) = 0;
    virtual DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) = 0;
    virtual DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) = 0;
    virtual UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName) = 0;
    virtual UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) = 0;
    virtual UINT GetSystemWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) = 0;
    virtual BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) = 0;
    virtual BOOL RemoveDirectoryW(LPCWSTR lpPathName) = 0;
    virtual BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) = 0;
    virtual BOOL DeleteFileW(LPCWSTR lpFileName) = 0;
    virtual DWORD GetFileAttributesW(LPCWSTR lpFileName) = 0;
    virtual BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) = 0;
    virtual HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                               DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) = 0;
    virtual UINT GetDriveTypeW(LPCWSTR lpRootPathName) = 0;
    virtual BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) = 0;
    virtual BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                LPSECURITY_ATTRIBUTES lpProcessAttributes, LPSECURITY_ATTRIBUTES lpThreadAttributes,
                                BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
                                LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                LPPROCESS_INFORMATION lpProcessInformation) = 0;
    virtual BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                           LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) = 0;
    virtual BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) = 0;
    virtual DWORD GetFinalPathNameByHandleW(HANDLE hFile, LPWSTR lpszFilePath, DWORD cchFilePath, DWORD dwFlags) = 0;
    virtual BOOL CloseHandle(HANDLE hObject) = 0;
    virtual HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                                LPDWORD lpThreadId) = 0;
    virtual DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) = 0;
    virtual BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) = 0;
    virtual HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) = 0;
    virtual DWORD GetCurrentProcessId() = 0;
    virtual HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) = 0;
    virtual void Sleep(DWORD dwMilliseconds) = 0;
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD dwErrCode) = 0;
    virtual HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) = 0;
    virtual HLOCAL LocalFree(HLOCAL hMem) = 0;
    virtual int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                                    LPWSTR lpWideCharStr, int cchWideChar) = 0;
    virtual int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                                    LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                                    LPBOOL lpUsedDefaultChar) = 0;
    virtual BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) = 0;
    virtual void GetLocalTime(LPSYSTEMTIME lpSystemTime) = 0;
    // With the manifest's supportedOS entries, the version Windows really is.
    virtual BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) = 0;
    virtual LANGID GetUserDefaultUILanguage() = 0;
    virtual void OutputDebugStringW(LPCWSTR lpOutputString) = 0;
};

// The platform the logic talks to. The entry point (or a test) installs it
// before any logic runs; it stays for the life of the process.
PlatformApi& Os();
void SetPlatform(PlatformApi* platform);

// The error of a call that failed; never "success", even where a platform
// (Wine, for some calls) leaves none.
DWORD LastFailure();
