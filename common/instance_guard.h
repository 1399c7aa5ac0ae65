// One copy of the tool at a time: two would stop and start the spooler under
// each other. The copies see each other through a named mutex that every
// session shares.
#pragma once

#include "common/wintypes.h"

extern const WCHAR kInstanceMutexName[];

enum InstanceGuard {
    GUARD_TAKEN,      // this process is the one that works
    GUARD_BUSY,       // another copy of the tool works
    GUARD_UNAVAILABLE // it cannot be told: the tool goes on as it did before the guard
};

InstanceGuard TakeInstanceGuard();
// A hand-over lets the process it starts take the guard.
void ReleaseInstanceGuard();
