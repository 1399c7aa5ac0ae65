// User-interface operations of the simulated machine: message boxes, string
// resources and the platform formatter.
#include <cstring>

#include "common/win_format.h"
#include "sim/sim_platform.h"
#include "sim/ui/catalogue_texts.h"

namespace sim {

int SimPlatform::MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    if (Injected("MessageBoxW")) {
        return 0;
    }
    return machine_.messageBoxes.Show(owner, text, caption, type);
}

int SimPlatform::LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity)
{
    // A resource that cannot be found or loaded leaves the buffer as it was
    // (so Wine does; the tool relies on the length returned, not on the buffer).
    if (Injected("LoadStringW")) {
        return 0;
    }
    if (instance != machine_.CurrentProcess().instance) {
        // Resources are looked up in a module; any other handle finds nothing.
        machine_.ReportViolation("LoadStringW with an instance handle that is not the tool's module");
        SetLastErrorCode(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    const wchar_t* text = CatalogueText(id, machine_.uiLanguage);
    if (text == nullptr) {
        // Only a string missing from a block that exists empties the buffer.
        if (buffer != nullptr && capacity > 1 && CatalogueHasBlockOf(id)) {
            buffer[0] = 0;
        }
        SetLastErrorCode(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    int length = static_cast<int>(wcslen(text));
    if (capacity == 0) {
        // Windows hands out a read-only pointer to the resource itself.
        *reinterpret_cast<const wchar_t**>(buffer) = text;
        return length;
    }
    int copied = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(buffer, text, static_cast<size_t>(copied) * sizeof(WCHAR));
    buffer[copied] = 0;
    return copied;
}

int SimPlatform::wvsprintfW(LPWSTR output, LPCWSTR format, va_list args)
{
    Counted("wvsprintfW");
    // The platform formatter writes at most 1024 characters, terminator included.
    // A cut text counts as 1024, as Wine reports it.
    bool truncated = false;
    size_t written = FormatWindowsV(output, 1024, format, args, &truncated);
    return truncated ? 1024 : static_cast<int>(written);
}

} // namespace sim
