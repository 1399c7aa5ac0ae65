// The whole start with any command line: the tool started as the setup, the
// uninstaller or its temporary copy. The user cancels
// whatever is offered; nothing may crash, nothing may be removed, and every
// process started names its program by a full, quoted path.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    FuzzMachine fuzz;
    sim::Machine& machine = fuzz.machine;
    const std::wstring copy = machine.tempPath + L"uni1A2A.tmp";
    machine.InstallTool(copy);
    const std::wstring images[] = {kFuzzFolder + L"PrinterSetup.exe", kFuzzFolder + L"unins000.exe", copy};
    const std::wstring& image = images[input.ConsumeIntegralInRange<size_t>(0, 2)];
    const std::wstring commandLine = TakeText(input, input.ConsumeBool() ? 300 : 12000);

    machine.RunTool(image, commandLine);
    machine.RunLaunchedTools();
    for (const sim::LaunchRecord& launch : machine.Launches()) {
        Require(launch.commandLine.size() > 4 && launch.commandLine[0] == L'"' && launch.commandLine[2] == L':' &&
                    launch.commandLine.find(L'"', 1) == launch.imagePath.size() + 1,
                "a process started without a full, quoted program path");
    }
    fuzz.Check();
    return 0;
}
