#include "common/instance_guard.h"

#include <cwchar>

#include "common/log.h"
#include "common/platform.h"

const WCHAR kInstanceMutexName[] = L"Global\\PrinterSetup.Instance";

namespace {

// Owned by Administrators, and only SYSTEM and Administrators may open it.
const WCHAR kGuardSecurity[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE Guard = nullptr;

// Anyone may make a mutex of that name, a process without administrator
// rights too, to keep the tool from ever running. Only one owned by
// Administrators or SYSTEM (which no such process can make) is a copy of the
// tool; a mutex that cannot be examined counts as one, to be safe.
bool MadeByTheTool(HANDLE mutex)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (Os().GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                             &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    LPWSTR text = nullptr;
    bool ours = true;
    if (Os().ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                  OWNER_SECURITY_INFORMATION, &text, nullptr)) {
        ours = wcscmp(text, L"O:BA") == 0 || wcscmp(text, L"O:SY") == 0;
        Os().LocalFree(text);
    }
    Os().LocalFree(descriptor);
    return ours;
}

} // namespace

InstanceGuard TakeInstanceGuard()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!Os().ConvertStringSecurityDescriptorToSecurityDescriptorW(kGuardSecurity, SDDL_REVISION_1, &descriptor,
                                                                   nullptr)) {
        LogLine("The instance guard cannot be made, errcode:%d.", LastFailure());
        return GUARD_UNAVAILABLE;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    HANDLE mutex = Os().CreateMutexW(&attributes, FALSE, kInstanceMutexName);
    const DWORD error = mutex == nullptr ? LastFailure() : Os().GetLastError();
    Os().LocalFree(descriptor);
    if (mutex == nullptr) {
        // Denied: a mutex of that name that lets no administrator in is none of the tool's.
        LogLine("The instance guard %ws cannot be taken, errcode:%d; the tool goes on without it.", kInstanceMutexName,
                error);
        return GUARD_UNAVAILABLE;
    }
    if (error != ERROR_ALREADY_EXISTS) {
        Guard = mutex;
        return GUARD_TAKEN;
    }
    const bool busy = MadeByTheTool(mutex);
    Os().CloseHandle(mutex);
    if (!busy) {
        LogLine("The instance guard %ws was made by a process without administrator rights; the tool goes on "
                "without it.",
                kInstanceMutexName);
        return GUARD_UNAVAILABLE;
    }
    return GUARD_BUSY;
}

void ReleaseInstanceGuard()
{
    if (Guard != nullptr) {
        Os().CloseHandle(Guard);
        Guard = nullptr;
    }
}
