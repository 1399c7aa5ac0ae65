// Service control manager operations of the simulated machine: the one
// service it knows is the print spooler (sim::Spooler).
#include <cstring>
#include <string>

#include "sim/kernel/wide.h"
#include "sim/sim_platform.h"

namespace sim {

namespace {

const DWORD kInvalidServiceControl = 1052; // ERROR_INVALID_SERVICE_CONTROL

} // namespace

SC_HANDLE SimPlatform::OpenSCManagerW(LPCWSTR machineName, LPCWSTR database, DWORD)
{
    if (Injected("OpenSCManagerW")) {
        return nullptr;
    }
    if ((machineName != nullptr && machineName[0] != 0) ||
        (database != nullptr && !EqualsNoCase(database, L"ServicesActive"))) {
        machine_.ReportViolation("OpenSCManagerW of another machine or database, which the machine does not model");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    SC_HANDLE manager = nullptr;
    return Failed(machine_.spooler.OpenManager(&manager)) ? nullptr : manager;
}

SC_HANDLE SimPlatform::OpenServiceW(SC_HANDLE manager, LPCWSTR name, DWORD)
{
    if (Injected("OpenServiceW")) {
        return nullptr;
    }
    if (name == nullptr) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    SC_HANDLE service = nullptr;
    DWORD error = machine_.spooler.OpenService(manager, name, &service);
    if (error == ERROR_INVALID_HANDLE) {
        machine_.ReportViolation("OpenServiceW with a handle that is not an open service manager");
    }
    return Failed(error) ? nullptr : service;
}

BOOL SimPlatform::QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, LPBYTE buffer, DWORD size,
                                       LPDWORD needed)
{
    if (Injected("QueryServiceStatusEx")) {
        return FALSE;
    }
    if (level != SC_STATUS_PROCESS_INFO) {
        SetLastErrorCode(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (needed == nullptr) {
        machine_.ReportViolation("QueryServiceStatusEx without pcbBytesNeeded");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (!machine_.spooler.IsServiceHandle(service)) {
        machine_.ReportViolation("QueryServiceStatusEx with a handle that is not an open service");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr || size < sizeof(SERVICE_STATUS_PROCESS)) {
        *needed = sizeof(SERVICE_STATUS_PROCESS);
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    SERVICE_STATUS_PROCESS status = {};
    if (Failed(machine_.spooler.QueryStatus(service, &status))) {
        return FALSE;
    }
    std::memcpy(buffer, &status, sizeof(status));
    return TRUE;
}

BOOL SimPlatform::ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    if (Injected("ControlService")) {
        return FALSE;
    }
    if (status == nullptr) {
        machine_.ReportViolation("ControlService without a status to fill");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    if (!spooler.IsServiceHandle(service)) {
        machine_.ReportViolation("ControlService with a handle that is not an open service");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (control == SERVICE_CONTROL_STOP) {
        return Failed(spooler.Stop(service, status)) ? FALSE : TRUE;
    }
    if (control == SERVICE_CONTROL_INTERROGATE) {
        return Failed(spooler.Interrogate(service, status)) ? FALSE : TRUE;
    }
    machine_.ReportViolation("ControlService with a control the machine does not model");
    SetLastErrorCode(kInvalidServiceControl);
    return FALSE;
}

BOOL SimPlatform::StartServiceW(SC_HANDLE service, DWORD, LPCWSTR*)
{
    if (Injected("StartServiceW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (!machine_.spooler.IsServiceHandle(service)) {
        machine_.ReportViolation("StartServiceW with a handle that is not an open service");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return Failed(machine_.spooler.Start(service)) ? FALSE : TRUE;
}

BOOL SimPlatform::CloseServiceHandle(SC_HANDLE handle)
{
    if (Injected("CloseServiceHandle")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (!machine_.spooler.CloseServiceHandle(handle)) {
        machine_.ReportViolation("CloseServiceHandle of a handle that is not open");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

} // namespace sim
