// The contract host on Linux: a fresh simulated machine per test, with the
// test running as a tool process on it.
#include <gmock/gmock.h>

#include <memory>
#include <vector>

#include "sim/kernel/wide.h"
#include "sim/machine.h"
#include "sim/sim_platform.h"
#include "tests/contract/contract_host.h"

namespace {

std::unique_ptr<sim::Machine> g_machine;
std::unique_ptr<sim::SimPlatform> g_platform;

} // namespace

ContractHost CurrentHost()
{
    return ContractHost::Simulated;
}

void ContractTest::SetUp()
{
    g_machine = std::make_unique<sim::Machine>();
    g_platform = std::make_unique<sim::SimPlatform>(*g_machine);
    g_machine->InstallTool(L"C:\\Tools\\contract_tests.exe");
    g_machine->BeginProcess(L"C:\\Tools\\contract_tests.exe", L"");
    SetPlatform(g_platform.get());
}

void ContractTest::TearDown()
{
    g_machine->EndProcess();
    EXPECT_THAT(g_machine->Violations(), ::testing::IsEmpty());
    SetPlatform(nullptr);
    g_platform.reset();
    g_machine.reset();
}

std::wstring ScratchFolder()
{
    const std::wstring folder = L"C:\\Scratch";
    if (!g_machine->volume.DirectoryExists(folder)) {
        g_machine->volume.CreateDirectory(folder);
    }
    return folder;
}

void HostWriteFile(const std::wstring& path, const std::string& content)
{
    g_machine->volume.WriteFile(path, content);
}

bool HostFileExists(const std::wstring& path)
{
    return g_machine->volume.FileExists(path);
}

std::string HostReadFile(const std::wstring& path)
{
    return g_machine->volume.ReadFile(path).value_or("");
}

bool HostCreateHardLink(const std::wstring& link, const std::wstring& existing)
{
    g_machine->volume.PlantHardLink(link, existing);
    return true;
}

LANGID HostUserInterfaceLanguage()
{
    return g_machine->uiLanguage;
}

std::wstring DemoDriverFolder()
{
    return std::wstring();
}

wchar_t HostUnusedDriveLetter()
{
    for (wchar_t letter = L'Z'; letter >= L'D'; --letter) {
        if (g_machine->driveTypes.count(letter) == 0) {
            return letter;
        }
    }
    return 0;
}

HINSTANCE HostModuleInstance()
{
    return g_machine->CurrentProcess().instance;
}

UINT HostAnsiCodePage()
{
    return 1252;
}

void HostSetRegistryValue(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, size_t size)
{
    const BYTE* bytes = static_cast<const BYTE*>(data);
    g_machine->registry.SetValue(HKEY_LOCAL_MACHINE, path, name, type, std::vector<BYTE>(bytes, bytes + size));
}

void HostDeleteRegistryKey(const std::wstring& path)
{
    g_machine->registry.DeleteKey(HKEY_LOCAL_MACHINE, path);
}

bool HostPlugUsbPrinter(const std::wstring& serial, DWORD portNumber, const std::wstring& description)
{
    sim::UsbPrinter printer;
    printer.vendorId = L"7a3e";
    printer.productId = L"00c7";
    printer.serial = serial;
    printer.serialNumber = serial;
    printer.portNumber = portNumber;
    printer.portDescription = description;
    g_machine->devices.Plug(printer);
    return true;
}

void HostUnplugUsbPrinter(const std::wstring& serial)
{
    g_machine->devices.Unplug(serial);
}
