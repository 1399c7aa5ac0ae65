#include "install/package_install.h"

#include <cwchar>

#include "common/enumeration.h"
#include "common/format.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/progress_report.h"
#include "common/run_options.h"
#include "common/spooler_control.h"
#include "family/driver_files.h"
#include "install/driver_copy.h"
#include "install/manual_install.h"
#include "install/model_table.h"
#include "install/printer_queue.h"
#include "install/usb_port_scan.h"
#include "res/resource.h"

namespace {

// Plug and Play gets ten seconds to produce the queue.
const int kQueueWaitAttempts = 10;
const DWORD kQueueWaitIntervalMs = 1000;

void TakeHardwareIdFromScan(InstallRequest* request)
{
    const UsbPortRecord* port = FindUsbPort(request->portName);
    if (port != nullptr) {
        FormatBounded(request->hardwareId, 260, L"%ws", port->hardwareId);
    }
}

void InstallThroughPlugAndPlay(InstallRequest* request, const WCHAR* sourceInfPath)
{
    ShowStep(IDS_STEP_WAITING, kQueueWaitAttempts);
    DEVINST root = 0;
    if (Os().CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS) {
        Os().CM_Reenumerate_DevNode(root, 0);
    }
    // An unattended run fails where Windows would ask the user, and the manual path goes on.
    const DWORD flags = RunsQuietly() ? INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE : INSTALLFLAG_FORCE;
    Os().UpdateDriverForPlugAndPlayDevicesW(nullptr, request->hardwareId, sourceInfPath, flags, nullptr);
    for (int attempt = 0; attempt < kQueueWaitAttempts; ++attempt) {
        if (FindPrinterQueue(request) && (request->flags & MODEL_FLAG_LANGUAGE_MONITOR)) {
            CopyDriverFile(DRIVER_MONITOR_DLL);
            break;
        }
        Os().Sleep(kQueueWaitIntervalMs);
        ShowStepDone(attempt + 1, kQueueWaitAttempts);
    }
}

bool SpoolerListsPort(const WCHAR* portName)
{
    DWORD count = 0;
    auto* ports = reinterpret_cast<PORT_INFO_2W*>(
        EnumerateRecords([](BYTE* buffer, DWORD size, DWORD* needed,
                            DWORD* returned) { return Os().EnumPortsW(nullptr, 2, buffer, size, needed, returned); },
                         &count));
    bool listed = false;
    for (DWORD i = 0; i < count && !listed; ++i) {
        listed = ports[i].pPortName != nullptr && wcscmp(ports[i].pPortName, portName) == 0;
    }
    Os().LocalFree(ports);
    return listed;
}

} // namespace

HRESULT DoUploadDriverPackage(const WCHAR* sourceInfPath)
{
    WCHAR storedInfPath[MAX_PATH] = {0};
    ULONG storedChars = MAX_PATH;
    // An unattended run must not wait for a question no one sees.
    const DWORD flags = RunsQuietly() ? UPDP_SILENT_UPLOAD : UPDP_UI_PROMPT;
    HRESULT result =
        Os().UploadPrinterDriverPackageW(nullptr, sourceInfPath, nullptr, flags, nullptr, storedInfPath, &storedChars);
    LogLine("DoUploadDriverPackage, %ws, code:%d.", storedInfPath, result);
    return result;
}

int InstallPrinter(InstallRequest* request, const WCHAR* sourceInfPath)
{
    TakeHardwareIdFromScan(request);
    if (FindPrinterQueue(request)) {
        return INSTALL_QUEUE_EXISTED;
    }
    if (DoUploadDriverPackage(sourceInfPath) == S_OK) {
        InstallThroughPlugAndPlay(request, sourceInfPath);
    }
    int result = FindPrinterQueue(request);
    if (result == 0) {
        result = InstallDriverManually(request);
        if (result == 0) {
            return 0;
        }
    }
    // A port the spooler does not list yet appears after a restart of the spooler.
    if (!SpoolerListsPort(request->portName)) {
        CycleSpooler(nullptr, nullptr);
    }
    return result;
}
