// The tool's string resources as the simulated resource loader sees them:
// read from the same definitions the resource compiler uses.
#pragma once

#include "common/wintypes.h"

namespace sim {

// The string resource `id` in the language Windows would pick for the user
// interface language, or null when the tool has no such string.
const wchar_t* CatalogueText(UINT id, LANGID uiLanguage);
// String resources are stored in blocks of sixteen ids; whether the tool has
// the block that `id` belongs to.
bool CatalogueHasBlockOf(UINT id);

} // namespace sim
