#include "family/environments.h"

#include "common/platform.h"
#include "family/family.h"

namespace {

const WCHAR kX86[] = L"Windows NT x86";
const WCHAR kX64[] = L"Windows x64";
const WCHAR kArm[] = L"Windows ARM";
const WCHAR kArm64[] = L"Windows ARM64";

} // namespace

const WCHAR* const* SpoolerEnvironments()
{
    static const WCHAR* const kNone[] = {nullptr};
    static const WCHAR* const kFromX86[] = {kX86, nullptr};
    static const WCHAR* const kFromX64[] = {kX64, kX86, nullptr};
    static const WCHAR* const kFromArm[] = {kArm, nullptr};
    static const WCHAR* const kFromArm64[] = {kArm64, kX64, kX86, nullptr};
    SYSTEM_INFO system = {};
    Os().GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
        return kFromX86;
    case PROCESSOR_ARCHITECTURE_ARM:
        return kFromArm;
    case PROCESSOR_ARCHITECTURE_AMD64:
        return kFromX64;
    case PROCESSOR_ARCHITECTURE_ARM64:
        return kFromArm64;
    default:
        return kNone;
    }
}

const WCHAR* EnvironmentArgument(const WCHAR* environment)
{
    return IsForeignEnvironment(environment) ? environment : nullptr;
}

bool IsForeignEnvironment(const WCHAR* environment)
{
    const WCHAR* native = SpoolerEnvironments()[0];
    return environment != nullptr && native != nullptr && !EqualsIgnoringAsciiCase(environment, native);
}
