#include "common/catalogue.h"

#include <cstdarg>
#include <cwchar>

#include "common/format.h"
#include "common/globals.h"
#include "common/platform.h"
#include "common/run_log.h"
#include "common/run_options.h"
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

const WCHAR* AnswerName(int answer)
{
    switch (answer) {
    case IDOK:
        return L"OK";
    case IDCANCEL:
        return L"Cancel";
    case IDRETRY:
        return L"Retry";
    case IDYES:
        return L"Yes";
    case IDNO:
        return L"No";
    default:
        return L"another";
    }
}

int DefaultAnswer(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_RETRYCANCEL:
    case MB_YESNOCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    default:
        return IDOK;
    }
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
    return ShowBox(nullptr, message, caption, type);
}

int ShowBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    if (SuppressesBoxes()) {
        const int answer = DefaultAnswer(type);
        NoteInRunLog(L"Message box not shown (/SUPPRESSMSGBOXES): \"%ws\" Answer: %ws.", text, AnswerName(answer));
        return answer;
    }
    const int answer = Os().MessageBoxW(owner, text, caption, type);
    if (answer == 0) {
        const DWORD error = LastFailure();
        NoteInRunLog(L"Message box could not be shown (errcode:%d): \"%ws\"", static_cast<int>(error), text);
        Os().SetLastError(error);
    } else {
        NoteInRunLog(L"Message box: \"%ws\" Answer: %ws.", text, AnswerName(answer));
    }
    return answer;
}
