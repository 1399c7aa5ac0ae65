#include "tests/support/sim_test.h"

#include <cstring>
#include <iterator>
#include <set>

#include "app/startup.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/instance_guard.h"
#include "common/log.h"
#include "common/progress_report.h"
#include "common/run_log.h"
#include "common/run_options.h"
#include "family/component_inventory.h"
#include "install/driver_copy.h"
#include "install/usb_port_scan.h"

void ResetToolProcess(sim::Machine& machine)
{
    machine.ReleaseHeap();
    InstanceHandle = nullptr;
    std::memset(InstallDirectory, 0, sizeof(InstallDirectory));
    std::memset(TextBufferA, 0, sizeof(TextBufferA));
    std::memset(TextBufferB, 0, sizeof(TextBufferB));
    std::memset(LogFormatBuffer, 0, sizeof(LogFormatBuffer));
    std::memset(LogOutputBuffer, 0, sizeof(LogOutputBuffer));
    RestartRequired = FALSE;
    RunLog = RunLogState{INVALID_HANDLE_VALUE, 0, false, false};
    UsbPortList = nullptr;
    ComponentInventory = Inventory{};
    ForgetPendingDriverFiles();
    Options = RunOptions{};
    ProgressWindow = nullptr;
}

void EndToolProcess(sim::Machine& machine)
{
    machine.EndWorkerThreads();
    CloseRunLog();
    ReleaseInstanceGuard();
}

namespace {

// What a process keeps across a wait for another one: its instance, its
// folder, its switches and its log.
struct WaitingProcess {
    HINSTANCE instance;
    std::wstring installDirectory;
    RunOptions options;
    RunLogState log;
};

} // namespace

int RunToolProcess(sim::Machine& machine, HINSTANCE instance, const wchar_t* commandLine, std::set<void*>* leaked)
{
    const WaitingProcess outer{InstanceHandle, InstallDirectory, Options, RunLog};
    ResetToolProcess(machine);
    const int result = RunStartup(instance, commandLine);
    EndToolProcess(machine);
    *leaked = LeakedBlocks(machine);
    if (!machine.RunsInsideAWait()) {
        return result; // what it leaves stays for the test to see
    }
    InstanceHandle = outer.instance;
    FormatBounded(InstallDirectory, MAX_PATH, L"%ws", outer.installDirectory.c_str());
    Options = outer.options;
    RunLog = outer.log;
    return result;
}

// The blocks that live until the process ends by design: the last scan's
// records, the inventory and the enumeration buffers it points into.
std::set<void*> LiveByDesign()
{
    std::set<void*> live;
    for (UsbPortRecord* record = UsbPortList; record != nullptr; record = record->next) {
        live.insert(record);
    }
    for (PackageNode* node = ComponentInventory.packages; node != nullptr; node = node->next) {
        live.insert(node);
        for (DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
            live.insert(entry);
            live.insert(entry->info);
            for (PrinterEntry* printer = entry->printers; printer != nullptr; printer = printer->next) {
                live.insert(printer);
            }
        }
    }
    for (MonitorEntry* entry = ComponentInventory.monitors; entry != nullptr; entry = entry->next) {
        live.insert(entry);
    }
    live.insert(std::begin(ComponentInventory.driverBuffers), std::end(ComponentInventory.driverBuffers));
    live.insert(ComponentInventory.printerBuffer);
    live.insert(ComponentInventory.monitorBuffer);
    return live;
}

std::set<void*> LeakedBlocks(sim::Machine& machine)
{
    const std::set<void*> live = LiveByDesign();
    std::set<void*> leaked;
    for (void* block : machine.HeapBlocks()) {
        if (live.count(block) == 0) {
            leaked.insert(block);
        }
    }
    return leaked;
}

size_t OpenHandlesOfAnyKind(sim::Machine& machine)
{
    size_t open = machine.registry.OpenHandles() + machine.devices.OpenSets() + machine.spooler.OpenPrinterHandles() +
                  machine.spooler.OpenServiceHandles();
    for (sim::HandleKind kind : {sim::HandleKind::Process, sim::HandleKind::Thread, sim::HandleKind::Folder,
                                 sim::HandleKind::File, sim::HandleKind::Mutex}) {
        open += machine.OpenHandles(kind);
    }
    return open;
}

bool IsFamilyMonitor(const sim::MonitorRecord& monitor)
{
    return sim::EqualsNoCase(monitor.dll.substr(monitor.dll.find_last_of(L"\\") + 1), L"qxvprtmon.dll");
}

std::string FamilyLeft(sim::Machine& machine)
{
    for (const sim::PackageRecord& package : machine.spooler.Packages()) {
        if (package.storedInfPath.find(L"qxvprtv6.inf") != std::wstring::npos) {
            return "the package " + sim::Utf8(package.storedInfPath);
        }
    }
    // The drivers of both environments, as the spooler lists them once started.
    machine.spooler.SetServiceState(SERVICE_RUNNING);
    std::vector<sim::DriverRecord> all = machine.spooler.Drivers();
    std::vector<std::reference_wrapper<const sim::DriverRecord>> x86;
    machine.spooler.DriversOf(L"Windows NT x86", &x86);
    all.insert(all.end(), x86.begin(), x86.end());
    std::set<std::wstring> drivers;
    for (const sim::DriverRecord& driver : all) {
        if (driver.driverPath && driver.driverPath->find(L"qxvprtdrv6.dll") != std::wstring::npos) {
            drivers.insert(sim::FoldCase(driver.name));
        }
    }
    for (const sim::QueueRecord& queue : machine.spooler.Queues()) {
        if (drivers.count(sim::FoldCase(queue.driver)) != 0) {
            return "the queue " + sim::Utf8(queue.name);
        }
    }
    if (!drivers.empty()) {
        return "the driver " + sim::Utf8(*drivers.begin());
    }
    for (const sim::MonitorRecord& monitor : machine.spooler.Monitors()) {
        if (IsFamilyMonitor(monitor)) {
            return "the monitor " + sim::Utf8(monitor.name);
        }
    }
    return std::string();
}

SimTest::SimTest()
{
    SetPlatform(&platform);
    machine.SetToolEntry([this](HINSTANCE instance, const wchar_t* commandLine) {
        // What a process leaves allocated beyond its lists goes with it on Windows, but it was lost all the same.
        const int result = RunToolProcess(machine, instance, commandLine, &lastProcessLeaks_);
        leakedBlocks_ += lastProcessLeaks_.size();
        return result;
    });
}

SimTest::~SimTest()
{
    machine.JoinThreads();
    ResetToolProcess(machine);
    SetPlatform(nullptr);
}

void SimTest::TearDown()
{
    machine.JoinThreads();
    EXPECT_THAT(machine.Violations(), ::testing::IsEmpty());
    EXPECT_EQ(machine.messageBoxes.Unanswered(), 0u) << "scripted message boxes were never shown";
    EXPECT_EQ(machine.dialogs.UnusedActions(), 0u) << "scripted user actions for a dialog that never ran";
    EXPECT_EQ(machine.registry.OpenHandles(), 0u) << "registry keys left open";
    EXPECT_EQ(machine.devices.OpenSets(), 0u) << "device information sets left open";
    EXPECT_EQ(machine.spooler.OpenPrinterHandles(), 0u) << "printer handles left open";
    EXPECT_EQ(machine.spooler.OpenServiceHandles(), 0u) << "service handles left open";
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Folder), 0u) << "folders left held open";
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::File), 0u) << "files left held open";
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Process), 0u) << "process handles left open";
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Mutex), 0u) << "mutexes left open";
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Thread), 0u) << "thread handles left open";
    // The last process's blocks are still there: count only what came after it.
    size_t leakedSince = 0;
    for (void* block : LeakedBlocks(machine)) {
        leakedSince += lastProcessLeaks_.count(block) == 0 ? 1 : 0;
    }
    EXPECT_EQ(leakedBlocks_ + leakedSince, 0u) << "heap blocks leaked";
    EXPECT_EQ(machine.OpenHandles(sim::HandleKind::Thread), 0u) << "thread handles left open";
    EXPECT_THAT(machine.WorkersCutShort(), cutShort) << "workers ended with their process mid-work";
}
