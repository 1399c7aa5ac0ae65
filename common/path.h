// Path helpers with the C runtime's _wsplitpath_s rules, available on both hosts.
#pragma once

#include <cstddef>

#include "common/wintypes.h"

// Splits path into drive ("C:"), directory (ending in its separator), file
// name and extension (with its dot). When a part does not fit its buffer,
// every part is left empty and FALSE is returned, as the runtime does.
BOOL SplitPath(LPCWSTR path, WCHAR* drive, size_t driveCapacity, WCHAR* directory, size_t directoryCapacity,
               WCHAR* name, size_t nameCapacity, WCHAR* extension, size_t extensionCapacity);
