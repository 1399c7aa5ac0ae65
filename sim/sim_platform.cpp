// The one door through which every call of the tool enters the simulated
// machine, and the calling thread's last error.
#include "sim/sim_platform.h"

namespace sim {

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

} // namespace

void SetLastErrorCode(DWORD error)
{
    t_lastError = error;
}

DWORD LastErrorCode()
{
    return t_lastError;
}

bool Failed(DWORD error)
{
    if (error != ERROR_SUCCESS) {
        SetLastErrorCode(error);
        return true;
    }
    return false;
}

bool SimPlatform::Entered(OperationName operation)
{
    // Another process's calls are its own: neither counted nor failed as the tool's.
    if (machine_.ActorActing()) {
        return false;
    }
    machine_.WorkerCall(operation.text);
    machine_.ActBetweenCalls(operation.text);
    machine_.CountCall(operation.text);
    return true;
}

void SimPlatform::Counted(OperationName operation)
{
    if (Entered(operation)) {
        machine_.faults.Count(operation);
    }
}

bool SimPlatform::Injected(OperationName operation, DWORD* error, const void* site)
{
    if (!Entered(operation)) {
        return false;
    }
    DWORD injected = ERROR_SUCCESS;
    if (!machine_.faults.Check(operation, site, &injected)) {
        return false;
    }
    if (error != nullptr) {
        *error = injected;
    } else {
        SetLastErrorCode(injected);
    }
    return true;
}

void SimPlatform::NotModelled(const char* operation)
{
    machine_.ReportViolation(std::string(operation) + " is not modelled by the simulated machine yet");
    SetLastErrorCode(ERROR_CALL_NOT_IMPLEMENTED);
}

DWORD SimPlatform::GetLastError()
{
    return t_lastError;
}

void SimPlatform::SetLastError(DWORD error)
{
    t_lastError = error;
}

} // namespace sim
