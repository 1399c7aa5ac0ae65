// The tool's string resources as the simulated resource loader sees them:
// read from the same definitions the resource compiler uses.
#pragma once

#include "common/wintypes.h"

namespace sim {

// The string resource `id` in the language Windows would pick for the user
// interface language, or null when the tool has no such string.
const wchar_t* CatalogueText(UINT id, LANGID uiLanguage);

} // namespace sim
