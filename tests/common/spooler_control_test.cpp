// Stopping and starting the spooler service: bounded waits, and nothing done
// to a service in the wrong state.
#include <string>

#include "common/platform.h"
#include "common/spooler_control.h"
#include "tests/support/sim_test.h"

namespace {

class SpoolerControl : public SimTest {
protected:
    static std::wstring actionArgument;
    static int actionRuns;
    static DWORD stateDuringAction;
    static sim::Machine* current;

    static BOOL RecordAction(const WCHAR* argument)
    {
        actionArgument = argument;
        ++actionRuns;
        stateDuringAction = current->spooler.ServiceState();
        return TRUE;
    }

    SpoolerControl()
    {
        current = &machine;
        actionRuns = 0;
        actionArgument.clear();
    }
};

std::wstring SpoolerControl::actionArgument;
int SpoolerControl::actionRuns;
DWORD SpoolerControl::stateDuringAction;
sim::Machine* SpoolerControl::current;

TEST_F(SpoolerControl, StopAndStartOnlyActOnTheStateTheyExpect)
{
    EXPECT_EQ(StartSpooler(), 0) << "already running";
    EXPECT_EQ(machine.spooler.Starts(), 0);

    EXPECT_EQ(StopSpooler(), 1);
    EXPECT_EQ(machine.spooler.ServiceState(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(StopSpooler(), 0) << "already stopped";
    EXPECT_EQ(machine.spooler.Stops(), 1);

    EXPECT_EQ(StartSpooler(), 1);
    EXPECT_EQ(machine.spooler.ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(machine.clock.NowMs(), 0u) << "transitions that complete at once need no sleep";
}

TEST_F(SpoolerControl, WaitsPollEvery10MsUntilTheStateIsSeen)
{
    machine.spooler.stopDelayMs = 2345;
    machine.spooler.startDelayMs = 500;
    EXPECT_EQ(StopSpooler(), 1);
    EXPECT_EQ(machine.clock.NowMs(), 2350u) << "the first reading at or after 2345 ms";
    EXPECT_EQ(StartSpooler(), 1);
    EXPECT_EQ(machine.clock.NowMs(), 2850u);
}

TEST_F(SpoolerControl, AServiceThatNeverStopsEndsEachWaitAfter1000Polls)
{
    machine.spooler.neverStops = true;
    EXPECT_EQ(StopSpooler(), 0);
    EXPECT_EQ(machine.clock.NowMs(), 10000u) << "1000 polls of 10 ms";

    machine.spooler.neverStops = false;
    machine.spooler.SetServiceState(SERVICE_STOPPED);
    machine.spooler.neverStarts = true;
    EXPECT_EQ(StartSpooler(), 0);
    EXPECT_EQ(machine.clock.NowMs(), 20000u) << "a start hanging half-way is not repeated";
}

TEST_F(SpoolerControl, AServiceThatCannotBeOpenedIsLeftAlone)
{
    machine.spooler.serviceMissing = true;
    EXPECT_EQ(StopSpooler(), 0);
    CycleSpooler(RecordAction, L"C:\\x.dll");
    EXPECT_EQ(actionRuns, 0);
    machine.spooler.serviceMissing = false;
    machine.spooler.managerFails = true;
    EXPECT_EQ(StartSpooler(), 0);
    EXPECT_EQ(machine.spooler.Stops() + machine.spooler.Starts(), 0);
}

TEST_F(SpoolerControl, CycleDoesNothingToAServiceThatIsNotRunning)
{
    machine.spooler.SetServiceState(SERVICE_STOPPED);
    CycleSpooler(RecordAction, L"C:\\Drivers\\amd64\\qxvprtmon.dll");
    EXPECT_EQ(actionRuns, 0);
    EXPECT_EQ(machine.spooler.Starts(), 0);
    EXPECT_EQ(machine.spooler.ServiceState(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(SpoolerControl, CycleGoesOnWhenTheStopIsNeverSeen)
{
    machine.spooler.neverStops = true;
    CycleSpooler(RecordAction, L"C:\\a.dll");
    EXPECT_EQ(actionRuns, 1) << "the action runs after the bounded wait";
    EXPECT_EQ(machine.clock.NowMs(), 10000u + 200u + 10000u) << "stop wait, pause, start wait";
}

TEST_F(SpoolerControl, CopyToSystemDirectoryKeepsTheFileName)
{
    machine.volume.WriteFile(L"C:\\Drivers\\PX\\amd64\\qxvprtmon.dll", "monitor v2");
    machine.volume.WriteFile(machine.systemDirectory + L"\\qxvprtmon.dll", "monitor v1");
    EXPECT_TRUE(CopyToSystemDirectory(L"C:\\Drivers\\PX\\\\amd64\\qxvprtmon.dll"));
    EXPECT_EQ(machine.volume.ReadFile(machine.systemDirectory + L"\\qxvprtmon.dll"), "monitor v2");

    machine.faults.FailCall("GetSystemDirectoryW", machine.faults.Calls("GetSystemDirectoryW") + 1,
                            ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(CopyToSystemDirectory(L"C:\\Drivers\\PX\\amd64\\qxvprtmon.dll"));
    EXPECT_EQ(machine.faults.Calls("CopyFileW"), 1) << "no copy at all: it would go to the root of the drive";
}

} // namespace
