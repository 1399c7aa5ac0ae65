// The cost per item of the work that grows with the machine: the port scan
// with its printers, the inventory with its drivers and queues, the tree that
// shows it, and the formatter every line goes through. The simulated machine
// answers every call, so its share is in the figures too; waits are not.
#include <benchmark/benchmark.h>

#include <string>

#include "common/format.h"
#include "common/globals.h"
#include "family/component_inventory.h"
#include "common/run_options.h"
#include "install/usb_port_scan.h"
#include "res/resource.h"
#include "uninstall/removal.h"
#include "uninstall/uninstall_dialog.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

// A machine with the tool running as a process on it.
struct Bench {
    sim::Machine machine;
    sim::SimPlatform platform{machine};
    Bench()
    {
        // A benchmark repeats its work far beyond any story: no story limits.
        machine.limits.platformCalls = ~0u;
        machine.limits.scans = ~0u;
        SetPlatform(&platform);
        machine.InstallTool(kDriverFolder + L"PrinterSetup.exe");
        machine.BeginProcess(kDriverFolder + L"PrinterSetup.exe", L"");
    }
    ~Bench()
    {
        machine.EndProcess();
        ResetToolProcess(machine);
        SetPlatform(nullptr);
    }

    // `drivers` family drivers, and `queues` queues spread over them.
    void StageFamily(int drivers, int queues)
    {
        for (int d = 0; d < drivers; ++d) {
            sim::DriverRecord driver;
            driver.name = L"VADedudoro PX" + std::to_wstring(1000 + d);
            driver.driverPath = machine.spooler.DriverDirectory() + L"\\3\\qxvprtdrv6.dll";
            machine.spooler.StageDriver(driver);
        }
        for (int q = 0; q < queues; ++q) {
            sim::QueueRecord queue;
            queue.name = L"Desk " + std::to_wstring(q);
            queue.port = L"USB" + std::to_wstring(q % 999 + 1);
            queue.driver = L"VADedudoro PX" + std::to_wstring(1000 + q % drivers);
            machine.spooler.StageQueue(queue);
        }
    }
};

// Reads and frees the inventory of the staged machine, once an iteration.
void ReadInventoryEachIteration(benchmark::State& state)
{
    for (auto _ : state) {
        Inventory inventory = {};
        ReadInventory(&inventory);
        benchmark::DoNotOptimize(inventory.packages);
        FreeInventory(&inventory);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void InventoryOfQueues(benchmark::State& state)
{
    Bench bench;
    bench.StageFamily(1, static_cast<int>(state.range(0)));
    ReadInventoryEachIteration(state);
}
BENCHMARK(InventoryOfQueues)->RangeMultiplier(4)->Range(1, 4096);

void InventoryOfDrivers(benchmark::State& state)
{
    Bench bench;
    bench.StageFamily(static_cast<int>(state.range(0)), static_cast<int>(state.range(0)));
    ReadInventoryEachIteration(state);
}
BENCHMARK(InventoryOfDrivers)->RangeMultiplier(4)->Range(1, 512);

// `packages` packages of the family in the driver store and one driver with
// one queue: a machine that has kept many versions of the package. (Every
// driver is listed under every package, as the tree shows it, so drivers
// times packages is the size of the inventory by design; one driver keeps the
// figure to the packages' own cost.)
void StagePackages(sim::Machine& machine, int packages)
{
    std::wstring first;
    for (int p = 0; p < packages; ++p) {
        const std::wstring folder = L"C:\\Drivers\\Version " + std::to_wstring(p) + L"\\";
        WriteDriverFolder(machine, folder);
        // A package is told by its content: each version's INF differs by a comment.
        const std::string inf = machine.volume.ReadFile(folder + L"qxvprtv6.inf").value_or("");
        machine.volume.WriteFile(folder + L"qxvprtv6.inf", inf + "\r\n; version " + std::to_string(p) + "\r\n");
        std::wstring stored;
        machine.spooler.UploadPackage(folder + L"qxvprtv6.inf", &stored);
        first = p == 0 ? stored : first;
    }
    sim::DriverRecord driver;
    driver.name = L"VADedudoro PX630KT";
    driver.driverPath = machine.spooler.DriverDirectory() + L"\\3\\qxvprtdrv6.dll";
    driver.infPath = first;
    machine.spooler.StageDriver(driver);
    sim::QueueRecord queue;
    queue.name = L"Desk";
    queue.port = L"USB001";
    queue.driver = driver.name;
    machine.spooler.StageQueue(queue);
}

void InventoryOfPackages(benchmark::State& state)
{
    Bench bench;
    StagePackages(bench.machine, static_cast<int>(state.range(0)));
    {
        Inventory inventory = {};
        ReadInventory(&inventory);
        int found = 0;
        for (const PackageNode* node = inventory.packages; node != nullptr; node = node->next) {
            found += node->infPath[0] != 0 ? 1 : 0;
        }
        FreeInventory(&inventory);
        if (found != state.range(0)) {
            state.SkipWithError("the inventory does not list every package");
            return;
        }
    }
    ReadInventoryEachIteration(state);
}
BENCHMARK(InventoryOfPackages)->RangeMultiplier(4)->Range(1, 64);

// The uninstall dialog's tree filled from the inventory, on the dialog's thread
// as the tool does it: a line for each queue under its driver.
void TreeOfQueues(benchmark::State& state)
{
    Bench bench;
    bench.StageFamily(1, static_cast<int>(state.range(0)));
    ReadInventory(&ComponentInventory);
    static benchmark::State* running = nullptr;
    running = &state;
    Os().DialogBoxParamW(
        bench.machine.CurrentProcess().instance, MAKEINTRESOURCEW(IDD_UNINSTALL), nullptr,
        [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) {
                for (auto _ : *running) {
                    FillComponentTree(dialog);
                }
                // The folder, the package, the driver and a line for each queue.
                HWND tree = Os().GetDlgItem(dialog, IDC_COMPONENT_TREE);
                if (Os().SendMessageW(tree, TVM_GETCOUNT, 0, 0) != running->range(0) + 3) {
                    running->SkipWithError("the tree does not show every queue");
                }
                Os().EndDialog(dialog, IDOK);
            }
            return FALSE;
        },
        0);
    FreeInventory(&ComponentInventory);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(TreeOfQueues)->RangeMultiplier(4)->Range(1, 4096);

// The whole removal without a window: queues, driver, check; the pauses it
// makes pass on the virtual clock and cost nothing here.
void RemovalOfQueues(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        {
            Bench bench;
            bench.StageFamily(1, static_cast<int>(state.range(0)));
            Options = RunOptions{};
            Options.switched = true;
            Options.quiet = QUIET_VERYSILENT;
            state.ResumeTiming();
            benchmark::DoNotOptimize(RemoveWithoutDialog());
            state.PauseTiming();
            Options = RunOptions{};
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(RemovalOfQueues)->RangeMultiplier(4)->Range(16, 4096);

void PortScan(benchmark::State& state)
{
    Bench bench;
    for (int p = 0; p < state.range(0); ++p) {
        bench.machine.devices.Plug(FamilyPrinter(L"SN" + std::to_wstring(p), static_cast<DWORD>(p + 1), L"PX630KT"));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScanUsbPrinterPorts());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(PortScan)->RangeMultiplier(4)->Range(1, 256);

// What every story and every fuzz run pays first: a fresh machine.
void FreshMachine(benchmark::State& state)
{
    for (auto _ : state) {
        Bench bench;
        benchmark::DoNotOptimize(&bench.machine);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FreshMachine);

// A whole story as the fault sweep and the fuzz targets play it: the typical
// installation of one plugged-in printer, on a fresh machine.
void TypicalInstallStory(benchmark::State& state)
{
    for (auto _ : state) {
        Bench bench;
        bench.machine.SetToolEntry([&bench](HINSTANCE instance, const wchar_t* commandLine) {
            std::set<void*> leaked;
            return RunToolProcess(bench.machine, instance, commandLine, &leaked);
        });
        InstallDriverFolder(bench.machine, kDriverFolder);
        bench.machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
        benchmark::DoNotOptimize(bench.machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L"/VERYSILENT"));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(TypicalInstallStory);

void FormatLine(benchmark::State& state)
{
    WCHAR line[768];
    for (auto _ : state) {
        FormatBounded(line, 768, L"CopyFile file:%ws to %ws, %d, errcode:%d.", L"C:\\Drivers\\amd64\\qxvprtdrv6.dll",
                      L"C:\\Windows\\system32\\spool\\drivers\\x64\\qxvprtdrv6.dll", 1, 0);
        benchmark::DoNotOptimize(line);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FormatLine);

} // namespace

BENCHMARK_MAIN();
