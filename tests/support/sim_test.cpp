#include "tests/support/sim_test.h"

#include <cstring>

#include "app/startup.h"
#include "common/globals.h"
#include "common/log.h"
#include "install/usb_port_scan.h"
#include "uninstall/component_inventory.h"

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
    UsbPortList = nullptr;
    ComponentInventory = Inventory{};
}

SimTest::SimTest()
{
    SetPlatform(&platform);
    machine.SetToolEntry([this](HINSTANCE instance, const wchar_t* commandLine) {
        ResetToolProcess(machine);
        return RunStartup(instance, commandLine);
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
}
