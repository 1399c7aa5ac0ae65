// Shared by the fuzz targets: texts taken from the input, and a simulated
// machine with the tool in its driver folder and a user who cancels whatever
// is offered. Any finding aborts, which libFuzzer records as a crash.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "sim/machine.h"
#include "sim/sim_platform.h"

extern const std::wstring kFuzzFolder;

// Up to maxChars UTF-16 code units of the input, any value but NUL.
std::wstring TakeText(FuzzedDataProvider& input, size_t maxChars);

// Aborts with the message when the condition does not hold.
void Require(bool condition, const char* what);

struct FuzzMachine {
    FuzzMachine();
    ~FuzzMachine();
    FuzzMachine(const FuzzMachine&) = delete;
    FuzzMachine& operator=(const FuzzMachine&) = delete;
    // Nothing the machine reports as misuse, nothing left open or leaked.
    void CheckMachine();
    // CheckMachine, and nothing removed: for runs whose user cancels.
    void Check();

    sim::Machine machine;
    sim::SimPlatform platform{machine};
    size_t leakedBlocks = 0; // by the processes that have ended
};
