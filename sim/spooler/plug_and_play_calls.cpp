// Plug and Play and INF operations of the simulated machine: the device
// tree's root, binding a driver package to the USB printers that report a
// hardware ID (sim::Spooler::BindDriver), and an INF's [Version] values.
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "sim/kernel/wide.h"
#include "sim/sim_platform.h"
#include "sim/spooler/inf_file.h"

namespace sim {

namespace {

const DEVINST kRootDevInst = 1;
const CONFIGRET kCrInvalidPointer = 0x00000003; // CR_INVALID_POINTER
const CONFIGRET kCrInvalidDevNode = 0x00000005; // CR_INVALID_DEVNODE
const DWORD kErrorInvalidFlags = 1004;          // ERROR_INVALID_FLAGS
const DWORD kErrorWrongInfStyle = 0xE0000100;   // ERROR_WRONG_INF_STYLE
const DWORD kInfStyleWin4 = 2;                  // INF_STYLE_WIN4
const DWORD kInstallFlagsKnown = 0x00000007;    // FORCE, READONLY, NONINTERACTIVE

// SetupAPI's answer to a call whose buffer cannot take the result: a size
// query (no buffer and no size) succeeds, a buffer too small fails. False
// when the buffer takes it and the call goes on.
bool AnsweredBySize(const void* buffer, DWORD size, DWORD needed, PDWORD required, BOOL* answer)
{
    if (required != nullptr) {
        *required = needed;
    }
    if (buffer != nullptr && size >= needed) {
        return false;
    }
    *answer = buffer == nullptr && size == 0;
    if (!*answer) {
        SetLastErrorCode(buffer == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
    }
    return true;
}

// What SetupGetInfInformationW leaves after the header: the INF's path,
// then each [Version] key and value, all terminated, and an empty key.
std::wstring VersionData(const std::wstring& path, const InfFile& inf)
{
    std::wstring data = path + L'\0';
    for (const InfFile::Line& line : inf.Section(L"Version")) {
        if (line.key && !line.key->empty()) {
            data += *line.key + L'\0' + inf.Value(L"Version", *line.key).value_or(L"") + L'\0';
        }
    }
    return data + L'\0';
}

} // namespace

CONFIGRET SimPlatform::CM_Locate_DevNodeW(PDEVINST devInst, DEVINSTID_W deviceId, ULONG)
{
    DWORD injected = ERROR_SUCCESS;
    if (Injected("CM_Locate_DevNodeW", &injected)) {
        return CR_FAILURE;
    }
    if (devInst == nullptr) {
        return kCrInvalidPointer;
    }
    if (deviceId != nullptr && deviceId[0] != 0) {
        machine_.ReportViolation(
            "CM_Locate_DevNodeW of a device other than the root, which the machine does not model");
        return CR_NO_SUCH_DEVNODE;
    }
    *devInst = kRootDevInst;
    return CR_SUCCESS;
}

CONFIGRET SimPlatform::CM_Reenumerate_DevNode(DEVINST devInst, ULONG)
{
    DWORD injected = ERROR_SUCCESS;
    if (Injected("CM_Reenumerate_DevNode", &injected)) {
        return CR_FAILURE;
    }
    if (devInst != kRootDevInst) {
        return kCrInvalidDevNode;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    machine_.spooler.CountReenumerate();
    return CR_SUCCESS;
}

BOOL SimPlatform::UpdateDriverForPlugAndPlayDevicesW(HWND, LPCWSTR hardwareId, LPCWSTR infPath, DWORD flags,
                                                     PBOOL rebootRequired)
{
    if (Injected("UpdateDriverForPlugAndPlayDevicesW")) {
        return FALSE;
    }
    if (hardwareId == nullptr || infPath == nullptr) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((flags & ~kInstallFlagsKnown) != 0) {
        SetLastErrorCode(kErrorInvalidFlags);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    machine_.spooler.bindFlags.push_back(flags);
    bool reboot = false;
    DWORD error = machine_.spooler.BindDriver(hardwareId, infPath, flags, &reboot);
    if (rebootRequired != nullptr) {
        *rebootRequired = reboot ? TRUE : FALSE;
    }
    if (error != ERROR_SUCCESS) {
        SetLastErrorCode(error);
        return FALSE;
    }
    return TRUE;
}

BOOL SimPlatform::SetupGetInfInformationW(LPCVOID infSpec, DWORD searchControl, PSP_INF_INFORMATION buffer, DWORD size,
                                          PDWORD required)
{
    if (Injected("SetupGetInfInformationW")) {
        return FALSE;
    }
    if (searchControl != INFINFO_INF_NAME_IS_ABSOLUTE) {
        machine_.ReportViolation(
            "SetupGetInfInformationW other than by absolute name, which the machine does not model");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (infSpec == nullptr) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    const std::wstring path = static_cast<LPCWSTR>(infSpec);
    std::optional<std::string> content = machine_.volume.ReadFile(path);
    if (!content || !Volume::IsAbsolute(path)) {
        SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const std::shared_ptr<const InfFile> parsed = InfFile::ParseCached(*content);
    const InfFile& inf = *parsed;
    if (!inf.HasDriverSignature()) {
        SetLastErrorCode(kErrorWrongInfStyle);
        return FALSE;
    }
    const std::wstring data = VersionData(path, inf);
    const DWORD total = static_cast<DWORD>(offsetof(SP_INF_INFORMATION, VersionData) + data.size() * sizeof(WCHAR));
    BOOL answer = FALSE;
    if (AnsweredBySize(buffer, size, total, required, &answer)) {
        return answer;
    }
    buffer->InfStyle = kInfStyleWin4;
    buffer->InfCount = 1;
    std::memcpy(buffer->VersionData, data.data(), data.size() * sizeof(WCHAR));
    return TRUE;
}

BOOL SimPlatform::SetupQueryInfVersionInformationW(PSP_INF_INFORMATION info, UINT index, PCWSTR key, PWSTR buffer,
                                                   DWORD size, PDWORD required)
{
    if (Injected("SetupQueryInfVersionInformationW")) {
        return FALSE;
    }
    if (key == nullptr) {
        machine_.ReportViolation(
            "SetupQueryInfVersionInformationW of all keys at once, which the machine does not model");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (info == nullptr || index >= info->InfCount || info->InfStyle != kInfStyleWin4) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The path, then key/value pairs up to an empty key.
    const auto* data = reinterpret_cast<const WCHAR*>(info->VersionData);
    data += std::wcslen(data) + 1;
    std::optional<std::wstring> value;
    while (*data != 0) {
        const std::wstring name = data;
        data += name.size() + 1;
        const std::wstring text = data;
        data += text.size() + 1;
        if (!value && EqualsNoCase(name, key)) {
            value = text;
        }
    }
    if (!value) {
        // A key [Version] does not have; the code is our choice.
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD chars = static_cast<DWORD>(value->size() + 1);
    BOOL answer = FALSE;
    if (AnsweredBySize(buffer, size, chars, required, &answer)) {
        return answer;
    }
    std::memcpy(buffer, value->c_str(), chars * sizeof(WCHAR));
    return TRUE;
}

} // namespace sim
