#include "tests/support/driver_folder.h"

#include <fstream>
#include <sstream>

void WriteDriverFolder(sim::Machine& machine, const std::wstring& folder)
{
    std::ifstream file(PRINTER_SETUP_SOURCE_DIR "/e2e/fixtures/qxvprtv6.inf");
    std::stringstream inf;
    inf << file.rdbuf();
    machine.volume.WriteFile(folder + L"qxvprtv6.inf", inf.str());
    machine.volume.WriteFile(folder + L"amd64\\qxvprtdrv6.dll", "MZ render");
    machine.volume.WriteFile(folder + L"amd64\\qxvprtdrv6ui.dll", "MZ config");
    machine.volume.WriteFile(folder + L"amd64\\qxvprtmon.dll", "MZ monitor");
    machine.volume.WriteFile(folder + L"dat\\qxvprtdrv6.dat", "data");
}
