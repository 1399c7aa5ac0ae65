// The scan and the inventory on a machine built from the input: USB printer
// ports with registry values of any type and length (or none), odd interface
// paths, drivers with missing fields, queues with long names, driver store
// entries of any shape, and perhaps one failing call. The uninstall dialog's
// scan and tree and the install mode must cope with all of it.
#include "fuzz/fuzz_support.h"

namespace {

const wchar_t* const kValueNames[] = {L"Port Number", L"Port Description", L"Serial Number"};
const char* const kFailingCalls[] = {"RegOpenKeyExW",
                                     "RegGetValueW",
                                     "RegQueryValueExW",
                                     "RegEnumKeyW",
                                     "SetupDiEnumDeviceInterfaces",
                                     "SetupDiGetDeviceInterfaceDetailW",
                                     "EnumPrinterDriversW",
                                     "EnumPrintersW",
                                     "LocalAlloc",
                                     "SetupGetInfInformationW"};

std::wstring Maybe(FuzzedDataProvider& input, const std::wstring& usual, size_t maxChars)
{
    return input.ConsumeBool() ? usual : TakeText(input, maxChars);
}

void StagePorts(FuzzedDataProvider& input, sim::Machine& machine)
{
    for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
        sim::UsbPrinter printer;
        printer.vendorId = Maybe(input, L"7A3E", 6);
        printer.serial = Maybe(input, L"SN" + std::to_wstring(count), 40);
        printer.portNumber = input.ConsumeIntegral<DWORD>();
        printer.portDescription = Maybe(input, L"VADedudoro PX630KT", input.ConsumeBool() ? 40 : 10000);
        printer.parametersKey = input.ConsumeBool() || input.ConsumeBool();
        machine.devices.Plug(printer);
        while (input.ConsumeBool()) {
            const wchar_t* name = kValueNames[input.ConsumeIntegralInRange<size_t>(0, 2)];
            const DWORD type = input.ConsumeIntegralInRange<DWORD>(0, 11);
            const size_t length = input.ConsumeIntegralInRange<size_t>(0, input.ConsumeBool() ? 16 : 20000);
            machine.registry.SetValue(HKEY_LOCAL_MACHINE, sim::Devices::ParametersKey(printer), name, type,
                                      input.ConsumeBytes<BYTE>(length));
        }
    }
}

void StageSpooler(FuzzedDataProvider& input, sim::Machine& machine)
{
    std::vector<std::wstring> drivers;
    for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
        sim::DriverRecord driver;
        driver.name = Maybe(input, L"VADedudoro PX630KT", 300);
        if (input.ConsumeBool()) {
            driver.driverPath = Maybe(input, L"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\qxvprtdrv6.dll", 300);
        }
        if (input.ConsumeBool()) {
            driver.infPath = Maybe(input, L"C:\\Windows\\System32\\DriverStore\\FileRepository\\q\\qxvprtv6.inf", 1100);
        }
        if (input.ConsumeBool()) {
            driver.manufacturer = TakeText(input, 300);
        }
        driver.driverVersion = input.ConsumeIntegral<DWORDLONG>();
        machine.spooler.StageDriver(driver);
        drivers.push_back(driver.name);
    }
    for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
        sim::QueueRecord queue;
        queue.name = TakeText(input, input.ConsumeBool() ? 30 : 1000);
        queue.port = Maybe(input, L"USB001", 300);
        queue.driver = drivers.empty() || input.ConsumeBool() ? TakeText(input, 300) : drivers.front();
        machine.spooler.StageQueue(queue);
    }
    const std::wstring packages = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\"
                                  L"Windows x64\\DriverPackages\\";
    for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
        const std::wstring key = packages + TakeText(input, 80);
        machine.registry.CreateKey(HKEY_LOCAL_MACHINE, key);
        const DWORD type = input.ConsumeBool() ? REG_MULTI_SZ : input.ConsumeIntegralInRange<DWORD>(0, 11);
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, input.ConsumeBool() ? 200 : 5000);
        machine.registry.SetValue(HKEY_LOCAL_MACHINE, key, L"DriverStorePath", type, input.ConsumeBytes<BYTE>(length));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    FuzzMachine fuzz;
    sim::Machine& machine = fuzz.machine;
    StagePorts(input, machine);
    StageSpooler(input, machine);
    if (input.ConsumeBool()) {
        machine.faults.FailCall(kFailingCalls[input.ConsumeIntegralInRange<size_t>(0, 9)],
                                input.ConsumeIntegralInRange(1, 4), ERROR_NOT_ENOUGH_MEMORY);
    }
    // The uninstall dialog: scan, inventory and tree; the user closes it.
    machine.RunTool(kFuzzFolder + L"PrinterSetup.exe", L"-u " + kFuzzFolder);
    // The install mode: scan, matching and installing, or the hand-over to the uninstaller.
    machine.RunTool(kFuzzFolder + L"PrinterSetup.exe", L"");
    machine.RunLaunchedTools();
    fuzz.Check();
    return 0;
}
