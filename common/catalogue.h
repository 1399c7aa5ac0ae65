// The message catalogue: the tool's string resources in the user's language.
#pragma once

#include "common/wintypes.h"

// Loads string `id` into buffer (capacity in characters, at least 1) and
// returns its length. A string the resource loader cannot give is taken from
// the English texts built into the program, so a message never shows an
// earlier message's text, and never formats one.
int LoadText(UINT id, WCHAR* buffer, int capacity);

// Shows a message box and records it in the run log with its answer. In a
// run that suppresses boxes it is not shown and takes its default answer
// (Cancel where there is one, No, else OK), recorded as such.
int ShowBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Shows a message box without owner: text `textId` formatted with the
// arguments, under the usual caption. Returns the box's answer.
int ShowMessage(UINT textId, UINT type, ...);
