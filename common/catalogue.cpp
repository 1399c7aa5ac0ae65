#include "common/catalogue.h"

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
    int copied = 0;
    while (copied < capacity && buffer[copied] != 0) {
        ++copied;
    }
    return copied;
}
