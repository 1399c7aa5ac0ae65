// The shipped driver folder, laid out on a simulated machine.
#pragma once

#include <string>

#include "sim/machine.h"

// The demo INF and stand-ins for the driver files, under `folder` (ending in a backslash).
void WriteDriverFolder(sim::Machine& machine, const std::wstring& folder);
