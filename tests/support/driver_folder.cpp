#include "tests/support/driver_folder.h"

#include <fstream>
#include <sstream>

void WriteDriverFolder(sim::Machine& machine, const std::wstring& folder)
{
    // Read once: every story and every fuzz run writes the same folder.
    static const std::string inf = [] {
        std::ifstream file(PRINTER_SETUP_SOURCE_DIR "/e2e/fixtures/qxvprtv6.inf");
        std::stringstream content;
        content << file.rdbuf();
        return content.str();
    }();
    machine.volume.WriteFile(folder + L"qxvprtv6.inf", inf);
    machine.volume.WriteFile(folder + L"amd64\\qxvprtdrv6.dll", "MZ render");
    machine.volume.WriteFile(folder + L"amd64\\qxvprtdrv6ui.dll", "MZ config");
    machine.volume.WriteFile(folder + L"amd64\\qxvprtmon.dll", "MZ monitor");
    machine.volume.WriteFile(folder + L"dat\\qxvprtdrv6.dat", "data");
}

void InstallDriverFolder(sim::Machine& machine, const std::wstring& folder)
{
    WriteDriverFolder(machine, folder);
    machine.InstallTool(folder + L"PrinterSetup.exe");
    machine.InstallTool(folder + L"unins000.exe");
}

sim::UsbPrinter FamilyPrinter(const std::wstring& serial, DWORD port, const std::wstring& model)
{
    sim::UsbPrinter printer;
    printer.serial = serial;
    printer.serialNumber = serial;
    printer.portNumber = port;
    printer.portDescription = L"VADedudoro " + model;
    return printer;
}
