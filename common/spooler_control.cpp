#include "common/spooler_control.h"

#include "common/format.h"
#include "common/path.h"
#include "common/platform.h"
#include "common/progress_report.h"
#include "res/resource.h"

namespace {

// Every wait reads the state at most this often, sleeping between readings:
// about ten seconds in all.
const int kPollAttempts = 1000;
const DWORD kPollIntervalMs = 10;
const DWORD kPauseBeforeActionMs = 200;

struct SpoolerService {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
};

bool OpenSpooler(SpoolerService* spooler)
{
    spooler->manager = Os().OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (spooler->manager == nullptr) {
        return false;
    }
    spooler->service = Os().OpenServiceW(spooler->manager, L"Spooler", SERVICE_ALL_ACCESS);
    if (spooler->service == nullptr) {
        Os().CloseServiceHandle(spooler->manager);
        return false;
    }
    return true;
}

void CloseSpooler(SpoolerService* spooler)
{
    Os().CloseServiceHandle(spooler->service);
    Os().CloseServiceHandle(spooler->manager);
}

bool ReadState(const SpoolerService& spooler, DWORD* state)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!Os().QueryServiceStatusEx(spooler.service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                   sizeof(status), &needed)) {
        return false;
    }
    *state = status.dwCurrentState;
    return true;
}

bool PollForState(const SpoolerService& spooler, DWORD awaited)
{
    for (int attempt = 0; attempt < kPollAttempts; ++attempt) {
        DWORD state = 0;
        if (ReadState(spooler, &state) && state == awaited) {
            return true;
        }
        Os().Sleep(kPollIntervalMs);
    }
    return false;
}

bool IsInState(const SpoolerService& spooler, DWORD expected)
{
    DWORD state = 0;
    return ReadState(spooler, &state) && state == expected;
}

bool StopAndWait(const SpoolerService& spooler)
{
    SERVICE_STATUS status = {};
    Os().ControlService(spooler.service, SERVICE_CONTROL_STOP, &status);
    return PollForState(spooler, SERVICE_STOPPED);
}

// A service left stopped takes every printer of the machine with it: a start
// that did not take gets a second attempt (one that hangs half-way does not).
const int kStartAttempts = 2;

bool StartAndWait(const SpoolerService& spooler)
{
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        Os().StartServiceW(spooler.service, 0, nullptr);
        if (PollForState(spooler, SERVICE_RUNNING)) {
            return true;
        }
        if (!IsInState(spooler, SERVICE_STOPPED)) {
            return false;
        }
    }
    return false;
}

} // namespace

BOOL StopSpooler()
{
    SpoolerService spooler;
    if (!OpenSpooler(&spooler)) {
        return 0;
    }
    BOOL stopped = IsInState(spooler, SERVICE_RUNNING) && StopAndWait(spooler) ? 1 : 0;
    CloseSpooler(&spooler);
    return stopped;
}

BOOL StartSpooler()
{
    // Reaching the service is tried as often as starting it.
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        SpoolerService spooler;
        if (!OpenSpooler(&spooler)) {
            continue;
        }
        DWORD state = 0;
        const bool read = ReadState(spooler, &state);
        BOOL started = read && state == SERVICE_STOPPED && StartAndWait(spooler) ? 1 : 0;
        CloseSpooler(&spooler);
        if (read) {
            return started;
        }
    }
    return 0;
}

void CycleSpooler(SpoolerAction action, const WCHAR* argument)
{
    SpoolerService spooler;
    if (!OpenSpooler(&spooler)) {
        return;
    }
    if (IsInState(spooler, SERVICE_RUNNING)) {
        // The stop is half of the step, the start the other half.
        ShowStep(IDS_STEP_SPOOLER, 2);
        // Each wait ends by itself; the cycle goes on whether or not it saw its state.
        StopAndWait(spooler);
        ShowStepDone(1, 2);
        if (action != nullptr && argument != nullptr) {
            Os().Sleep(kPauseBeforeActionMs);
            action(argument);
        }
        StartAndWait(spooler);
        ShowStepDone(2, 2);
    }
    CloseSpooler(&spooler);
}

BOOL CopyToSystemDirectory(const WCHAR* path)
{
    // Without the system directory or a file name the target would be some
    // other place (the root of the drive): copy nothing then.
    WCHAR systemDirectory[MAX_PATH] = {0};
    UINT length = Os().GetSystemDirectoryW(systemDirectory, MAX_PATH);
    WCHAR drive[3] = {0};
    WCHAR directory[256] = {0};
    WCHAR name[256] = {0};
    WCHAR extension[256] = {0};
    if (length == 0 || length >= MAX_PATH || !SplitPath(path, drive, 3, directory, 256, name, 256, extension, 256) ||
        name[0] == 0) {
        return FALSE;
    }
    WCHAR target[MAX_PATH] = {0};
    FormatBounded(target, MAX_PATH, L"%ws\\%ws%ws", systemDirectory, name, extension);
    return Os().CopyFileW(path, target, FALSE);
}
