// The Spooler service: its state on virtual time and the service control manager's view of it.
#include "sim/spooler/spooler.h"

#include <algorithm>
#include <cwchar>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"
#include "sim/spooler/spooling.h"

namespace sim {

using namespace spooling;

namespace {

const DWORD kSpoolerProcessId = 0x0F3C;
const DWORD kPendingWaitHintMs = 2000;
const DWORD kAcceptStop = 0x00000001; // SERVICE_ACCEPT_STOP

} // namespace

// ---- The service's state on virtual time ----

void Spooler::Advance()
{
    for (;;) {
        const uint64_t now = clock_.NowMs();
        std::optional<uint64_t> transitionAt;
        if (state_ == SERVICE_STOP_PENDING && !neverStops) {
            transitionAt = stateSince_ + stopDelayMs;
        } else if (state_ == SERVICE_START_PENDING && !neverStarts) {
            transitionAt = stateSince_ + startDelayMs;
        }
        auto next =
            std::min_element(scheduled_.begin(), scheduled_.end(),
                             [](const ScheduledQueue& a, const ScheduledQueue& b) { return a.dueMs < b.dueMs; });
        std::optional<uint64_t> queueAt;
        if (state_ == SERVICE_RUNNING && next != scheduled_.end()) {
            queueAt = std::max(next->dueMs, stateSince_);
        }
        if (queueAt && *queueAt <= now && (!transitionAt || *queueAt <= *transitionAt)) {
            ScheduledQueue due = *next;
            scheduled_.erase(next);
            CreateQueue(due, *queueAt);
        } else if (transitionAt && *transitionAt <= now) {
            Enter(state_ == SERVICE_STOP_PENDING ? SERVICE_STOPPED : SERVICE_RUNNING, *transitionAt);
            transitions_.push_back({*transitionAt, state_});
        } else {
            return;
        }
    }
}

void Spooler::Enter(DWORD state, uint64_t atMs)
{
    state_ = state;
    stateSince_ = atMs;
    checkPoint_ = 0;
    timeline_.push_back({atMs, state});
    if (state == SERVICE_STOPPED) {
        // The service's process is gone: its DLLs are unloaded, its handles dead.
        HoldMonitors(false);
        ++generation_;
    } else if (state == SERVICE_RUNNING) {
        HoldMonitors(true);
        CreatePresentPorts();
    }
}

void Spooler::HoldMonitors(bool held)
{
    for (const auto& entry : monitors_) {
        volume_.SetHeldOpen(SystemFile(entry.second.dll), held);
    }
}

void Spooler::SetServiceState(DWORD state)
{
    Advance();
    if (state == state_) {
        return;
    }
    if (state_ != SERVICE_STOPPED && state == SERVICE_STOPPED) {
        Enter(state, clock_.NowMs());
    } else if (state == SERVICE_RUNNING) {
        Enter(state, clock_.NowMs());
    } else {
        // A pending state, as a test poses it: nothing loads or unloads yet.
        state_ = state;
        stateSince_ = clock_.NowMs();
        timeline_.push_back({stateSince_, state});
    }
}

DWORD Spooler::ServiceState()
{
    Advance();
    return state_;
}

const std::vector<ServiceTransition>& Spooler::Transitions()
{
    Advance();
    return transitions_;
}

DWORD Spooler::StateAt(uint64_t ms)
{
    Advance();
    DWORD state = SERVICE_RUNNING;
    for (const ServiceTransition& change : timeline_) {
        if (change.atMs > ms) {
            break;
        }
        state = change.state;
    }
    return state;
}

DWORD Spooler::CheckRunning()
{
    Advance();
    return state_ == SERVICE_RUNNING ? ERROR_SUCCESS : kRpcServerUnavailable;
}

// ---- Service control manager ----

DWORD Spooler::OpenManager(SC_HANDLE* handle)
{
    if (managerFails) {
        return ERROR_ACCESS_DENIED;
    }
    *handle = reinterpret_cast<SC_HANDLE>(nextServiceHandle_);
    nextServiceHandle_ += 4;
    serviceHandles_[*handle] = ScKind::Manager;
    return ERROR_SUCCESS;
}

DWORD Spooler::OpenService(SC_HANDLE manager, const std::wstring& name, SC_HANDLE* handle)
{
    auto found = serviceHandles_.find(manager);
    if (found == serviceHandles_.end() || found->second != ScKind::Manager) {
        return ERROR_INVALID_HANDLE;
    }
    if (serviceMissing || !EqualsNoCase(name, L"Spooler")) {
        return ERROR_SERVICE_DOES_NOT_EXIST;
    }
    *handle = reinterpret_cast<SC_HANDLE>(nextServiceHandle_);
    nextServiceHandle_ += 4;
    serviceHandles_[*handle] = ScKind::Service;
    return ERROR_SUCCESS;
}

bool Spooler::IsServiceHandle(SC_HANDLE handle) const
{
    auto found = serviceHandles_.find(handle);
    return found != serviceHandles_.end() && found->second == ScKind::Service;
}

bool Spooler::CloseServiceHandle(SC_HANDLE handle)
{
    return serviceHandles_.erase(handle) == 1;
}

void Spooler::FillStatus(SERVICE_STATUS* status)
{
    const bool pending = state_ == SERVICE_STOP_PENDING || state_ == SERVICE_START_PENDING;
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status->dwCurrentState = state_;
    status->dwControlsAccepted = state_ == SERVICE_RUNNING ? kAcceptStop : 0;
    status->dwWin32ExitCode = NO_ERROR;
    status->dwServiceSpecificExitCode = 0;
    status->dwCheckPoint = pending ? ++checkPoint_ : 0;
    status->dwWaitHint = pending ? kPendingWaitHintMs : 0;
}

DWORD Spooler::QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status)
{
    if (!IsServiceHandle(service)) {
        return ERROR_INVALID_HANDLE;
    }
    Advance();
    SERVICE_STATUS common = {};
    FillStatus(&common);
    status->dwServiceType = common.dwServiceType;
    status->dwCurrentState = common.dwCurrentState;
    status->dwControlsAccepted = common.dwControlsAccepted;
    status->dwWin32ExitCode = common.dwWin32ExitCode;
    status->dwServiceSpecificExitCode = common.dwServiceSpecificExitCode;
    status->dwCheckPoint = common.dwCheckPoint;
    status->dwWaitHint = common.dwWaitHint;
    status->dwProcessId = state_ == SERVICE_STOPPED ? 0 : kSpoolerProcessId;
    status->dwServiceFlags = 0;
    return ERROR_SUCCESS;
}

DWORD Spooler::Stop(SC_HANDLE service, SERVICE_STATUS* status)
{
    if (!IsServiceHandle(service)) {
        return ERROR_INVALID_HANDLE;
    }
    Advance();
    DWORD error = ERROR_SUCCESS;
    if (state_ == SERVICE_STOPPED) {
        error = ERROR_SERVICE_NOT_ACTIVE;
    } else if (state_ != SERVICE_RUNNING) {
        error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    } else if (refuseControlError != 0) {
        error = refuseControlError;
    } else {
        ++stops_;
        Enter(SERVICE_STOP_PENDING, clock_.NowMs());
        transitions_.push_back({clock_.NowMs(), SERVICE_STOP_PENDING});
        Advance();
    }
    // Windows reports the status also when the control was not accepted.
    FillStatus(status);
    return error;
}

DWORD Spooler::Interrogate(SC_HANDLE service, SERVICE_STATUS* status)
{
    if (!IsServiceHandle(service)) {
        return ERROR_INVALID_HANDLE;
    }
    Advance();
    FillStatus(status);
    return state_ == SERVICE_STOPPED ? ERROR_SERVICE_NOT_ACTIVE : ERROR_SUCCESS;
}

DWORD Spooler::Start(SC_HANDLE service)
{
    if (!IsServiceHandle(service)) {
        return ERROR_INVALID_HANDLE;
    }
    Advance();
    if (state_ != SERVICE_STOPPED) {
        return ERROR_SERVICE_ALREADY_RUNNING;
    }
    if (refuseStartError != 0) {
        return refuseStartError;
    }
    ++starts_;
    Enter(SERVICE_START_PENDING, clock_.NowMs());
    transitions_.push_back({clock_.NowMs(), SERVICE_START_PENDING});
    Advance();
    return ERROR_SUCCESS;
}

} // namespace sim
