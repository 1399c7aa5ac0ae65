// A fresh simulated machine per test, installed as the tool's platform. The
// test fails if the tool did anything the machine reports as a violation or
// left a scripted message box unanswered.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "sim/kernel/wide.h"
#include "sim/machine.h"
#include "sim/sim_platform.h"

// Ends the previous tool process on this machine: its heap is released and
// the process-wide state starts zeroed again, as for a freshly loaded program.
void ResetToolProcess(sim::Machine& machine);

// What the end of a tool process does on Windows: its workers stop, and the
// handles it keeps for its whole life (the run log, the instance guard) close.
void EndToolProcess(sim::Machine& machine);

// One process of the tool, as a machine's tool entry runs it: fresh process
// state, the tool's entry, the end of the process; *leaked gets the blocks it
// lost. A process another one waits for (the uninstaller's copy) runs inside
// that wait, in the same address space here: what the waiting process keeps
// across the wait is set aside meanwhile and given back afterwards.
int RunToolProcess(sim::Machine& machine, HINSTANCE instance, const wchar_t* commandLine, std::set<void*>* leaked);

// The blocks of the process heap that are neither live by design (the last
// scan's records, the inventory and the buffers it points into) nor freed.
std::set<void*> LeakedBlocks(sim::Machine& machine);

// A monitor registered with the family's DLL, by any path or case.
bool IsFamilyMonitor(const sim::MonitorRecord& monitor);
// What of the family is still installed (by its INF, its rendering DLL in
// either environment, the queues on such a driver and its monitor), or empty.
// Starts the spooler to see its drivers, as the tool's next run would.
std::string FamilyLeft(sim::Machine& machine);

// Every handle the tool holds on the machine: keys, device sets, printers,
// services, folders, files, processes and threads.
size_t OpenHandlesOfAnyKind(sim::Machine& machine);

class SimTest : public ::testing::Test {
protected:
    SimTest();
    ~SimTest() override;
    void TearDown() override;

    sim::Machine machine;
    sim::SimPlatform platform{machine};
    // What the tool's workers may be doing when their process ends: nothing,
    // unless a story ends one on purpose.
    ::testing::Matcher<std::vector<std::string>> cutShort = ::testing::IsEmpty();

private:
    size_t leakedBlocks_ = 0;
    std::set<void*> lastProcessLeaks_;
};
