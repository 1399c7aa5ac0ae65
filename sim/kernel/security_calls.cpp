// Security descriptors as the simulated machine hands them out: a block of
// the process heap that carries the descriptor's SDDL text.
#include <cstdlib>
#include <cstring>

#include "sim/sim_platform.h"

namespace sim {

namespace {

const uint32_t kDescriptorMark = 0x53444453; // "SDDS"

struct DescriptorBlock {
    uint32_t mark;
    uint32_t length; // characters of the text, without terminator
    wchar_t text[1];
};

} // namespace

BOOL SimPlatform::ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR text, DWORD revision,
                                                                       PSECURITY_DESCRIPTOR* descriptor, PULONG size)
{
    if (Injected("ConvertStringSecurityDescriptorToSecurityDescriptorW")) {
        return FALSE;
    }
    if (text == nullptr || descriptor == nullptr || revision != SDDL_REVISION_1) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::wstring sddl(text);
    if (!ParseSddl(sddl)) {
        machine_.ReportViolation("a security descriptor the simulated machine cannot read");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *descriptor = NewDescriptor(sddl, size);
    return TRUE;
}

PSECURITY_DESCRIPTOR SimPlatform::NewDescriptor(const std::wstring& sddl, ULONG* bytes)
{
    const size_t size = sizeof(DescriptorBlock) + sddl.size() * sizeof(wchar_t);
    auto* block = static_cast<DescriptorBlock*>(std::calloc(1, size));
    block->mark = kDescriptorMark;
    block->length = static_cast<uint32_t>(sddl.size());
    std::memcpy(block->text, sddl.c_str(), (sddl.size() + 1) * sizeof(wchar_t));
    machine_.TrackBlock(block);
    if (bytes != nullptr) {
        *bytes = static_cast<ULONG>(size);
    }
    return block;
}

// Only what the tool asks of a kernel object: its owner.
DWORD SimPlatform::GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID* owner,
                                   PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    DWORD error = ERROR_SUCCESS;
    if (Injected("GetSecurityInfo", &error)) {
        return error;
    }
    if (type != SE_KERNEL_OBJECT || information != OWNER_SECURITY_INFORMATION || owner != nullptr || group != nullptr ||
        dacl != nullptr || sacl != nullptr || descriptor == nullptr) {
        NotModelled("GetSecurityInfo other than the owner of a kernel object");
        return ERROR_INVALID_PARAMETER;
    }
    const std::optional<SecurityDescriptor> security = machine_.MutexSecurity(handle);
    if (!security) {
        return ERROR_INVALID_HANDLE;
    }
    *descriptor = NewDescriptor(L"O:" + security->owner + L"D:");
    return ERROR_SUCCESS;
}

BOOL SimPlatform::ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR descriptor, DWORD revision,
                                                                       SECURITY_INFORMATION information, LPWSTR* text,
                                                                       PULONG length)
{
    if (Injected("ConvertSecurityDescriptorToStringSecurityDescriptorW")) {
        return FALSE;
    }
    if (revision != SDDL_REVISION_1 || information != OWNER_SECURITY_INFORMATION || text == nullptr ||
        machine_.HeapBlocks().count(descriptor) == 0 ||
        static_cast<const DescriptorBlock*>(descriptor)->mark != kDescriptorMark) {
        NotModelled(
            "ConvertSecurityDescriptorToStringSecurityDescriptorW other than the owner of a descriptor made here");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* block = static_cast<const DescriptorBlock*>(descriptor);
    const std::optional<SecurityDescriptor> security = ParseSddl(std::wstring(block->text, block->length));
    const std::wstring owner = L"O:" + (security ? security->owner : std::wstring());
    auto* out = static_cast<wchar_t*>(std::calloc(owner.size() + 1, sizeof(wchar_t)));
    std::memcpy(out, owner.c_str(), (owner.size() + 1) * sizeof(wchar_t));
    machine_.TrackBlock(out);
    *text = out;
    if (length != nullptr) {
        *length = static_cast<ULONG>(owner.size() + 1);
    }
    return TRUE;
}

bool SimPlatform::CallerDescriptor(LPSECURITY_ATTRIBUTES attributes, std::optional<SecurityDescriptor>* own)
{
    own->reset();
    if (attributes == nullptr || attributes->lpSecurityDescriptor == nullptr) {
        return true;
    }
    *own = DescriptorOf(attributes);
    if (!*own) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

std::optional<SecurityDescriptor> SimPlatform::DescriptorOf(LPSECURITY_ATTRIBUTES attributes)
{
    if (attributes->nLength != sizeof(SECURITY_ATTRIBUTES)) {
        return std::nullopt;
    }
    if (machine_.HeapBlocks().count(attributes->lpSecurityDescriptor) == 0) {
        machine_.ReportViolation("a security descriptor that is not (or no longer) allocated");
        return std::nullopt;
    }
    const auto* block = static_cast<const DescriptorBlock*>(attributes->lpSecurityDescriptor);
    if (block->mark != kDescriptorMark) {
        return std::nullopt;
    }
    return ParseSddl(std::wstring(block->text, block->length));
}

BOOL SimPlatform::IsUserAnAdmin()
{
    Counted("IsUserAnAdmin");
    return machine_.CallerToken().elevated ? TRUE : FALSE;
}

HRESULT SimPlatform::CoCreateGuid(GUID* guid)
{
    if (Injected("CoCreateGuid")) {
        return E_FAIL;
    }
    if (guid == nullptr) {
        return E_INVALIDARG;
    }
    // Unique on this machine and the same in every run, so stories repeat.
    const uint32_t serial = machine_.NextSerial();
    *guid = GUID{0x5a1d0000u + serial, 0x7e3c, 0x4b1f, {0x9a, 0x41, 0x0c, 0x2e, 0x61, 0x77, 0x3d, 0x08}};
    return S_OK;
}

} // namespace sim
