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
    const size_t bytes = sizeof(DescriptorBlock) + sddl.size() * sizeof(wchar_t);
    auto* block = static_cast<DescriptorBlock*>(std::calloc(1, bytes));
    block->mark = kDescriptorMark;
    block->length = static_cast<uint32_t>(sddl.size());
    std::memcpy(block->text, sddl.c_str(), (sddl.size() + 1) * sizeof(wchar_t));
    machine_.TrackBlock(block);
    *descriptor = block;
    if (size != nullptr) {
        *size = static_cast<ULONG>(bytes);
    }
    return TRUE;
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
