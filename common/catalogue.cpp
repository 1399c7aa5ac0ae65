#include "common/catalogue.h"

#include <cstdarg>
#include <cwchar>

#include "common/format.h"
#include "common/globals.h"
#include "common/platform.h"
#include "res/resource.h"

namespace {

struct BuiltInText {
    UINT id;
    const WCHAR* english;
};

const BuiltInText kBuiltInTexts[] = {
#define CATALOGUE_TEXT(id, english, chinese) {id, L"" english},
#include "res/texts.inc"
#undef CATALOGUE_TEXT
};

const WCHAR* BuiltInEnglish(UINT id)
{
    for (const BuiltInText& text : kBuiltInTexts) {
        if (text.id == id) {
            return text.english;
        }
    }
    return L"";
}

} // namespace

int LoadText(UINT id, WCHAR* buffer, int capacity)
{
    int length = Os().LoadStringW(InstanceHandle, id, buffer, capacity);
    if (length > 0) {
        return length;
    }
    FormatBounded(buffer, static_cast<size_t>(capacity), L"%ws", BuiltInEnglish(id));
    return static_cast<int>(wcslen(buffer));
}

int ShowMessage(UINT textId, UINT type, ...)
{
    WCHAR text[260] = {0};
    WCHAR caption[260] = {0};
    WCHAR message[768] = {0};
    LoadText(textId, text, 260);
    LoadText(IDS_MESSAGE_CAPTION, caption, 260);
    va_list args;
    va_start(args, type);
    FormatBoundedV(message, 768, text, args);
    va_end(args);
    return Os().MessageBoxW(nullptr, message, caption, type);
}
