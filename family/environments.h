// The spooler environments the family's drivers and packages are kept under.
#pragma once

#include "common/wintypes.h"

// The spooler environments whose drivers and packages are read: this
// machine's, and those it keeps drivers of for other computers (an x64
// print server holds x86 drivers for its clients). Null-terminated.
const WCHAR* const* SpoolerEnvironments();
// Another environment than this machine's own.
bool IsForeignEnvironment(const WCHAR* environment);
// The environment to name when deleting a driver or package of that
// environment: null for this machine's own, as the spooler takes it.
const WCHAR* EnvironmentArgument(const WCHAR* environment);
